#!/usr/bin/env python3
"""Watches Kerfo's window through a long job, as a window manager and a screen reader do.

Usage: long_job_probe.py WINDOW_ID TITLE NEW_FILE OLD_FILE

Presses Enter in the window (its passwords typed already), then until NEW_FILE stands and
OLD_FILE is gone: sends the window the window manager's _NET_WM_PING every twentieth of a
second and notes when each answer comes back, and reads the window's progress bar through
AT-SPI. Passes when every ping sent during the job was answered within ANSWER_WITHIN, and
the progress bar showed a value on the way; returns once the bar has gone again (the job
has told the window its end). A window whose thread the job held would answer the first
pings only at the job's end, later than that for any job longer than MIN_JOB, however fast
the machine. The last line printed sums it up."""
import os
import subprocess
import sys
import time

import pyatspi
from Xlib import X, display, protocol

PING_EVERY = 0.05
ANSWER_WITHIN = 0.25
MIN_JOB = 2 * ANSWER_WITHIN
GIVE_UP_AFTER = 150.0


def progress_bar(title):
    """The progress bar of Kerfo's window titled `title`, or None while it is not there."""
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.name != "kerfo":
            continue
        for i in range(app.childCount):
            window = app.getChildAtIndex(i)
            if window.name != title:
                continue
            pending = [window]
            while pending:
                node = pending.pop()
                if node.getRoleName() == "progress bar":
                    return node
                pending.extend(node.getChildAtIndex(j) for j in range(node.childCount))
    return None


def main():
    wid, title, new_file, old_file = int(sys.argv[1], 0), sys.argv[2], sys.argv[3], sys.argv[4]
    x = display.Display()
    root = x.screen().root
    # The window answers a ping by sending it on to the root window, to the window manager
    # and to whoever listens there for structure or substructure changes (toolkits differ).
    root.change_attributes(event_mask=X.StructureNotifyMask | X.SubstructureNotifyMask)
    wm_protocols = x.intern_atom("WM_PROTOCOLS")
    ping = x.intern_atom("_NET_WM_PING")
    window = x.create_resource_object("window", wid)
    bar = None

    sent = {}      # stamp -> time sent
    answered = {}  # stamp -> time answered
    shown = []     # values the progress bar showed
    stamp = 0
    subprocess.run(["xdotool", "key", "Return"], check=True)
    start = time.monotonic()
    next_ping = start
    ended = None
    def take_answers():
        while x.pending_events():
            event = x.next_event()
            if (event.type == X.ClientMessage and event.client_type == wm_protocols
                    and event.data[1][0] == ping and event.data[1][1] in sent):
                answered.setdefault(event.data[1][1], time.monotonic())

    while time.monotonic() - start < GIVE_UP_AFTER:
        now = time.monotonic()
        if now >= next_ping:
            stamp += 1
            event = protocol.event.ClientMessage(
                window=window, client_type=wm_protocols, data=(32, [ping, stamp, wid, 0, 0]))
            window.send_event(event, event_mask=X.NoEventMask)
            x.flush()
            sent[stamp] = now
            next_ping = now + PING_EVERY
        take_answers()
        if bar is None:
            bar = progress_bar(title)
        if bar is not None and bar.getState().contains(pyatspi.STATE_SHOWING):
            shown.append(bar.queryValue().currentValue)
        if os.path.exists(new_file) and not os.path.exists(old_file):
            ended = time.monotonic()
            break
        time.sleep(0.02)

    if ended is None:
        print(f"the job did not end within {GIVE_UP_AFTER:.0f} s")
        return 1
    # The files stand; the window takes its progress away once the job has told its end.
    # Meanwhile the answers to the last pings of the job come in.
    while bar is not None and bar.getState().contains(pyatspi.STATE_SHOWING):
        if time.monotonic() - start > GIVE_UP_AFTER:
            print("the progress bar stayed after the job")
            return 1
        take_answers()
        time.sleep(0.02)
    while time.monotonic() < ended + ANSWER_WITHIN:
        take_answers()
        time.sleep(0.02)
    take_answers()
    during = [s for s, t in sent.items() if t < ended]
    late = [s for s in during if s not in answered or answered[s] - sent[s] > ANSWER_WITHIN]
    problems = []
    if ended - start < MIN_JOB:
        problems.append(f"the job took only {ended - start:.1f} s: too short to tell")
    if late:
        problems.append(f"{len(late)} of {len(during)} pings sent during the job were not answered within "
                        f"{ANSWER_WITHIN * 1000:.0f} ms")
    if not [v for v in shown if 0 <= v <= 100]:
        problems.append("the progress bar never showed")
    for problem in problems:
        print(problem)
    slowest = max((answered[s] - sent[s] for s in during if s in answered), default=0.0)
    print(f"{len(during)} pings answered within {slowest * 1000:.0f} ms in a {ended - start:.1f} s job; "
          f"progress shown at {', '.join(f'{v:.0f}%' for v in sorted(set(shown)))}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
