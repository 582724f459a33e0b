#!/usr/bin/python3
"""One file manager, used the way a person would: it opens FOLDER, and for each
of the three files there the file is picked and its context menu opened from
the keyboard, "Kerfo-Encrypt" is activated, and the window that comes up is
checked by its title, the command line of its process and its mode. Then it
opens the folder "Three" beside FOLDER, selects its three plain files (one
with spaces in its name) and does the same: one window titled for three
files, one Kerfo started on all three, which encrypts them under a password
typed twice into three .kfo files and nothing else; selected again, they are
decrypted with the password typed once.

    drive.py MANAGER FOLDER SHOTS

Runs as the ordinary test user inside its own D-Bus session (dbus-run-session),
starts its own X server and window manager, and leaves nothing running. Prints
one line per case; exit status 0 when every case passed, 1 otherwise. The
menu with the entry, on the first file, is saved as SHOTS/MANAGER-menu.png.
"""

import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

LABEL = "Kerfo-Encrypt"
FILES = (("notes.txt", "encrypt"), ("my notes.txt", "encrypt"), ("secret.kfo", "decrypt"))
# The folder beside FOLDER with the selection of several files.
BATCH_FOLDER = "Three"
BATCH = ("one.txt", "two words.txt", "three.txt")
# Generous on a slow, shared machine; each wait ends as soon as its condition holds.
START_TIMEOUT = 40
WINDOW_TIMEOUT = 20
MENU_TIMEOUT = 10
PR_SET_CHILD_SUBREAPER = 36

# How each file manager is started on a folder; how a file is picked from the
# keyboard: by typing its name (type-ahead, with a box that Esc closes in the
# GTK ones), or, in GNOME Files, where typing starts a search, with Home and
# Right through the name-sorted icons; the key that opens the context menu;
# and how the entry is activated: found by name through AT-SPI, or, in
# Dolphin, whose context menu shows no items there, by its accelerator.
MANAGERS = {
    "thunar": {"start": ["thunar", "{folder}"], "pick": "type", "menu": "shift+F10", "item": None},
    "nemo": {"start": ["nemo", "--no-desktop", "{folder}"], "pick": "type", "menu": "shift+F10", "item": None},
    "caja": {"start": ["caja", "--no-desktop", "--browser", "{folder}"], "pick": "type", "menu": "shift+F10",
             "item": None},
    "nautilus": {"start": ["nautilus", "--new-window", "{folder}"], "pick": "arrows", "menu": "shift+F10",
                 "item": None},
    "dolphin": {"start": ["dolphin", "--new-window", "{folder}"], "pick": "type-only", "menu": "Menu",
                "item": "k"},
}


class Failed(Exception):
    pass


def batch_text(name):
    return f"Dear diary,\n{name}\n"


def wait_for(what, timeout, probe, step=0.2):
    """probe() until it returns something true; that value, or Failed after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > end:
            raise Failed(f"{what} (waited {timeout} s)")
        time.sleep(step)


def xdotool(*args, check=False):
    result = subprocess.run(["xdotool", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            text=True, check=False)
    if check and result.returncode != 0:
        raise Failed("xdotool " + " ".join(args) + " failed")
    return result.stdout.split()


def window(title_regex):
    found = xdotool("search", "--onlyvisible", "--name", title_regex)
    return found[0] if found else None


def processes(name):
    """(pid, state, parent pid, argv) of this user's processes whose command is `name`."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv = [a.decode("utf-8", "replace") for a in f.read().split(b"\0")[:-1]]
        except OSError:
            continue
        comm = stat[stat.index("(") + 1:stat.rindex(")")]
        state, ppid = stat[stat.rindex(")") + 2:].split()[:2]
        if comm == name and os.stat(f"/proc/{entry}").st_uid == os.getuid():
            found.append((int(entry), state, int(ppid), argv))
    return found


def live(name):
    return [p for p in processes(name) if p[1] != "Z"]


# --- AT-SPI ------------------------------------------------------------------

def walk(node, depth=0, limit=40):
    """Every accessible below node, depth first; views with many children are
    not entered (their children are files, not menus)."""
    if node is None or depth > limit:
        return
    yield node
    try:
        count = node.get_child_count()
    except Exception:  # the object went away while we looked
        return
    if count > 200:
        return
    for i in range(count):
        try:
            child = node.get_child_at_index(i)
        except Exception:
            continue
        yield from walk(child, depth + 1, limit)


def applications():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None:
            yield app


def on_screen(node):
    """GTK 4 reports its popover's items as visible, never as showing: those
    on the open page are the ones with a place on the screen."""
    try:
        box = node.get_extents(Atspi.CoordType.SCREEN)
    except Exception:
        return False
    return box.width > 0 and box.height > 0 and box.x >= 0 and box.y >= 0


