"""kerfo-desktop-integration against a temporary home: install, install again,
remove, and the user's own Thunar actions and files left as they were."""

import os
import stat
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET

import support
from support import LABEL, LINUX

SCRIPT = os.path.join(LINUX, "kerfo-desktop-integration")
# Thunar's two actions: plain files as text files, encrypted ones as "other" *.kfo files.
OURS = ["kerfo-encrypt", "kerfo-encrypt-kfo"]

USER_UCA = """<?xml version="1.0" encoding="UTF-8"?>
<actions>
<action>
\t<icon>utilities-terminal</icon>
\t<name>Open Terminal Here</name>
\t<submenu></submenu>
\t<unique-id>1111111111111111-1</unique-id>
\t<command>exo-open --working-directory %f --launch TerminalEmulator</command>
\t<description>Example for a custom action</description>
\t<patterns>*</patterns>
\t<startup-notify/>
\t<directories/>
</action>
<action>
\t<icon>edit-find</icon>
\t<name>Search &amp; replace</name>
\t<submenu>Tools</submenu>
\t<unique-id>2222222222222222-2</unique-id>
\t<command>my-search %F</command>
\t<description></description>
\t<patterns>*.txt;*.md</patterns>
\t<text-files/>
</action>
</actions>
"""


def snapshot(root):
    """Every file and folder under root with its mode and bytes."""
    seen = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(folder, name)
            info = os.lstat(path)
            content = None
            if stat.S_ISREG(info.st_mode):
                with open(path, "rb") as f:
                    content = f.read()
            seen[os.path.relpath(path, root)] = (stat.S_IMODE(info.st_mode), stat.S_IFMT(info.st_mode), content)
    return seen


