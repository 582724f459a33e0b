#!/usr/bin/env python3
"""kerfo-cli.exe at a console under Wine: console_win.py <wine> path/to/kerfo-cli.exe

Wine gives a program started on a terminal a real console with the Windows code pages
(OEM 437 here), so kerfo-cli.exe runs on a pseudo-terminal: a name outside the ANSI code
page must arrive and show whole, and a password typed at the prompt must open the file as
the same password in UTF-8 does (as the window and Linux take it). Redirected, names go out
in UTF-8. Runs in the caller's WINEPREFIX.
"""
import os
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time
import tty

WINE, CLI = sys.argv[1], sys.argv[2]
TEXT = b"Dear diary,\r\nnothing happened.\r\n"
failures = []


def windows_path(path):
    return subprocess.run([WINE, "winepath", "-w", path], capture_output=True, text=True).stdout.strip()


def screen(raw):
    """The characters the console drew, without its cursor movements and blanks."""
    return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\s+", "", raw.decode("utf-8", "replace"))


def at_console(args, typed):
    """Runs kerfo-cli on a pseudo-terminal, typing each (prompt, line) pair once the prompt
    shows; returns the exit code and what was shown."""
    master, slave = os.openpty()
    tty.setraw(slave)  # as the console sets it: keys typed early are neither echoed nor changed
    process = subprocess.Popen([WINE, CLI, *args], stdin=slave, stdout=slave, stderr=slave,
                               start_new_session=True)
    os.close(slave)
    shown, end = b"", time.monotonic() + 60
    while time.monotonic() < end:
        if typed and typed[0][0] in screen(shown):
            os.write(master, (typed.pop(0)[1] + "\r").encode("utf-8"))
        if select.select([master], [], [], 0.2)[0]:
            try:
                chunk = os.read(master, 65536)
            except OSError:  # the program's side is closed
                break
            shown += chunk
        elif process.poll() is not None:
            break
    if process.poll() is None:
        process.kill()
    os.close(master)
    return process.wait(), shown


work = tempfile.mkdtemp(prefix="kerfo-console-")
try:
    for folder, name, password in [("Мои заметки", "résumé.txt", "plain words"), ("notes", "notes.txt", "pässwörd€")]:
        os.makedirs(os.path.join(work, folder))
        with open(os.path.join(work, folder, name), "wb") as f:
            f.write(TEXT)
        target = windows_path(os.path.join(work, folder, name))
        encrypted = target[:-4] + ".kfo"
        code, shown = at_console(["encrypt", target], [("Enterpassword:", password), ("Enterpasswordagain:", password)])
        if code != 0 or screen(encrypted.encode()) not in screen(shown):
            failures.append(f"encrypting {name} at the console: exit {code}, shown {screen(shown)!r}")
            continue
        opened = subprocess.run([WINE, CLI, "show", "--password-stdin", encrypted],
                                input=(password + "\n").encode(), capture_output=True)
        if opened.returncode != 0 or opened.stdout != TEXT:
            failures.append(f"'{password}' in UTF-8 does not open what was typed: {opened.stderr!r}")
        else:
            print(f"ok: {name} encrypted at the console under '{password}'")

    missing = windows_path(os.path.join(work, "Мои заметки")) + "\\Ελληνικά.txt"
    said = subprocess.run([WINE, CLI, "check", missing], capture_output=True).stderr
    if said != f"kerfo-cli: {missing} is empty:\r\nKerfo will NOT work with empty files.\r\n".encode():
        failures.append(f"redirected, the message was {said!r}")
finally:
    shutil.rmtree(work, ignore_errors=True)

for failure in failures:
    print(f"FAIL: {failure}", file=sys.stderr)
if failures:
    sys.exit(1)
print("console checks under Wine passed")
