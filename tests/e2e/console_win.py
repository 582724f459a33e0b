#!/usr/bin/env python3
"""kerfo-cli.exe at a console under Wine, as a user types at it.

    console_win.py <wine> path/to/kerfo-cli.exe

Wine gives a program started on a terminal a real console (its code pages are the
Windows ones for the locale: OEM 437 for typed text here), so this runs kerfo-cli.exe on
a pseudo-terminal: the file's name is an argument and is printed back, the password is
typed at the prompt. A name outside the ANSI code page must arrive and show whole, and
a typed password must open the file as the same password given in UTF-8 does (as the
window and Linux take it). Redirected, the names go out as UTF-8. Runs in the caller's
WINEPREFIX.
"""
import fcntl
import os
import re
import select
import shutil
import struct
import subprocess
import sys
import tempfile
import termios
import time
import tty

WINE, CLI = sys.argv[1], sys.argv[2]
failures = 0


def fail(text):
    global failures
    failures += 1
    print(f"FAIL: {text}", file=sys.stderr)


def windows_path(path):
    out = subprocess.run([WINE, "winepath", "-w", path], capture_output=True, text=True, check=True)
    return out.stdout.strip()


def screen(raw):
    """What a terminal shows of the console's output, blanks left out: the console draws
    with cursor movements, so only the characters themselves are compared."""
    text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", "", raw.decode("utf-8", "replace"))
    return re.sub(r"\s+", "", text)


class Console:
    """kerfo-cli.exe on a pseudo-terminal of its own."""

    def __init__(self, args):
        self.master, slave = os.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 50, 200, 0, 0))
        # Raw from the start, as Wine's console puts it anyway: keys typed before it has
        # done so are then neither echoed nor turned into line feeds by the terminal.
        tty.setraw(slave)
        self.process = subprocess.Popen([WINE, CLI, *args], stdin=slave, stdout=slave, stderr=slave,
                                        start_new_session=True)
        os.close(slave)
        self.output = b""

    def read(self, seconds):
        ready, _, _ = select.select([self.master], [], [], seconds)
        if not ready:
            return False
        try:
            chunk = os.read(self.master, 65536)
        except OSError:  # the other end closed
            return False
        self.output += chunk
        return bool(chunk)

    def wait_for(self, text, limit=30):
        end = time.monotonic() + limit
        while text not in screen(self.output) and time.monotonic() < end:
            if not self.read(0.2) and self.process.poll() is not None:
                break
        return text in screen(self.output)

    def type(self, text):
        os.write(self.master, text.encode("utf-8"))

    def finish(self, limit=60):
        end = time.monotonic() + limit
        while self.process.poll() is None and time.monotonic() < end:
            self.read(0.2)
        while self.read(0.2):
            pass
        if self.process.poll() is None:
            self.process.kill()
        os.close(self.master)
        return self.process.wait()


work = tempfile.mkdtemp(prefix="kerfo-console-")
try:
    rows = [
        # (folder, file, password typed at the prompt)
        ("Мои заметки", "résumé.txt", "plain words"),
        ("notes", "notes.txt", "pässwörd€"),
    ]
    for folder, name, password in rows:
        os.makedirs(os.path.join(work, folder))
        plain = os.path.join(work, folder, name)
        with open(plain, "wb") as f:
            f.write(b"Dear diary,\r\nnothing happened.\r\n")
        target = windows_path(plain)
        encrypted = target[:-4] + ".kfo"

        console = Console(["encrypt", target])
        if console.wait_for("Enterpassword:"):
            console.type(password + "\r")
            if console.wait_for("Enterpasswordagain:"):
                console.type(password + "\r")
        code = console.finish()
        if code != 0:
            fail(f"encrypting {name} at the console ended with {code}: {screen(console.output)}")
            continue
        if screen(encrypted.encode()) in screen(console.output):
            print(f"ok: the console shows the new name {encrypted}")
        else:
            fail(f"the console showed {screen(console.output)!r}, not {encrypted!r}")

        # The same password in UTF-8, as the window and Linux take it, opens the file.
        shown = subprocess.run([WINE, CLI, "show", "--password-stdin", encrypted],
                               input=(password + "\n").encode("utf-8"), capture_output=True)
        if shown.returncode == 0 and shown.stdout == b"Dear diary,\r\nnothing happened.\r\n":
            print(f"ok: the password typed at the console opens {name} as '{password}' in UTF-8")
        else:
            fail(f"'{password}' in UTF-8 does not open what was typed: {shown.returncode} {shown.stderr!r}")

    # Redirected, a name goes out in UTF-8.
    missing = windows_path(os.path.join(work, "Мои заметки")) + "\\Ελληνικά.txt"
    checked = subprocess.run([WINE, CLI, "check", missing], capture_output=True)
    expected = f"kerfo-cli: {missing} is empty:\r\nKerfo will NOT work with empty files.\r\n"
    if checked.stderr == expected.encode("utf-8"):
        print("ok: redirected, the name goes out in UTF-8")
    else:
        fail(f"redirected, the message was {checked.stderr!r}")
finally:
    shutil.rmtree(work, ignore_errors=True)

if failures:
    sys.exit(1)
print("console checks under Wine passed")