def showing_item(label):
    """The menu item called `label` that is on screen in any application, or None."""
    for app in applications():
        for node in walk(app):
            try:
                if node.get_name() != label:
                    continue
                role = node.get_role()
                states = node.get_state_set()
            except Exception:
                continue
            if role not in (Atspi.Role.MENU_ITEM, Atspi.Role.PUSH_BUTTON):
                continue
            if states.contains(Atspi.StateType.SHOWING) or \
                    (states.contains(Atspi.StateType.VISIBLE) and on_screen(node)):
                return node
    return None


def find_role(role):
    """The first accessible of that role in any application, or None."""
    for app in applications():
        for node in walk(app):
            try:
                if node.get_role() == role:
                    return node
            except Exception:
                continue
    return None


def kerfo_mode():
    """"encrypt" or "decrypt": which of the two job buttons Kerfo's window has enabled."""
    for app in applications():
        try:
            if app.get_name() != "kerfo":
                continue
        except Exception:
            continue
        enabled = set()
        for node in walk(app):
            try:
                if node.get_role() == Atspi.Role.PUSH_BUTTON and node.get_name() in ("Encrypt", "Decrypt") \
                        and node.get_state_set().contains(Atspi.StateType.ENABLED):
                    enabled.add(node.get_name().lower())
            except Exception:
                continue
        if len(enabled) == 1:
            return enabled.pop()
    return None


# --- screenshots -------------------------------------------------------------

def screenshot(fbdir, out):
    """The screen, from the frame buffer Xvfb keeps as an XWD file, written as PNG."""
    with open(os.path.join(fbdir, "Xvfb_screen0"), "rb") as f:
        data = f.read()
    header = struct.unpack(">25I", data[:100])
    header_size, depth, width, height = header[0], header[3], header[4], header[5]
    byte_order, bits_per_pixel, bytes_per_line, ncolors = header[7], header[11], header[12], header[19]
    if bits_per_pixel != 32 or depth != 24:
        raise Failed(f"unexpected frame buffer format: {depth} bits in {bits_per_pixel}")
    offset = header_size + ncolors * 12
    r, g, b = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    raw = bytearray()
    for y in range(height):
        row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * 4]
        line = bytearray(width * 3)
        line[0::3], line[1::3], line[2::3] = row[r::4], row[g::4], row[b::4]
        raw += b"\0" + line

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) + \
        chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    with open(out, "wb") as f:
        f.write(png)


# --- the session -------------------------------------------------------------

