# Shared by the Wine end-to-end scripts: a private X server, a Wine prefix of their own
# beside the caller's, Wine drawing its own window frames (there is no window manager), and
# the helpers that find, drive and wait for windows. Sourced; expects $wine. Exits 77
# (skipped) when no X server can run.
#
# The prefix is a separate one because a Wine server binds its desktop to the display of
# the first program that needs one: a program started without a display by another test
# in a shared prefix would leave every window of this one invisible. Its server is ended
# on the way out, so the next run's desktop is made on that run's display.
skip=77
for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed; no X server can run" >&2
        exit $skip
    fi
done

tmp=$(mktemp -d)
pids=()
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-x11"
mkdir -p "$WINEPREFIX"
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wineserver -k 2>/dev/null
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$tmp/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "SKIP: Xvfb cannot run here" >&2; exit $skip; }
    sleep 0.1
done
[ -s "$tmp/display" ] || { echo "SKIP: Xvfb did not start" >&2; exit $skip; }
export DISPLAY=":$(cat "$tmp/display")"
# A server left over from an earlier run would keep that run's display.
wineserver -k 2>/dev/null
# Without a window manager Wine draws the caption and frame itself, and places windows
# exactly where the program asks. (This first call also makes the prefix on a first run.)
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

source "$(dirname "${BASH_SOURCE[0]}")/verdict.sh"
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "--- Wine's output:" >&2
        cat "$tmp/kerfo.log" >&2 2>/dev/null
        echo "$failures failed" >&2
        exit 1
    fi
    echo "$1"
}

# The Windows form of a Unix path.
win() { "$wine" winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# The id of the visible window whose whole title matches the regular expression $1.
wait_window() {
    local wid
    for _ in $(seq 300); do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
        if [ -n "$wid" ]; then
            sleep 0.5
            echo "$wid"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

keys() {
    local wid=$1
    shift
    xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
    sleep 0.1
    xdotool "$@"
}

position() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^[XY]=//p' | paste -sd, -; }


wait_replaced() {
    for _ in $(seq 150); do
        [ -e "$1" ] && [ ! -e "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
