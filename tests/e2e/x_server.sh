# What every window end-to-end driver needs of X, sourced by x_session.sh (the Linux
# window) and wine_x.sh (kerfo.exe under Wine) after they have set `skip` (the exit code
# for "cannot run here"): a private Xvfb of ${screen_w}x${screen_h} (default 1024x768) on
# the first free display, a scratch folder `tmp`, the pass/fail tally, and the waits and
# keys that drive windows. Everything added to `pids` is ended on exit; a caller that
# defines `before_x_ends` has it run first.

for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (scripts/deps.sh installs it); no X server can run" >&2
        exit "$skip"
    fi
done

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    declare -F before_x_ends >/dev/null && before_x_ends
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

screen_w=${screen_w:-1024}
screen_h=${screen_h:-768}
Xvfb -displayfd 3 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$tmp/display" ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        echo "SKIP: Xvfb cannot run here:" >&2
        cat "$tmp/xvfb.log" >&2
        exit "$skip"
    fi
    sleep 0.1
done
[ -s "$tmp/display" ] || { echo "SKIP: Xvfb did not start" >&2; exit "$skip"; }
export DISPLAY=":$(cat "$tmp/display")"

source "$(dirname "${BASH_SOURCE[0]}")/verdict.sh"

# The verdict: the failures with what the program wrote to $tmp/kerfo.log, or $1 when
# everything passed.
report() {
    if [ "$failures" -ne 0 ]; then
        echo "--- the program's messages:" >&2
        cat "$tmp/kerfo.log" >&2 2>/dev/null
        echo "$failures failed" >&2
        exit 1
    fi
    echo "$1"
}

# The id of the visible window whose whole title matches the regular expression $1, once it
# has had $settle seconds (default 0.3) to finish mapping and take the focus; gives up
# after $wait_tries looks (default 150, a tenth of a second apart).
wait_window() {
    local wid
    for _ in $(seq "${wait_tries:-150}"); do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
        if [ -n "$wid" ]; then
            sleep "${settle:-0.3}"
            # Under load a window can still be replaced after it first shows (the previous
            # run's going away, or the toolkit making the window anew): only one that is
            # still there after the pause counts.
            if xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -qx "$wid"; then
                echo "$wid"
                return 0
            fi
        fi
        sleep 0.1
    done
    return 1
}

# Keys to the window $1 through the X test extension, after giving it the focus (without a
# window manager nothing else does). Never `key --window`: that sends each press and release
# to the window only while it has the focus, so a press that closes the window loses its
# release, and the server repeats the key into the next window that takes the focus.
keys() {
    local wid=$1
    shift
    xdotool windowfocus --sync "$wid" 2>/dev/null || xdotool windowfocus "$wid"
    sleep 0.1
    xdotool "$@"
}

# The window's position as "X,Y": its own corner on the screen, where no window manager
# frames it.
position() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^[XY]=//p' | paste -sd, -; }

# Waits until $1 exists and $2 is gone: a job has replaced one file by the other.
wait_replaced() {
    for _ in $(seq 150); do
        [ -e "$1" ] && [ ! -e "$2" ] && return 0
        sleep 0.1
    done
    return 1
}
