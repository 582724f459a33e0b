"""`cmake --install` into a temporary prefix, then the desktop's own tools are
asked what they make of Kerfo's files: the MIME type of encrypted files and
the applications offered for them and for plain text."""

import os
import re
import shutil
import tempfile
import unittest
import xml.etree.ElementTree as ET

import support
from support import HAS_CLI, HAS_UI

ENCRYPTED = b"[Kerfod]" + b"Ab3dE6gH" + b"k9LmN0pQ" + b"\r\n" + b"Zx7!" * 17 + b"Zx\r\n"
PLAIN = b"Dear diary,\nnothing happened today.\n"


class InstalledPrefix(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not support.BUILD_DIR:
            raise unittest.SkipTest("KERFO_BUILD_DIR is not set")
        cls.tmp = tempfile.TemporaryDirectory(prefix="kerfo-prefix-")
        cls.prefix = os.path.join(cls.tmp.name, "usr")
        result = support.run(["cmake", "--install", support.BUILD_DIR, "--prefix", cls.prefix])
        if result.returncode != 0:
            raise AssertionError("cmake --install failed:\n" + result.stdout)
        cls.share = os.path.join(cls.prefix, "share")
        cls.files = os.path.join(cls.tmp.name, "files")
        os.makedirs(cls.files)
        for name, content in (("notes.txt", PLAIN), ("notes.kfo", ENCRYPTED),
                              ("renamed.txt", ENCRYPTED), ("no-extension", ENCRYPTED),
                              ("other.kfo", PLAIN)):
            with open(os.path.join(cls.files, name), "wb") as f:
                f.write(content)
        # Only the prefix and the system's own definitions (text/plain) count;
        # the home of whoever runs the tests stays out of it.
        cls.env = dict(os.environ,
                       XDG_DATA_DIRS=f"{cls.share}:/usr/local/share:/usr/share",
                       XDG_DATA_HOME=os.path.join(cls.tmp.name, "data-home"),
                       XDG_CONFIG_HOME=os.path.join(cls.tmp.name, "config-home"),
                       HOME=os.path.join(cls.tmp.name, "home"),
                       PATH=os.path.join(cls.prefix, "bin") + os.pathsep + os.environ.get("PATH", ""),
                       GIO_USE_VFS="local")
        cls.env.pop("DBUS_SESSION_BUS_ADDRESS", None)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def installed(self, *parts):
        return os.path.join(self.prefix, *parts)

    def test_files_in_place(self):
        expected = ["share/doc/kerfo/readme.txt", "share/doc/kerfo/copyright",
                    "share/doc/kerfo/changelog.gz", "share/mime/packages/kerfo.xml",
                    "share/icons/hicolor/scalable/mimetypes/application-x-kerfo.svg"]
        executables = []
        if HAS_CLI:
            executables.append("bin/kerfo-cli")
            expected.append("share/man/man1/kerfo-cli.1.gz")
        if HAS_UI:
            executables += ["bin/kerfo", "bin/kerfo-desktop-integration"]
            expected += ["share/applications/" + support.ENTRY,
                         "share/kio/servicemenus/kerfo.desktop",
                         "share/nemo/actions/kerfo.nemo_action",
                         "share/file-manager/actions/kerfo.desktop",
                         "share/nautilus-python/extensions/kerfo_nautilus.py",
                         "share/icons/hicolor/scalable/apps/kerfo.svg",
                         f"share/metainfo/{support.APP_ID}.metainfo.xml",
                         "share/kerfo/pictures/encrypt.svg", "share/kerfo/pictures/decrypt.svg",
                         "share/man/man1/kerfo.1.gz", "share/man/man1/kerfo-desktop-integration.1.gz"]
        for path in expected + executables:
            with self.subTest(path=path):
                self.assertTrue(os.path.isfile(self.installed(path)))
        for path in executables:
            with self.subTest(executable=path):
                self.assertTrue(os.access(self.installed(path), os.X_OK))

    def test_icons_at_every_size(self):
        for path, size in support.icon_pngs().items():
            with self.subTest(path=path):
                self.assertEqual(support.png_size(self.installed("share", path)), (size, size))

    def test_appstream_data(self):
        if not HAS_UI:
            self.skipTest("built without the window: no AppStream data")
        tool = support.need_tool(self, "appstreamcli")
        # --no-net: the home page is a name no machine reaches, and CI has no network; that each
        # screenshot is a file of the repository is checked below instead.
        result = support.run([tool, "validate-tree", "--pedantic", "--no-net", self.tmp.name])
        issues = [line for line in result.stdout.splitlines() if re.match(r"\s*[EWIP]: ", line)]
        self.assertEqual((result.returncode, issues), (0, []), result.stdout)
        root = ET.parse(self.installed("share", "metainfo", support.APP_ID + ".metainfo.xml")).getroot()
        home = support.home_page()
        self.assertEqual(root.findtext("url[@type='homepage']"), home)
        self.assertEqual(root.find("releases/release").get("version"), support.VERSION)
        self.assertIsNotNone(root.find("content_rating[@type='oars-1.1']"))
        self.assertEqual([m.text for m in root.iter("mediatype")], ["application/x-kerfo"])
        for binary in root.iter("binary"):
            with self.subTest(binary=binary.text):
                self.assertTrue(os.access(self.installed("bin", binary.text), os.X_OK))
        images = list(root.iter("image"))
        self.assertTrue(images)
        for image in images:
            with self.subTest(image=image.text):
                self.assertTrue(image.text.startswith(home + "/"))
                shot = os.path.join(support.SOURCE_DIR, image.text[len(home) + 1:])
                self.assertEqual(support.png_size(shot), (int(image.get("width")), int(image.get("height"))))

    def test_readme_carries_the_version(self):
        with open(self.installed("share", "doc", "kerfo", "readme.txt")) as f:
            self.assertIn("Kerfo " + support.VERSION, f.readline())

    def update_mime_database(self):
        tool = support.need_tool(self, "update-mime-database")
        result = support.run([tool, os.path.join(self.share, "mime")], env=self.env)
        self.assertEqual(result.returncode, 0, result.stdout)

    def content_type(self, name):
        gio = support.need_tool(self, "gio")
        result = support.run([gio, "info", "-a", "standard::content-type",
                              os.path.join(self.files, name)], env=self.env)
        self.assertEqual(result.returncode, 0, result.stdout)
        for line in result.stdout.splitlines():
            if "standard::content-type:" in line:
                return line.split(":", 3)[-1].strip()
        self.fail("no content type in: " + result.stdout)

    def test_encrypted_files_are_application_x_kerfo(self):
        self.update_mime_database()
        found = {name: self.content_type(name)
                 for name in ("notes.kfo", "other.kfo", "notes.txt", "renamed.txt", "no-extension")}
        print("\ncontent types reported by gio:", found)
        self.assertEqual(found["notes.kfo"], "application/x-kerfo")
        self.assertEqual(found["other.kfo"], "application/x-kerfo")  # by name alone
        self.assertEqual(found["notes.txt"], "text/plain")
        self.assertEqual(found["no-extension"], "application/x-kerfo")  # by the marker alone
        # An encrypted file renamed to .txt: the name says text/plain, the marker
        # says application/x-kerfo, which is a kind of text/plain; either way
        # the entry is offered for it.
        self.assertIn(found["renamed.txt"], ("application/x-kerfo", "text/plain"))

    def test_xdg_mime_agrees(self):
        self.update_mime_database()
        tool = support.need_tool(self, "xdg-mime")
        # xdg-mime asks gio when it believes it runs under GNOME.
        env = dict(self.env, XDG_CURRENT_DESKTOP="GNOME")
        result = support.run([tool, "query", "filetype", os.path.join(self.files, "notes.kfo")], env=env)
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout.strip(), "application/x-kerfo")

    def test_default_for_encrypted_files_and_never_for_plain_text(self):
        if not HAS_UI:
            self.skipTest("built without the window: no application entry")
        self.update_mime_database()
        tool = support.need_tool(self, "update-desktop-database")
        applications = os.path.join(self.share, "applications")
        result = support.run([tool, applications], env=self.env)
        self.assertEqual(result.returncode, 0, result.stdout)
        with open(os.path.join(applications, "mimeinfo.cache")) as f:
            cache = f.read().splitlines()
        self.assertIn(f"application/x-kerfo={support.ENTRY};", cache)
        gio = support.need_tool(self, "gio")
        # What a double-click opens: Kerfo for a .kfo file, never for a .txt one.
        for mime, expected in (("application/x-kerfo", support.ENTRY), ("text/plain", None)):
            with self.subTest(mime=mime):
                result = support.run([gio, "mime", mime], env=self.env)
                first = result.stdout.splitlines()[0] if result.stdout else ""
                default = first.split(":", 1)[1].strip() if first.startswith("Default") else None
                if expected:
                    self.assertEqual(default, expected, result.stdout)
                else:
                    self.assertNotIn(support.ENTRY, result.stdout)

if __name__ == "__main__":
    support.main()
