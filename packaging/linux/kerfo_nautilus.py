"""Kerfo-Encrypt in the GNOME Files (Nautilus) context menu.

Loaded by nautilus-python (package python3-nautilus) from
share/nautilus-python/extensions. Works with both extension interfaces:
Nautilus 43 and later call get_file_items(files), older ones
get_file_items(window, files).
"""

import gi

try:
    gi.require_version("Nautilus", "4.0")
except ValueError:
    gi.require_version("Nautilus", "3.0")
from gi.repository import GLib, GObject, Nautilus  # noqa: E402

LABEL = "Kerfo-Encrypt"
PROGRAM = "kerfo"
# application/x-kerfo is a sub-class of text/plain, so is_mime_type matches it
# through text/plain as well; it is named for systems without Kerfo's MIME type.
MIME_TYPES = ("text/plain", "application/x-kerfo")


class KerfoMenuProvider(GObject.GObject, Nautilus.MenuProvider):
    def get_file_items(self, *args):
        files = args[-1]
        if len(files) != 1:
            return []
        item = files[0]
        if item.get_uri_scheme() != "file" or item.is_directory():
            return []
        if not any(item.is_mime_type(t) for t in MIME_TYPES):
            return []
        entry = Nautilus.MenuItem(
            name="KerfoMenuProvider::Encrypt",
            label=LABEL,
            tip="Encrypt or decrypt this file with Kerfo",
        )
        entry.connect("activate", self._start, item)
        return [entry]

    def get_background_items(self, *args):
        return []

    def _start(self, _entry, item):
        path = item.get_location().get_path()
        if path:
            # Kerfo takes the path as its whole command line; no shell between.
            # Without DO_NOT_REAP_CHILD, GLib starts it through a short-lived
            # intermediate process, so Kerfo is nobody's child in Nautilus and
            # leaves no defunct process behind when it ends.
            GLib.spawn_async([PROGRAM, path], flags=GLib.SpawnFlags.SEARCH_PATH)
