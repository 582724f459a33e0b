"""The commands a newcomer runs first: scripts/deps.sh installs exactly the set
it is asked for (the run command must not wait for the tests' packages, the
test command must get the build's), and no test or script holds a check back
unless CI is set, so that the test command checks what CI checks."""

import os
import re
import stat
import subprocess
import tempfile
import unittest

import support

SCRIPTS = os.path.join(support.SOURCE_DIR, "scripts")


def package_list(name):
    with open(os.path.join(SCRIPTS, "packages", name + ".txt")) as f:
        return [line.strip() for line in f if line.strip() and not line.lstrip().startswith("#")]


def write_tool(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\n" + body)
    os.chmod(path, stat.S_IRWXU)


class DepsSets(unittest.TestCase):
    def run_deps(self, args, states):
        """deps.sh ARGS as an ordinary user on a system where dpkg knows the
        packages in STATES ({name: status}); apt-get must not be reached."""
        with tempfile.TemporaryDirectory() as fake:
            write_tool(fake, "id", 'echo 1000\n')
            write_tool(fake, "apt-get", 'echo "apt-get called" >&2; exit 99\n')
            known = "".join(f'echo "{name} {state}"\n' for name, state in states.items())
            write_tool(fake, "dpkg-query", known)
            env = dict(os.environ, PATH=fake + os.pathsep + os.environ["PATH"])
            result = subprocess.run(["bash", os.path.join(SCRIPTS, "deps.sh"), *args], env=env,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        asked = re.search(r"apt-get install -y --no-install-recommends (.*)", result.stdout)
        return result.returncode, sorted(asked.group(1).split()) if asked else [], result.stdout

    def test_each_set_asks_for_what_is_missing_of_it(self):
        run, test = package_list("run"), package_list("test")
        ok = "install ok installed"
        cases = [
            # (arguments, dpkg's states, exit code, packages asked for)
            (["run"], {}, 1, run),
            (["test"], {}, 1, run + test),
            (["test"], {name: ok for name in run}, 1, test),
            (["run"], {name: ok for name in run}, 0, []),
            # removed but its configuration kept: not installed
            (["run"], {name: ok for name in run[1:]} | {run[0]: "deinstall ok config-files"},
             1, run[:1]),
            ([], {}, 2, []),
            (["tests"], {}, 2, []),
        ]
        for args, states, code, wanted in cases:
            with self.subTest(args=args, installed=len(states)):
                got_code, asked, output = self.run_deps(args, states)
                self.assertEqual(got_code, code, output)
                self.assertEqual(asked, sorted(wanted), output)


class NothingWaitsForCi(unittest.TestCase):
    # Every way this tree's languages read an environment variable named CI.
    READS = re.compile(r"""environ(\.get)?\s*[(\[]\s*["']CI["']|getenv\(\s*["']CI["']"""
                       r"""|\$\{?CI\b|\$ENV\{CI\}""")

    def test_no_check_depends_on_ci(self):
        files = subprocess.run(["git", "-C", support.SOURCE_DIR, "ls-files", "tests", "scripts",
                                "fuzz", "bench", ".ci", "cmake", "*CMakeLists.txt"],
                               stdout=subprocess.PIPE, text=True, check=False)
        if files.returncode != 0:
            self.skipTest("the sources are not a git checkout")
        me = os.path.relpath(__file__, support.SOURCE_DIR)
        readers = []
        for name in sorted(set(files.stdout.split()) - {me}):
            try:
                with open(os.path.join(support.SOURCE_DIR, name), encoding="utf-8") as f:
                    if self.READS.search(f.read()):
                        readers.append(name)
            except (UnicodeDecodeError, FileNotFoundError):
                continue
        self.assertEqual(readers, [], "these make a check depend on CI")

if __name__ == "__main__":
    support.main()
