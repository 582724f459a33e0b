#!/usr/bin/env bash
# End-to-end test of the window on a desktop: the real `kerfo` binary in Xvfb under a real
# window manager (openbox), which frames the window with a title bar, and with the
# accessibility bus (AT-SPI) that screen readers use.
#   window_desktop_e2e.sh path/to/kerfo
# Checks that a window opens where it was closed, run after run; that a stored position off
# every screen opens with the title bar on screen; and that every control of the main window
# and the about box has a name, the password boxes with the password role.
# Exits 77 (skipped) only when something it needs cannot run here (scripts/deps.sh installs
# all of it).
set -uo pipefail

kerfo=${1:?usage: window_desktop_e2e.sh path/to/kerfo}
skip=77
# Screen readers' Python bindings live in the system's Python, whatever python3 is first on PATH.
python=/usr/bin/python3
bus_launcher=/usr/libexec/at-spi-bus-launcher

for tool in Xvfb xdotool xwininfo xprop openbox dbus-run-session $python $bus_launcher; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/deps.sh installs it)" >&2
        exit $skip
    fi
done
if ! $python -c 'import pyatspi' 2>/dev/null; then
    echo "SKIP: python3-pyatspi is not installed (scripts/deps.sh installs it)" >&2
    exit $skip
fi

# A session bus of its own, for the accessibility bus to register on.
if [ -z "${KERFO_E2E_SESSION:-}" ]; then
    exec env KERFO_E2E_SESSION=1 dbus-run-session -- bash "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi

settle=0.5  # also for the window manager to frame and place the window
source "$(dirname "$0")/x_session.sh"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
ini="$XDG_CONFIG_HOME/kerfo/settings.ini"

openbox --sm-disable >"$tmp/openbox.log" 2>&1 &
pids+=($!)
$bus_launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
# openbox is up once it has claimed the screen.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

# The frame's outer corner and size as "X Y W H TITLE": the client area's place on the
# screen less the frame extents the window manager publishes.
frame() {
    local x y w h ext
    read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4}
        /Width:/{w=$2} /Height:/{h=$2} END{print x, y, w, h}')
    ext=$(xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    IFS=, read -r left right top bottom <<<"${ext:-0,0,0,0}"
    echo "$((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom)) $top"
}

near() { [ "$1" -ge -1 ] && [ "$1" -le 1 ]; }

# Keys go through the X server's test extension to the focused window, never with
# `key --window`: that sends each press and release to the window only while it has the
# focus, so when the press closes the window the release is lost, the server keeps the key
# down and repeats it into the next window that takes the focus.
close_window() {
    xdotool windowactivate --sync "$2" 2>/dev/null
    xdotool key Escape
    wait_exit "$1"
    [ "$code" = 0 ] || fail "Esc did not close the window ($code)"
}

printf 'notes\r\n' >"$tmp/notes.txt"

# 1. The first run opens at the screen's corner, title bar and all; then five times: move
# the window, close it, and the next run opens exactly there.
targets=("200 150" "37 411" "640 90" "5 300" "480 500")
expect="0 0"
for round in 0 1 2 3 4 5; do
    start "$tmp/notes.txt"
    pid=$last
    if ! wid=$(wait_window '^Kerfo / notes\.txt$'); then
        fail "run $round: the window did not appear"
        # A copy still starting holds the single-instance lock: end it, so that one
        # failure does not hide the next runs' results.
        kill "$pid" 2>/dev/null
        wait_exit "$pid"
        continue
    fi
    read -r fx fy fw fh title < <(frame "$wid")
    read -r ex ey <<<"$expect"
    if near $((fx - ex)) && near $((fy - ey)); then
        pass "run $round opens with its frame at $fx,$fy (closed at $ex,$ey)"
    else
        fail "run $round opened with its frame at $fx,$fy, but was closed at $ex,$ey"
    fi
    [ "$round" = 0 ] && { [ "$title" -gt 0 ] && [ "$fy" -ge 0 ] && pass "the first run's title bar is on screen" ||
        fail "the first run's title bar is not on screen (frame top $fy, title $title)"; }
    if [ "$round" -lt 5 ]; then
        read -r tx ty <<<"${targets[$round]}"
        xdotool windowmove --sync "$wid" "$tx" "$ty" 2>/dev/null || xdotool windowmove "$wid" "$tx" "$ty"
        sleep 0.3
        read -r fx fy _ <<<"$(frame "$wid")"
        expect="$fx $fy"
    fi
    close_window "$pid" "$wid"
done

# 2. A stored position far off the screen (a monitor unplugged since): the window opens with
# its whole title bar on the screen, and the stored value stays until the window closes.
sed -i 's/^Left=.*/Left=30000/' "$ini"
start "$tmp/notes.txt"
pid=$last
if wid=$(wait_window '^Kerfo / notes\.txt$'); then
    read -r fx fy fw fh title < <(frame "$wid")
    if [ "$fx" -ge 0 ] && [ "$fy" -ge 0 ] && [ $((fx + fw)) -le $screen_w ] && [ $((fy + title)) -le $screen_h ]; then
        pass "Left=30000 opens on the screen (frame at $fx,$fy, ${fw}x$fh)"
    else
        fail "Left=30000 opened with its frame at $fx,$fy (${fw}x$fh): the title bar is off the screen"
    fi
    grep -q '^Left=30000$' "$ini" && pass "the stored value stays until the close" ||
        fail "opening rewrote the stored position"

    # 3. The accessible tree, as a screen reader reads it: the main window, then the about box.
    cat >"$tmp/tree.py" <<'EOF'
import sys
import pyatspi

CONTROLS = {"label", "password text", "text", "push button", "check box", "filler"}

def windows():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "kerfo":
            for i in range(app.childCount):
                yield app.getChildAtIndex(i)

def walk(node):
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        yield child
        yield from walk(child)

title, = sys.argv[1:]
found = [w for w in windows() if w.name == title]
if not found:
    print(f"no window named {title!r} in the accessible tree")
    sys.exit(1)
problems = []
roles = []
for node in walk(found[0]):
    role = node.getRoleName()
    roles.append((role, node.name))
    if role in CONTROLS and not node.name.strip():
        problems.append(f"a {role} without a name")
for role, name in roles:
    print(f"  {role}: {name}")
passwords = [name for role, name in roles if role == "password text"]
if title.startswith("Kerfo / ") and passwords != ["Enter password:", "Enter password again:"]:
    problems.append(f"password boxes {passwords}, not the two with the password role")
if title == "About" and [n for r, n in roles if r == "push button"] != ["Ok"]:
    problems.append("the about box's only button is not Ok")
for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
EOF
    if timeout 30 $python "$tmp/tree.py" 'Kerfo / notes.txt' >"$tmp/tree.out" 2>&1; then
        pass "the main window's controls are all named; the password boxes have the password role"
    else
        fail "the main window's accessible tree:"
        cat "$tmp/tree.out" >&2
    fi
    xdotool windowactivate --sync "$wid" 2>/dev/null
    xdotool key alt+a
    if about=$(wait_window '^About$'); then
        if timeout 30 $python "$tmp/tree.py" 'About' >"$tmp/tree.out" 2>&1; then
            pass "the about box's texts and its Ok button are all named"
        else
            fail "the about box's accessible tree:"
            cat "$tmp/tree.out" >&2
        fi
        xdotool windowactivate --sync "$about" 2>/dev/null
        xdotool key Return
    else
        fail "Alt+A did not open the about box"
    fi
    close_window "$pid" "$wid"
else
    fail "the window with Left=30000 did not appear"
fi

report "all desktop window checks passed"
