#!/usr/bin/env bash
# Takes the README's screenshots of the real window under Xvfb, framed by a real window
# manager (openbox): the main window and the about box on a light and on a dark palette
# (qt6ct's "darker" scheme), at 100% and at 200% (QT_SCALE_FACTOR=2), and the window in
# decrypt mode, as PNG files in docs/screenshots/.
#   scripts/screenshots.sh [build-dir]   (default: build; builds the kerfo target)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
out="$root/docs/screenshots"

# What only this script needs, beyond scripts/packages/ (run.txt, test.txt).
extra=(imagemagick openbox qt6ct)
missing=()
for pkg in xvfb xdotool "${extra[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
if [ ${#missing[@]} -ne 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "The screenshots need: sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ! -x "$build/src/ui/kerfo" ]; then
    cmake -S "$root" -B "$build" >/dev/null
    cmake --build "$build" -j"$(nproc)" --target kerfo
fi
kerfo="$build/src/ui/kerfo"

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# A large screen: the 200% shots need the room.
Xvfb -displayfd 3 -screen 0 2048x1536x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$tmp/display")"
export QT_QPA_PLATFORM=xcb
mkdir -m 700 "$tmp/run" "$tmp/home"
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/home/.config"
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The dark palette, as a user of qt6ct picks it.
mkdir -p "$XDG_CONFIG_HOME/qt6ct"
printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n' \
    >"$XDG_CONFIG_HOME/qt6ct/qt6ct.conf"

wait_window() {
    local wid
    for _ in $(seq 100); do
        wid=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1)
        [ -n "$wid" ] && { sleep 0.7; echo "$wid"; return 0; }
        sleep 0.1
    done
    echo "no window named $1" >&2
    return 1
}

# Takes window $1 with its frame into $2.
shot() {
    import -frame -window "$1" "$2"
    echo "wrote $2"
}

mkdir -p "$out"
rm -f "$out"/*.png
printf 'Dear diary,\r\n' >"$tmp/notes.txt"
printf '[Kerfod]Sb;Wq?Ma]Kz^Ng;Lo\r\nHhPf^Dq;Q<wxEZ\r\n' >"$tmp/letter.kfo"

# The main window with a password typed, then the about box over it: $1 light or dark,
# $2 the scale in percent.
variant() {
    local look=$1 scale=$2 theme= wid about
    [ "$look" = dark ] && theme=qt6ct
    QT_QPA_PLATFORMTHEME=$theme QT_SCALE_FACTOR=$((scale / 100)) "$kerfo" "$tmp/notes.txt" &
    pids+=($!)
    wid=$(wait_window '^Kerfo / notes\.txt$')
    xdotool windowactivate --sync "$wid"
    xdotool type --delay 30 'secret'
    sleep 0.3
    shot "$wid" "$out/main-$look-$scale.png"
    xdotool key alt+a
    about=$(wait_window '^About$')
    shot "$about" "$out/about-$look-$scale.png"
    xdotool windowactivate --sync "$about"
    xdotool key Return
    sleep 0.3
    xdotool windowactivate --sync "$wid"
    xdotool key Escape
    wait "${pids[-1]}" 2>/dev/null || true
}

for look in light dark; do
    for scale in 100 200; do
        variant "$look" "$scale"
    done
done

"$kerfo" "$tmp/letter.kfo" &
pids+=($!)
wid=$(wait_window '^Kerfo / letter\.kfo$')
xdotool windowactivate --sync "$wid"
xdotool type --delay 30 'secret'
sleep 0.3
shot "$wid" "$out/decrypt-mode.png"
