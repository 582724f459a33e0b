# What the window end-to-end tests share, sourced by them after they have set `kerfo` (the
# program) and `skip` (the exit code for "cannot run here"): a private Xvfb of
# ${screen_w}x${screen_h} (default 1024x768), private folders for Kerfo's lock and settings,
# the pass/fail tally and the waits. Everything started through `start` or added to `pids`
# is ended on exit.

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# A private X server on the first free display.
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
export QT_QPA_PLATFORM=xcb
# Kerfo's lock and settings live in this test's own folders.
mkdir -m 700 "$tmp/run" "$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
unset SESSION_MANAGER

source "$(dirname "${BASH_SOURCE[0]}")/verdict.sh"

# The id of the visible window whose whole title matches the regular expression $1, once it
# has had $settle seconds (default 0.3) to finish mapping and take the focus.
wait_window() {
    local wid
    for _ in $(seq 150); do
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


# Starts Kerfo on the arguments; its pid is in `last`.
start() {
    "$kerfo" "$@" 2>>"$tmp/kerfo.log" &
    last=$!
    pids+=("$last")
}

# The verdict: the failures with Kerfo's own messages, or $1 when everything passed.
report() {
    if [ "$failures" -ne 0 ]; then
        echo "--- kerfo's messages:" >&2
        cat "$tmp/kerfo.log" >&2
        echo "$failures failed" >&2
        exit 1
    fi
    echo "$1"
}
