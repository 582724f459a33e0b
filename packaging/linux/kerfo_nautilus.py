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
        # Every selected file must be one Kerfo can work on; they all go to one window.
        if not files or not all(self._suitable(item) for item in files):
            return []
        entry = Nautilus.MenuItem(
            name="KerfoMenuProvider::Encrypt",
            label=LABEL,
            tip="Encrypt or decrypt these files with Kerfo" if len(files) > 1
            else "Encrypt or decrypt this file with Kerfo",
        )
        entry.connect("activate", self._start, list(files))
        return [entry]

    @staticmethod
    def _suitable(item):
        return item.get_uri_scheme() == "file" and not item.is_directory() and \
            any(item.is_mime_type(t) for t in MIME_TYPES)

    def get_background_items(self, *args):
        return []

    def _start(self, _entry, items):
        paths = [item.get_location().get_path() for item in items]
        if paths and all(paths):
            # One start for the whole selection, each path an argument of its
            # own; no shell between. Without DO_NOT_REAP_CHILD, GLib starts it
            # through a short-lived intermediate process, so Kerfo is nobody's
            # child in Nautilus and leaves no defunct process behind when it ends.
            GLib.spawn_async([PROGRAM, *paths], flags=GLib.SpawnFlags.SEARCH_PATH)
