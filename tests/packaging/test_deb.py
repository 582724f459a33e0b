"""Builds the .deb with CPack, checks it with lintian, installs it with dpkg,
runs what it installed, and purges it again.

It runs wherever it can, so that the test command checks what CI checks: it
skips (exit 77, saying why) only where the machine forbids it, that is without
root, without dpkg, or when a kerfo package or its files are installed already
(they are left alone). Runs on one machine wait for each other, as each
installs and purges the same package."""

import fcntl
import glob
import os
import shutil
import sys
import tempfile

import support
from support import HAS_CLI, HAS_UI


# Paths the package brings and the purge must take away again.
LEFT_BEHIND = ("/usr/bin/kerfo", "/usr/bin/kerfo-cli", "/usr/share/doc/kerfo",
               "/usr/share/mime/application/x-kerfo.xml")


def skip(reason):
    print("SKIPPED: " + reason)
    sys.exit(support.SKIPPED)


def fail(what, output=""):
    print("FAILED: " + what)
    if output:
        print(output)
    sys.exit(1)


def installed():
    result = support.run(["dpkg-query", "-W", "-f=${Status}", "kerfo"])
    return result.returncode == 0 and "installed" in result.stdout.split()


def check_package(deb):
    info = support.run(["dpkg-deb", "--field", deb, "Package", "Version", "Depends"])
    print(info.stdout)
    if info.returncode != 0:
        fail("dpkg-deb cannot read the package", info.stdout)
    if f"Version: {support.VERSION}" not in info.stdout:
        fail("the package version is not " + support.VERSION)
    # shlibdeps found the C and C++ runtime (and Qt with the window).
    wanted = ["libc6", "libstdc++6"] + (["libqt6widgets6", "python3"] if HAS_UI else [])
    for name in wanted:
        if name not in info.stdout:
            fail(f"Depends lacks {name}")
    contents = support.run(["dpkg-deb", "--contents", deb]).stdout
    for path in ["./usr/share/doc/kerfo/readme.txt", "./usr/share/mime/packages/kerfo.xml"] + \
            ["./usr/share/" + png for png in support.icon_pngs()] + \
            (["./usr/bin/kerfo", "./usr/share/applications/" + support.ENTRY,
              f"./usr/share/metainfo/{support.APP_ID}.metainfo.xml"] if HAS_UI else []) + \
            (["./usr/bin/kerfo-cli", "./usr/share/bash-completion/completions/kerfo-cli",
              "./usr/share/zsh/vendor-completions/_kerfo-cli",
              "./usr/share/fish/vendor_completions.d/kerfo-cli.fish"] if HAS_CLI else []):
        if path not in contents:
            fail("the package lacks " + path, contents)
    if "root/root" not in contents or any(
            line.split()[1] != "root/root" for line in contents.splitlines() if line.strip()):
        fail("files not owned by root", contents)


def run_lintian(deb):
    lintian = shutil.which("lintian")
    if not lintian:
        print("lintian is not installed: not run")
        return
    result = support.run([lintian, "--allow-root", "--tag-display-limit", "0", deb])
    print("lintian:\n" + (result.stdout.strip() or "(nothing reported)"))
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    if errors:
        fail("lintian reports errors")


def check_installed():
    if HAS_CLI:
        result = support.run(["/usr/bin/kerfo-cli", "--version"])
        print("kerfo-cli --version:", result.stdout.strip())
        if result.returncode != 0 or not result.stdout.strip():
            fail("kerfo-cli --version did not run", result.stdout)
    if HAS_UI:
        for path in ("/usr/bin/kerfo", "/usr/bin/kerfo-desktop-integration",
                     "/usr/share/kio/servicemenus/kerfo.desktop"):
            if not os.path.exists(path):
                fail(path + " is not installed")
        # desktop-file-utils' trigger ran update-desktop-database.
        if shutil.which("update-desktop-database"):
            with open("/usr/share/applications/mimeinfo.cache") as f:
                cache = f.read()
            if support.ENTRY not in cache:
                fail("mimeinfo.cache does not offer " + support.ENTRY)
    # shared-mime-info's trigger ran update-mime-database.
    if shutil.which("update-mime-database") and \
            not os.path.isfile("/usr/share/mime/application/x-kerfo.xml"):
        fail("the MIME database does not know application/x-kerfo")


def main():
    if os.geteuid() != 0:
        skip("installing the .deb needs root")
    for tool in ("cpack", "dpkg", "dpkg-deb", "dpkg-shlibdeps"):
        if not shutil.which(tool):
            skip(tool + " is not installed")
    if not HAS_CLI and not HAS_UI:
        skip("neither kerfo nor kerfo-cli is built")
    lock_dir = "/run/lock" if os.path.isdir("/run/lock") else tempfile.gettempdir()
    with open(os.path.join(lock_dir, "kerfo-deb-test.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        return install_and_purge()


def install_and_purge():
    if installed():
        skip("a kerfo package is installed already; it is left alone")
    for path in LEFT_BEHIND:
        if os.path.exists(path):
            skip(path + " exists already (installed by hand?); it is left alone")

    with tempfile.TemporaryDirectory(prefix="kerfo-deb-") as out:
        config = os.path.join(support.BUILD_DIR, "CPackConfig.cmake")
        result = support.run(["cpack", "-G", "DEB", "--config", config, "-B", out])
        if result.returncode != 0:
            fail("cpack failed", result.stdout)
        debs = glob.glob(os.path.join(out, "kerfo_*.deb"))
        if len(debs) != 1:
            fail(f"expected one .deb, found {debs}", result.stdout)
        deb = debs[0]
        print("built " + os.path.basename(deb))
        check_package(deb)
        run_lintian(deb)

        env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        result = support.run(["dpkg", "-i", deb], env=env)
        try:
            if result.returncode != 0:
                fail("dpkg -i failed", result.stdout)
            check_installed()
        finally:
            purge = support.run(["dpkg", "--purge", "kerfo"], env=env)
            if purge.returncode != 0:
                fail("dpkg --purge failed", purge.stdout)
        if installed():
            fail("kerfo is still installed after the purge")
        for path in LEFT_BEHIND:
            if os.path.exists(path):
                fail(path + " is left behind after the purge")
    print("the .deb built, installed, ran and was purged")
    return 0


if __name__ == "__main__":
    sys.exit(main())
