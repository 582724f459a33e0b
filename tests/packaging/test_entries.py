"""Every Kerfo-Encrypt entry, read the way its file manager reads it."""

import importlib.util
import os
import sys
import tempfile
import types
import unittest
import xml.etree.ElementTree as ET

import support
from support import ENTRY, LABEL, LINUX, PACKAGING, parse_desktop, split_list

MIME_NS = "{http://www.freedesktop.org/standards/shared-mime-info}"
OFFERED_FOR = {"text/plain", "application/x-kerfo"}


class ApplicationEntry(unittest.TestCase):
    path = os.path.join(LINUX, ENTRY)

    def test_desktop_file_validate_accepts_it(self):
        tool = support.need_tool(self, "desktop-file-validate")
        result = support.run([tool, self.path])
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout.strip(), "", "warnings or hints: " + result.stdout)

    def test_open_with_entry_starts_one_kerfo_on_every_file(self):
        entry = parse_desktop(self.path)["Desktop Entry"]
        self.assertEqual(entry["Type"], "Application")
        self.assertEqual(entry["Name"], LABEL)
        self.assertEqual(entry["Exec"], "kerfo %F")
        self.assertEqual(entry["TryExec"], "kerfo")
        self.assertEqual(entry["Icon"], "kerfo")

    def test_never_the_default_for_plain_text_nor_in_the_menus(self):
        entry = parse_desktop(self.path)["Desktop Entry"]
        # Claiming text/plain makes Kerfo open every .txt where no editor is the default.
        self.assertEqual(split_list(entry["MimeType"]), ["application/x-kerfo"])
        # Without a file Kerfo shows only its usage box: no place in the applications menu.
        self.assertEqual(entry.get("NoDisplay"), "true")


class DolphinServiceMenu(unittest.TestCase):
    def test_menu_action_for_text_and_encrypted_files(self):
        groups = parse_desktop(os.path.join(LINUX, "kerfo-servicemenu.desktop"))
        top = groups["Desktop Entry"]
        self.assertEqual(top["Type"], "Service")
        # KF5 still wants the service type; KF6 reads the file without it.
        self.assertIn("KonqPopupMenu/Plugin", top["X-KDE-ServiceTypes"])
        self.assertEqual(set(split_list(top["MimeType"])), OFFERED_FOR)
        actions = split_list(top["Actions"])
        self.assertEqual(len(actions), 1)
        action = groups["Desktop Action " + actions[0]]
        self.assertEqual(action["Name"], LABEL)
        # All selected files to one start; no upper limit on how many.
        self.assertEqual(action["Exec"], "kerfo %F")
        self.assertNotIn("X-KDE-MaxNumberOfUrls", top)


class NemoAction(unittest.TestCase):
    def test_action_passes_the_full_paths_of_the_selection(self):
        groups = parse_desktop(os.path.join(LINUX, "kerfo.nemo_action"))
        self.assertEqual(list(groups), ["Nemo Action"])
        action = groups["Nemo Action"]
        self.assertEqual(action["Name"], LABEL)
        self.assertEqual(action["Active"], "true")
        # In Nemo %f is the display name; only %F carries the path.
        self.assertEqual(action["Exec"], "kerfo %F")
        self.assertEqual(action["Selection"], "notnone")
        self.assertEqual(set(split_list(action["Mimetypes"])), OFFERED_FOR)
        self.assertEqual(split_list(action["Dependencies"]), ["kerfo"])


class CajaAction(unittest.TestCase):
    def test_action_profile_for_local_files(self):
        groups = parse_desktop(os.path.join(LINUX, "kerfo-caja-action.desktop"))
        top = groups["Desktop Entry"]
        self.assertEqual(top["Type"], "Action")
        self.assertEqual(top["Name"], LABEL)
        self.assertEqual(top["TargetContext"], "true")
        profiles = split_list(top["Profiles"])
        self.assertEqual(len(profiles), 1)
        profile = groups["X-Action-Profile " + profiles[0]]
        self.assertEqual(profile["Exec"], "kerfo %F")
        self.assertEqual(set(split_list(profile["MimeTypes"])), OFFERED_FOR)
        self.assertEqual(profile["SelectionCount"], ">0")
        self.assertEqual(split_list(profile["Schemes"]), ["file"])


