"""kerfo-cli's shell completions, installed with `cmake --install` into a
temporary prefix: each script loads in its shell, from where that shell looks
for it, and completes only the .kfo file for `kerfo-cli decrypt`."""

import os
import pty
import select
import signal
import tempfile
import time
import unittest

import support
from support import HAS_CLI


def bash_candidates(env, prefix):
    script = """
        source /usr/share/bash-completion/bash_completion
        __load_completion kerfo-cli || exit 3
        COMP_WORDS=(kerfo-cli decrypt ""); COMP_CWORD=2
        COMP_LINE="kerfo-cli decrypt "; COMP_POINT=${#COMP_LINE}
        "$(complete -p kerfo-cli | sed -E 's/.*-F ([^ ]+).*/\\1/')" kerfo-cli "" decrypt
        printf '%s\\n' "${COMPREPLY[@]}"
    """
    return support.run(["bash", "-c", script], env=env, stderr=None).stdout


def fish_candidates(env, prefix):
    return support.run(["fish", "-c", "complete -C 'kerfo-cli decrypt '"], env=env, stderr=None).stdout


def zsh_candidates(env, prefix):
    """zsh completes only in its line editor: type the line and Tab on a terminal."""
    folder = os.path.join(prefix, "share", "zsh", "vendor-completions")
    pid, fd = pty.fork()
    if pid == 0:
        os.execvpe("zsh", ["zsh", "-f", "-i"], dict(env, TERM="dumb", PS1="> "))
    try:
        def read_until(marker, timeout=20):
            """What the terminal shows until `marker` and then half a second of quiet."""
            out = b""
            end = time.monotonic() + timeout
            while time.monotonic() < end:
                if not select.select([fd], [], [], 0.5)[0]:
                    if marker in out:
                        break
                    continue
                try:
                    out += os.read(fd, 4096)
                except OSError:
                    break
            return out.decode(errors="replace")
        os.write(fd, f"fpath=({folder} $fpath); autoload -Uz compinit; compinit -u -D; "
                     "echo READY''\n".encode())
        read_until(b"READY\r\n")
        os.write(fd, b"kerfo-cli decrypt \t")
        return read_until(b"notes.kfo", 10)
    finally:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)


class Completions(unittest.TestCase):
    SHELLS = (
        ("bash", "share/bash-completion/completions/kerfo-cli", bash_candidates),
        ("zsh", "share/zsh/vendor-completions/_kerfo-cli", zsh_candidates),
        ("fish", "share/fish/vendor_completions.d/kerfo-cli.fish", fish_candidates),
    )

    @classmethod
    def setUpClass(cls):
        if not HAS_CLI or not support.BUILD_DIR:
            raise unittest.SkipTest("kerfo-cli is not built")
        cls.tmp = tempfile.TemporaryDirectory(prefix="kerfo-completions-")
        cls.prefix = os.path.join(cls.tmp.name, "usr")
        result = support.run(["cmake", "--install", support.BUILD_DIR, "--prefix", cls.prefix])
        if result.returncode != 0:
            raise AssertionError("cmake --install failed:\n" + result.stdout)
        cls.files = os.path.join(cls.tmp.name, "files")
        os.makedirs(cls.files)
        for name in ("notes.kfo", "notes.txt", "other.bin"):
            open(os.path.join(cls.files, name), "w").close()
        home = os.path.join(cls.tmp.name, "home")
        os.makedirs(home)
        # The shells find the scripts as they would in an installed system: through the
        # XDG data folders, with kerfo-cli on PATH; no user configuration gets in.
        cls.env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_DATA_HOME=os.path.join(home, ".local", "share"),
                       XDG_DATA_DIRS=os.path.join(cls.prefix, "share") + ":/usr/share",
                       PATH=os.path.join(cls.prefix, "bin") + os.pathsep + os.environ.get("PATH", ""),
                       BASH_COMPLETION_USER_DIR=os.path.join(home, "none"))
        os.chdir(cls.files)

    @classmethod
    def tearDownClass(cls):
        os.chdir("/")
        cls.tmp.cleanup()

    def test_each_script_loads_and_offers_only_the_kfo_for_decrypt(self):
        for shell, path, candidates in self.SHELLS:
            with self.subTest(shell=shell):
                program = support.need_tool(self, shell)
                script = os.path.join(self.prefix, path)
                result = support.run([program, "-n", script])
                self.assertEqual(result.returncode, 0, result.stdout)
                offered = candidates(self.env, self.prefix)
                self.assertIn("notes.kfo", offered)
                self.assertNotIn("notes.txt", offered)
                self.assertNotIn("other.bin", offered)


if __name__ == "__main__":
    support.main()
