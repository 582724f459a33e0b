# What the Linux window's end-to-end tests share, sourced by them after they have set
# `kerfo` (the program) and `skip` (the exit code for "cannot run here"): the X server and
# helpers of x_server.sh, private folders for Kerfo's lock and settings, and starting Kerfo.
# Everything started through `start` is ended on exit.

source "$(dirname "${BASH_SOURCE[0]}")/x_server.sh"
export QT_QPA_PLATFORM=xcb
# Kerfo's lock and settings live in this test's own folders.
mkdir -m 700 "$tmp/run" "$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
unset SESSION_MANAGER

# Starts Kerfo on the arguments; its pid is in `last`.
start() {
    "$kerfo" "$@" 2>>"$tmp/kerfo.log" &
    last=$!
    pids+=("$last")
}
