"""Helpers shared by the packaging tests: where things are, and a reader for
the desktop-entry style files every file manager's entry is written in."""

import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

SOURCE_DIR = os.environ.get("KERFO_SOURCE_DIR") or os.path.abspath(
    os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ.get("KERFO_BUILD_DIR", "")
PACKAGING = os.path.join(SOURCE_DIR, "packaging")
LINUX = os.path.join(PACKAGING, "linux")
HAS_UI = os.environ.get("KERFO_HAS_UI") == "1"
HAS_CLI = os.environ.get("KERFO_HAS_CLI") == "1"
VERSION = os.environ.get("KERFO_VERSION", "")
# The application's id (set by CMake): the name of its desktop entry and AppStream data.
APP_ID = os.environ.get("KERFO_APP_ID", "")
ENTRY = APP_ID + ".desktop"
LABEL = "Kerfo-Encrypt"
SKIPPED = 77
# Every size the hicolor theme has a folder for that desktops look in first.
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def icon_pngs():
    """{path below share/: size} of every PNG icon an install holds: the encrypted type's,
    and the program's when the window is built."""
    icons = [("mimetypes", "application-x-kerfo")] + ([("apps", "kerfo")] if HAS_UI else [])
    return {f"icons/hicolor/{size}x{size}/{context}/{name}.png": size
            for context, name in icons for size in ICON_SIZES}


def png_size(path):
    """(width, height) from a PNG's header; ValueError when the file is no PNG."""
    with open(path, "rb") as f:
        head = f.read(24)
    if len(head) < 24 or head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise ValueError(f"{path} is not a PNG")
    return struct.unpack(">II", head[16:24])


def home_page():
    """The maker's home page, as the about box shows it."""
    with open(os.path.join(SOURCE_DIR, "src", "texts", "texts.h"), encoding="utf-8") as f:
        return re.search(r'kHomePage = "([^"]+)"', f.read()).group(1)


def parse_desktop(path):
    """Groups of a desktop-entry style file as {group: {key: value}}. Fails on
    what every reader of the format rejects: keys outside a group, lines that
    are neither comment, group nor key, and a key given twice in a group."""
    groups = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                current = line[1:-1]
                if current in groups:
                    raise ValueError(f"{path}:{number}: group [{current}] twice")
                groups[current] = {}
                continue
            if current is None or "=" not in line:
                raise ValueError(f"{path}:{number}: not a key line: {line!r}")
            key, value = line.split("=", 1)
            key = key.strip()
            if key in groups[current]:
                raise ValueError(f"{path}:{number}: key {key} twice")
            groups[current][key] = value.strip()
    return groups


def split_list(value):
    return [item for item in value.split(";") if item]


def run(args, **kwargs):
    kwargs.setdefault("stdout", subprocess.PIPE)
    kwargs.setdefault("stderr", subprocess.STDOUT)
    kwargs.setdefault("text", True)
    return subprocess.run(args, check=False, **kwargs)


def need_tool(test, name):
    path = shutil.which(name)
    if not path:
        test.skipTest(f"{name} is not installed")
    return path


def main():
    result = unittest.main(exit=False, verbosity=2).result
    sys.exit(0 if result.wasSuccessful() else 1)