class UserScript(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="kerfo-home-")
        self.home = os.path.join(self.tmp.name, "home")
        os.makedirs(os.path.join(self.home, ".config"))
        self.system = os.path.join(self.tmp.name, "etc-xdg")
        # A stand-in for kerfo that writes down the arguments it was given.
        self.started = os.path.join(self.tmp.name, "started")
        self.program = os.path.join(self.tmp.name, "bin", "fake kerfo")
        os.makedirs(os.path.dirname(self.program))
        with open(self.program, "w") as f:
            f.write('#!/bin/sh\nfor a in "$@"; do printf "%s\\n" "$a"; done > "$KERFO_STARTED"\n')
        os.chmod(self.program, 0o755)
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
                    "XDG_CONFIG_DIRS": self.system, "KERFO_PROGRAM": self.program,
                    "KERFO_STARTED": self.started}

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, *parts):
        return os.path.join(self.home, *parts)

    def tool(self, command, expect=0):
        result = support.run([SCRIPT, command], env=self.env)
        self.assertEqual(result.returncode, expect, result.stdout)
        return result.stdout

    def actions(self):
        root = ET.parse(self.path(".config", "Thunar", "uca.xml")).getroot()
        return {a.findtext("unique-id"): a for a in root.findall("action")}

    def test_install_twice_then_remove_leaves_home_as_it_was(self):
        before = snapshot(self.home)
        self.assertNotEqual(self.tool("install"), "")
        after_install = snapshot(self.home)
        for entry in ((".local", "share", "nautilus", "scripts", LABEL),
                      (".config", "caja", "scripts", LABEL),
                      (".local", "share", "kio", "servicemenus", "kerfo.desktop")):
            with self.subTest(entry=entry[-1]):
                # Scripts menus and per-user Dolphin menus only show executables.
                self.assertTrue(os.access(self.path(*entry), os.X_OK))
        self.assertEqual(self.tool("install"), "")
        self.assertEqual(snapshot(self.home), after_install)
        self.tool("remove")
        self.assertEqual(snapshot(self.home), before)
        self.tool("remove")  # nothing left to take out is no error
        self.assertEqual(snapshot(self.home), before)

    def test_scripts_start_one_kerfo_on_every_selected_path(self):
        self.tool("install")
        for manager, variable, place in (
                ("nautilus", "NAUTILUS_SCRIPT_SELECTED_FILE_PATHS", (".local", "share", "nautilus", "scripts")),
                ("caja", "CAJA_SCRIPT_SELECTED_FILE_PATHS", (".config", "caja", "scripts"))):
            with self.subTest(manager):
                env = dict(self.env, **{variable: "/data/my notes/a 'b'.txt\n/data/c*.txt\n"})
                result = support.run([self.path(*place, LABEL)], env=env)
                self.assertEqual(result.returncode, 0, result.stdout)
                with open(self.started) as f:
                    self.assertEqual(f.read(), "/data/my notes/a 'b'.txt\n/data/c*.txt\n")

    def test_dolphin_menu_and_thunar_action_name_the_program(self):
        self.tool("install")
        menu = support.parse_desktop(self.path(".local", "share", "kio", "servicemenus", "kerfo.desktop"))
        action = menu["Desktop Action kerfoEncrypt"]
        self.assertEqual(action["Name"], LABEL)
        self.assertEqual(action["Exec"], f'"{self.program}" %F')
        ours = self.actions()["kerfo-encrypt"]
        self.assertEqual(ours.findtext("name"), LABEL)
        self.assertEqual(ours.findtext("command"), f"'{self.program}' %F")
        self.assertIsNotNone(ours.find("text-files"))
        encrypted = self.actions()["kerfo-encrypt-kfo"]
        self.assertEqual((encrypted.findtext("name"), encrypted.findtext("patterns")), (LABEL, "*.kfo"))
        self.assertIsNotNone(encrypted.find("other-files"))
        self.assertEqual(encrypted.findtext("command"), ours.findtext("command"))

    def test_install_over_an_older_install_adds_only_what_is_missing(self):
        uca = self.path(".config", "Thunar", "uca.xml")
        os.makedirs(os.path.dirname(uca))
        self.tool("install")
        with open(uca) as f:
            text = f.read()
        at = text.index("<action>", text.index("<unique-id>kerfo-encrypt</unique-id>"))
        with open(uca, "w") as f:
            f.write(text[:at] + "</actions>\n")
        self.tool("install")
        self.assertEqual(list(self.actions()), OURS)

    def test_existing_uca_keeps_its_actions(self):
        uca = self.path(".config", "Thunar", "uca.xml")
        os.makedirs(os.path.dirname(uca))
        with open(uca, "w") as f:
            f.write(USER_UCA)
        before = snapshot(self.home)
        self.tool("install")
        actions = self.actions()
        self.assertEqual(list(actions), ["1111111111111111-1", "2222222222222222-2"] + OURS)
        self.assertEqual(actions["2222222222222222-2"].findtext("name"), "Search & replace")
        self.tool("install")
        self.assertEqual(list(self.actions()), ["1111111111111111-1", "2222222222222222-2"] + OURS)
        self.tool("remove")
        self.assertEqual(snapshot(self.home), before)

    def test_remove_after_thunar_rewrote_the_file_keeps_new_actions(self):
        self.tool("install")
        uca = self.path(".config", "Thunar", "uca.xml")
        with open(uca) as f:
            text = f.read()
        # Thunar writes the whole file anew when the user adds an action.
        text = text.replace("\t", "  ").replace("</actions>", USER_UCA.split("<actions>\n")[1])
        with open(uca, "w") as f:
            f.write(text)
        self.tool("remove")
        self.assertEqual(list(self.actions()), ["1111111111111111-1", "2222222222222222-2"])

    def test_new_uca_starts_from_the_system_actions_and_goes_away_again(self):
        os.makedirs(os.path.join(self.system, "Thunar"))
        with open(os.path.join(self.system, "Thunar", "uca.xml"), "w") as f:
            f.write(USER_UCA)
        before = snapshot(self.home)
        self.tool("install")
        self.assertEqual(list(self.actions()), ["1111111111111111-1", "2222222222222222-2"] + OURS)
        self.tool("remove")
        self.assertEqual(snapshot(self.home), before)

    def test_self_closed_actions_element_comes_back(self):
        uca = self.path(".config", "Thunar", "uca.xml")
        os.makedirs(os.path.dirname(uca))
        with open(uca, "w") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<actions/>\n')
        before = snapshot(self.home)
        self.tool("install")
        self.assertEqual(list(self.actions()), OURS)
        self.tool("remove")
        self.assertEqual(snapshot(self.home), before)

    def test_a_file_kerfo_did_not_write_is_left_alone(self):
        mine = self.path(".config", "caja", "scripts", LABEL)
        os.makedirs(os.path.dirname(mine))
        with open(mine, "w") as f:
            f.write("#!/bin/sh\necho mine\n")
        os.chmod(mine, 0o700)
        before = snapshot(os.path.dirname(mine))
        self.assertIn("skipped " + mine, self.tool("install"))
        self.tool("remove")
        self.assertEqual(snapshot(os.path.dirname(mine)), before)

    def test_broken_uca_is_reported_and_not_touched(self):
        uca = self.path(".config", "Thunar", "uca.xml")
        os.makedirs(os.path.dirname(uca))
        with open(uca, "w") as f:
            f.write("garbage")
        self.tool("install", expect=1)
        with open(uca) as f:
            self.assertEqual(f.read(), "garbage")
        # What did get installed is still found and removed.
        self.tool("remove")
        self.assertFalse(os.path.exists(self.path(".local", "share", "nautilus")))

    def test_status_and_usage(self):
        self.assertEqual(self.tool("status").count("absent"), 5)
        self.tool("install")
        self.assertEqual(self.tool("status").count("present"), 5)
        self.tool("bogus", expect=2)


if __name__ == "__main__":
    support.main()