class MimeType(unittest.TestCase):
    def test_glob_magic_and_parent(self):
        root = ET.parse(os.path.join(LINUX, "kerfo-mime.xml")).getroot()
        self.assertEqual(root.tag, MIME_NS + "mime-info")
        (kind,) = root.findall(MIME_NS + "mime-type")
        self.assertEqual(kind.get("type"), "application/x-kerfo")
        self.assertEqual(kind.find(MIME_NS + "sub-class-of").get("type"), "text/plain")
        glob = kind.find(MIME_NS + "glob")
        self.assertEqual(glob.get("pattern"), "*.kfo")
        # shared-mime-info maps *.kfo at the default weight 50 already.
        self.assertGreater(int(glob.get("weight")), 50)
        (match,) = kind.iter(MIME_NS + "match")
        self.assertEqual((match.get("type"), match.get("value"), match.get("offset")),
                         ("string", "[Kerfod]", "0"))
        icon = kind.find(MIME_NS + "icon").get("name")
        self.assertTrue(os.path.isfile(os.path.join(PACKAGING, "icons", icon + ".svg")))


class Icons(unittest.TestCase):
    def test_every_picture_is_svg_of_the_promised_size(self):
        sizes = {"kerfo.svg": None, "application-x-kerfo.svg": None,
                 "encrypt.svg": "32", "decrypt.svg": "32"}
        for name, size in sizes.items():
            with self.subTest(name=name):
                root = ET.parse(os.path.join(PACKAGING, "icons", name)).getroot()
                self.assertEqual(root.tag, "{http://www.w3.org/2000/svg}svg")
                if size:
                    self.assertEqual((root.get("width"), root.get("height")), (size, size))


def fake_gi():
    """Just enough of PyGObject for the extension to load outside Nautilus."""
    gi = types.ModuleType("gi")
    versions = []
    gi.require_version = lambda name, version: versions.append((name, version))
    repository = types.ModuleType("gi.repository")

    class MenuItem:
        def __init__(self, name, label, tip):
            self.name, self.label, self.tip = name, label, tip
            self.handlers = []

        def connect(self, signal, handler, *data):
            self.handlers.append((signal, handler, data))

        def activate(self):
            for signal, handler, data in self.handlers:
                if signal == "activate":
                    handler(self, *data)

    repository.Nautilus = types.SimpleNamespace(MenuProvider=type("MenuProvider", (), {}),
                                                MenuItem=MenuItem)
    repository.GObject = types.SimpleNamespace(GObject=type("GObject", (), {}))
    repository.GLib = types.SimpleNamespace(SpawnFlags=types.SimpleNamespace(SEARCH_PATH=1))
    gi.repository = repository
    return gi, repository, versions


class FakeFile:
    def __init__(self, path, mime, scheme="file", directory=False):
        self.path, self.mime, self.scheme, self.directory = path, mime, scheme, directory

    def get_uri_scheme(self):
        return self.scheme

    def is_directory(self):
        return self.directory

    def is_mime_type(self, mime):
        # GIO answers through the parent types too; enough here by equality
        # plus the one parent that matters.
        return mime == self.mime or (mime == "text/plain" and self.mime == "application/x-kerfo")

    def get_location(self):
        return types.SimpleNamespace(get_path=lambda: self.path)


