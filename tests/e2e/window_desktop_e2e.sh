#!/usr/bin/env bash
# End-to-end test of the window on a desktop: the real `kerfo` binary in Xvfb under a real
# window manager, which frames the window with a title bar, and with the accessibility bus
# (AT-SPI) that screen readers use.
#   window_desktop_e2e.sh path/to/kerfo [openbox|kwin|xfwm4]
# Under each window manager (openbox by default; KWin with its Breeze frame; xfwm4): a
# window opens where it was closed, run after run. Under openbox also: a stored position
# off every screen opens with the title bar on screen; every control of the main window and
# the about box has a name, the password boxes with the password role; and during a 512 MiB
# job the window answers the window manager's pings and shows its progress.
# Exits 77 (skipped) only when something it needs cannot run here (scripts/deps.sh installs
# all of it).
set -uo pipefail

kerfo=${1:?usage: window_desktop_e2e.sh path/to/kerfo [openbox|kwin|xfwm4]}
wm=${2:-openbox}
skip=77
# Screen readers' Python bindings live in the system's Python, whatever python3 is first on PATH.
python=/usr/bin/python3
bus_launcher=/usr/libexec/at-spi-bus-launcher
here=$(cd "$(dirname "$0")" && pwd)

case $wm in
    openbox) wm_program=openbox ;;
    kwin) wm_program=kwin_x11 ;;
    xfwm4) wm_program=xfwm4 ;;
    *) echo "unknown window manager $wm" >&2; exit 2 ;;
esac
for tool in Xvfb xdotool xwininfo xprop $wm_program dbus-run-session $python $bus_launcher; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/deps.sh installs it)" >&2
        exit $skip
    fi
done
for module in pyatspi Xlib; do
    if ! $python -c "import $module" 2>/dev/null; then
        echo "SKIP: the Python module $module is not installed (scripts/deps.sh installs it)" >&2
        exit $skip
    fi
done

# A session bus of its own, for the accessibility bus to register on; it starts no services
# on demand (see session_bus.conf).
if [ -z "${KERFO_E2E_SESSION:-}" ]; then
    exec env KERFO_E2E_SESSION=1 dbus-run-session --config-file="$here/session_bus.conf" -- bash "$0" "$@" \
        2> >(grep -v 'fd limit' >&2)
fi

settle=0.5  # also for the window manager to frame and place the window
source "$here/x_session.sh"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
ini="$XDG_CONFIG_HOME/kerfo/settings.ini"

case $wm in
    openbox)
        openbox --sm-disable >"$tmp/wm.log" 2>&1 &
        ;;
    kwin)
        # The Breeze frame (title bar 41 pixels high), without compositing: Xvfb has no GL.
        mkdir -p "$XDG_CONFIG_HOME"
        printf '[org.kde.kdecoration2]\nlibrary=org.kde.breeze\ntheme=Breeze\n\n[Compositing]\nEnabled=false\n' \
            >"$XDG_CONFIG_HOME/kwinrc"
        KWIN_COMPOSE=N kwin_x11 --replace >"$tmp/wm.log" 2>&1 &
        ;;
    xfwm4)
        xfwm4 --compositor=off --sm-client-disable >"$tmp/wm.log" 2>&1 &
        ;;
esac
pids+=($!)
$bus_launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
# The window manager is up once it has claimed the screen.
for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || fail "$wm did not start"

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

if [ "$wm" != openbox ]; then
    report "window checks under $wm passed"
    exit
fi

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

# 4. A long job: the window keeps answering the window manager's pings and shows how far the
# job has come, until the job ends.
yes 'Dear diary, today nothing happened, again.' | head -c $((512 << 20)) >"$tmp/big.txt"
start "$tmp/big.txt"
pid=$last
if wid=$(wait_window '^Kerfo / big\.txt$'); then
    xdotool windowactivate --sync "$wid" 2>/dev/null
    xdotool type --delay 20 'pw'
    xdotool key Tab
    xdotool type --delay 20 'pw'
    # The probe presses Enter itself, once it is watching.
    if timeout 170 $python "$here/long_job_probe.py" "$wid" 'Kerfo / big.txt' "$tmp/big.kfo" "$tmp/big.txt" >"$tmp/probe.out" 2>&1; then
        pass "during the 512 MiB job: $(tail -n 1 "$tmp/probe.out")"
    else
        fail "the window during the 512 MiB job:"
        cat "$tmp/probe.out" >&2
    fi
    rm -f "$tmp/big.txt" "$tmp/big.kfo"
    close_window "$pid" "$wid"
else
    fail "the window on big.txt did not appear"
fi

report "all desktop window checks passed"
