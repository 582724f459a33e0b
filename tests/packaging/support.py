"""Helpers shared by the packaging tests: where things are, and a reader for
the desktop-entry style files every file manager's entry is written in."""

import os
import shutil
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