class NautilusExtension(unittest.TestCase):
    def setUp(self):
        gi, repository, self.versions = fake_gi()
        self.saved = {k: sys.modules.get(k) for k in ("gi", "gi.repository")}
        sys.modules["gi"], sys.modules["gi.repository"] = gi, repository
        spec = importlib.util.spec_from_file_location(
            "kerfo_nautilus", os.path.join(LINUX, "kerfo_nautilus.py"))
        self.module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(self.module)
        self.started = []
        self.module.GLib.spawn_async = lambda args, **kw: self.started.append(args)

    def tearDown(self):
        for k, v in self.saved.items():
            if v is None:
                sys.modules.pop(k, None)
            else:
                sys.modules[k] = v

    def test_asks_for_the_newest_interface_first(self):
        self.assertEqual(self.versions[0], ("Nautilus", "4.0"))

    def test_one_entry_that_starts_one_kerfo_with_every_path(self):
        provider = self.module.KerfoMenuProvider()
        path = "/home/u/My notes/a b.txt"
        both = [FakeFile(path, "text/plain"), FakeFile("/home/u/c.txt", "text/plain")]
        for args in ([FakeFile(path, "text/plain")],           # Nautilus 43 and later
                     (object(), [FakeFile(path, "text/plain")]),  # older: window first
                     both):
            with self.subTest(args=len(args)):
                call = (args,) if isinstance(args, list) else args
                (item,) = provider.get_file_items(*call)
                self.assertEqual(item.label, LABEL)
                item.activate()
        self.assertEqual(self.started, [["kerfo", path], ["kerfo", path], ["kerfo", path, "/home/u/c.txt"]])

    def test_entry_on_encrypted_files(self):
        provider = self.module.KerfoMenuProvider()
        self.assertEqual(len(provider.get_file_items([FakeFile("/x.kfo", "application/x-kerfo")])), 1)

    def test_no_entry_where_kerfo_cannot_work(self):
        provider = self.module.KerfoMenuProvider()
        cases = {
            "a picture beside a text": [FakeFile("/a.txt", "text/plain"), FakeFile("/p.png", "image/png")],
            "no file": [],
            "a folder": [FakeFile("/d", "inode/directory", directory=True)],
            "a remote file": [FakeFile(None, "text/plain", scheme="sftp")],
            "a picture": [FakeFile("/p.png", "image/png")],
        }
        for what, files in cases.items():
            with self.subTest(what):
                self.assertEqual(provider.get_file_items(files), [])
        self.assertEqual(provider.get_background_items([]), [])


class WindowsRegistration(unittest.TestCase):
    def setUp(self):
        with open(os.path.join(PACKAGING, "windows", "kerfo-register.cmd"), "rb") as f:
            self.raw = f.read()
        self.text = self.raw.decode("ascii")

    def test_batch_file_has_crlf_lines(self):
        self.assertEqual(self.raw.count(b"\n"), self.raw.count(b"\r\n"))

    def test_per_user_keys_for_text_and_kfo(self):
        self.assertIn(r'set "classes=HKCU\Software\Classes\SystemFileAssociations"', self.text)
        self.assertNotIn("HKLM", self.text.upper())
        self.assertNotIn("HKEY_LOCAL_MACHINE", self.text.upper())
        self.assertIn("for %%t in (text .kfo) do", self.text)
        self.assertIn(r'set "verb=shell\Kerfo-Encrypt"', self.text)
        self.assertIn(f'/ve /d "{LABEL}"', self.text)
        # Explorer puts the path in place of %1; a batch file writes it as %%1.
        self.assertIn(r'\command" /ve /d "\"!exe!\" %%1"', self.text)

    def test_remove_is_offered(self):
        self.assertIn('if /i "%~1"=="/remove" goto remove', self.text)
        self.assertIn("reg delete", self.text)


class Readme(unittest.TestCase):
    def test_readme_names_the_entry_and_the_registration(self):
        with open(os.path.join(PACKAGING, "readme.txt"), encoding="ascii") as f:
            text = f.read()
        for needle in (LABEL, "kerfo-desktop-integration install", "kerfo-register.cmd",
                       "[Kerfod]", ".kfo"):
            self.assertIn(needle, text)


if __name__ == "__main__":
    support.main()