class Session:
    def __init__(self, manager, folder, shots):
        self.manager, self.folder, self.shots = manager, folder, shots
        self.config = MANAGERS[manager]
        self.tmp = tempfile.mkdtemp(prefix="kerfo-fm-")
        self.started = []
        self.log = open(os.path.join(self.tmp, "log"), "w")

    def spawn(self, args, **kwargs):
        proc = subprocess.Popen(args, stdout=self.log, stderr=self.log, start_new_session=True, **kwargs)
        self.started.append(proc)
        return proc

    def start_x(self):
        display_pipe = os.pipe()
        self.fbdir = os.path.join(self.tmp, "fb")
        os.mkdir(self.fbdir)
        self.spawn(["Xvfb", "-displayfd", str(display_pipe[1]), "-screen", "0", "1024x768x24",
                    "-nolisten", "tcp", "-noreset", "-fbdir", self.fbdir], pass_fds=(display_pipe[1],))
        os.close(display_pipe[1])
        with os.fdopen(display_pipe[0]) as f:
            number = f.readline().strip()
        if not number:
            raise Failed("Xvfb did not start")
        os.environ["DISPLAY"] = ":" + number
        self.spawn(["openbox", "--sm-disable"])
        wait_for("openbox to take the screen", 15,
                 lambda: subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                        stdout=subprocess.PIPE, text=True).stdout.count("window id"))

    def start_manager(self, folder=None):
        folder = folder or self.folder
        args = [a.format(folder=folder) for a in self.config["start"]]
        self.fm = self.spawn(args)
        title = "^ *" + re.escape(os.path.basename(folder))
        self.fm_window = wait_for(f"{self.manager} to show the folder", START_TIMEOUT, lambda: window(title))
        time.sleep(2)  # let it fill the view and take the focus

    def stop_manager(self):
        try:
            os.killpg(self.fm.pid, signal.SIGTERM)
            self.fm.wait(10)
        except ProcessLookupError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(self.fm.pid, signal.SIGKILL)
            self.fm.wait()

    def focus_view(self):
        """GNOME Files: a click into the folder view's empty lower right corner
        gives it the focus and selects nothing."""
        view = wait_for("the folder view through AT-SPI", 10, lambda: find_role(Atspi.Role.TABLE))
        box = view.get_extents(Atspi.CoordType.SCREEN)
        xdotool("mousemove", str(box.x + box.width - 15), str(box.y + box.height - 15), "click", "1")
        time.sleep(0.5)

    def focus(self, wid):
        xdotool("windowactivate", "--sync", wid)
        xdotool("windowfocus", "--sync", wid)
        time.sleep(0.3)

    def open_menu(self, name):
        """Picks `name` from the keyboard, then opens the context menu."""
        self.focus(self.fm_window)
        pick = self.config["pick"]
        if pick == "arrows":
            # The folder view must have the focus first.
            self.focus_view()
            xdotool("key", "Home")
            for _ in range(sorted(n for n, _ in FILES).index(name)):
                time.sleep(0.2)
                xdotool("key", "Right")
        else:
            xdotool("type", "--delay", "60", name)
            if pick == "type":
                time.sleep(1.0)
                xdotool("key", "Escape")  # closes the type-ahead box, keeps the selection
        time.sleep(0.8)
        xdotool("key", self.config["menu"])

    def close_kerfo(self, wid, pid):
        self.focus(wid)
        xdotool("key", "Escape")
        try:
            wait_for("Kerfo to end after Esc", 10, lambda: not live("kerfo"))
        except Failed:
            os.kill(pid, signal.SIGKILL)
            raise

    def activate_entry(self, shot=None):
        """Activates Kerfo-Encrypt in the open context menu, after saving the
        screen as `shot` when given."""
        accelerator = self.config["item"]
        if accelerator:
            time.sleep(2)  # nothing to wait on: the menu's items are not visible to AT-SPI
        else:
            item = wait_for(f"the {LABEL} item in the menu", MENU_TIMEOUT, lambda: showing_item(LABEL))
        if shot:
            time.sleep(0.5)
            screenshot(self.fbdir, os.path.join(self.shots, shot))
        if accelerator:
            xdotool("key", accelerator)
        else:
            item.do_action(0)

    def kerfo_window(self, caption, paths, mode):
        """The one Kerfo window titled `caption`, checked to run on `paths` (in
        any order) in `mode`: its id and process id."""
        title = "^" + re.escape(caption) + "$"
        wid = wait_for(f'a window titled "{caption}"', WINDOW_TIMEOUT, lambda: window(title))
        running = live("kerfo")
        if len(running) != 1:
            raise Failed(f"{len(running)} kerfo processes run")
        pid, _, _, argv = running[0]
        try:
            if sorted(argv[1:]) != sorted(paths):
                raise Failed(f"kerfo's arguments are {argv[1:]!r}, not {paths!r}")
            seen = wait_for("Kerfo's mode through AT-SPI", 10, kerfo_mode)
            if seen != mode:
                raise Failed(f"the window is in {seen} mode, not {mode}")
        except Failed:
            self.close_kerfo(wid, pid)
            raise
        return wid, pid

    def case(self, name, mode, shot):
        path = os.path.join(self.folder, name)
        self.open_menu(name)
        self.activate_entry(f"{self.manager}-menu.png" if shot else None)
        wid, pid = self.kerfo_window(f"Kerfo / {name}", [path], mode)
        self.close_kerfo(wid, pid)
        self.check_collected()

    def batch_case(self):
        """The three files of the batch folder, selected together: encrypted
        under a password typed twice, then, selected again, decrypted with it
        typed once, back to what they held."""
        self.batch_round("encrypt", ".txt", ".kfo")
        self.batch_round("decrypt", ".kfo", ".txt")
        for name in BATCH:
            with open(os.path.join(self.batch_folder(), name)) as f:
                if f.read() != batch_text(name):
                    raise Failed(f"{name} does not hold its text after the round trip")

    def batch_round(self, mode, before, after):
        folder = self.batch_folder()
        self.focus(self.fm_window)
        if self.config["pick"] == "arrows":
            self.focus_view()
        xdotool("key", "ctrl+a")
        time.sleep(0.8)
        xdotool("key", self.config["menu"])
        self.activate_entry()
        paths = [os.path.join(folder, os.path.splitext(name)[0] + before) for name in BATCH]
        want = sorted(os.path.splitext(name)[0] + after for name in BATCH)
        wid, pid = self.kerfo_window(f"Kerfo / {len(BATCH)} files", paths, mode)
        try:
            self.focus(wid)
            xdotool("type", "--delay", "60", "pw")
            if mode == "encrypt":
                xdotool("key", "Tab")
                xdotool("type", "--delay", "60", "pw")
            xdotool("key", "Return")
            wait_for(f"{', '.join(want)} and nothing else", WINDOW_TIMEOUT,
                     lambda: sorted(os.listdir(folder)) == want)
            # The box that says how each file ended, over the finished window.
            box = wait_for('the box titled "Kerfo"', WINDOW_TIMEOUT, lambda: window("^Kerfo$"))
            self.focus(box)
            xdotool("key", "Return")
            wait_for("the box to close", 10, lambda: not window("^Kerfo$"))
        finally:
            self.close_kerfo(wid, pid)
        self.check_collected()
        if sorted(os.listdir(folder)) != want:
            raise Failed(f"the folder holds {sorted(os.listdir(folder))!r}, not {want!r}")

    def check_collected(self):
        """Whoever started Kerfo must collect it once it ends. A Kerfo handed
        on to this process (the session's subreaper, as a desktop session
        manager is) is collected here; one that stays defunct under the file
        manager is a failure."""
        def defunct():
            left = []
            for pid, _, ppid, _ in processes("kerfo"):
                if ppid == os.getpid():
                    try:
                        os.waitpid(pid, os.WNOHANG)
                    except ChildProcessError:
                        pass
                else:
                    left.append(ppid)
            return left

        end = time.monotonic() + 3
        while (parents := defunct()):
            if time.monotonic() > end:
                with open(f"/proc/{parents[0]}/comm") as f:
                    raise Failed(f"a defunct kerfo is left behind under {f.read().strip()}")
            time.sleep(0.2)

    def run(self):
        # Orphans come here rather than to an init that may collect them late.
        if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
            raise Failed("cannot become the session's subreaper")
        self.write_batch()
        self.start_x()
        self.start_manager()
        failures = 0
        for number, (name, mode) in enumerate(FILES):
            failures += self.twice(
                name, f"{number}", lambda: self.case(name, mode, shot=number == 0),
                f"{LABEL} opened \"Kerfo / {name}\" in {mode} mode", lambda: None)
        self.stop_manager()
        self.start_manager(self.batch_folder())
        what = ", ".join(BATCH)
        failures += self.twice(
            what, "batch", self.batch_case,
            f"{LABEL} opened one window \"Kerfo / {len(BATCH)} files\" that encrypted them, "
            "and again one that decrypted them", self.write_batch)
        return failures

    def twice(self, what, shot, case, done, before_retry):
        """Runs `case`, once more if it fails (a desktop under load may lose a click); 1 when
        both tries failed, else 0."""
        for attempt in (1, 2):
            try:
                case()
                print(f"ok: {self.manager}: {what}: {done}" + (" (second try)" if attempt == 2 else ""),
                      flush=True)
                return 0
            except Failed as e:
                # What the screen showed, for whoever reads the failure.
                screenshot(self.fbdir, os.path.join(self.shots, f"{self.manager}-failed-{shot}.png"))
                for pid, *_ in live("kerfo"):
                    os.kill(pid, signal.SIGKILL)
                xdotool("key", "Escape")
                if attempt == 2:
                    print(f"FAIL: {self.manager}: {what}: {e}", flush=True)
                    return 1
                print(f"retry: {self.manager}: {what}: {e}", flush=True)
                before_retry()
                time.sleep(1)
        return 1

    def batch_folder(self):
        return os.path.join(os.path.dirname(self.folder), BATCH_FOLDER)

    def write_batch(self):
        """The batch folder with its three plain files and nothing else."""
        folder = self.batch_folder()
        os.makedirs(folder, exist_ok=True)
        for name in os.listdir(folder):
            os.unlink(os.path.join(folder, name))
        for name in BATCH:
            with open(os.path.join(folder, name), "w") as f:
                f.write(batch_text(name))

    def stop(self):
        for proc in reversed(self.started):
            try:
                os.killpg(proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for proc in reversed(self.started):
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
        self.log.close()


def main(argv):
    # A timeout's TERM still takes down the X server and the file manager.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    if len(argv) != 4 or argv[1] not in MANAGERS:
        print("usage: drive.py thunar|nemo|caja|nautilus|dolphin FOLDER SHOTS", file=sys.stderr)
        return 2
    session = Session(argv[1], argv[2], argv[3])
    try:
        failures = session.run()
    except Failed as e:
        print(f"FAIL: {argv[1]}: {e}", flush=True)
        failures = 1
    finally:
        session.stop()
    if failures:
        with open(os.path.join(session.tmp, "log")) as f:
            sys.stdout.write(f"--- {argv[1]}'s messages (last lines):\n" + "".join(f.readlines()[-30:]))
    shutil.rmtree(session.tmp, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
