#!/usr/bin/env bash
# The window on a desktop where a Wayland compositor and an X server both answer, as under
# GNOME or Plasma with XWayland: weston nested in Xvfb (it has a seat there).
#   window_wayland_e2e.sh path/to/kerfo path/to/the/application/entry.desktop
# For each way the environment can be set, checks which platform the window starts on (X
# whenever a server answers and the user chose none; the user's QT_QPA_PLATFORM always), that
# it names its application entry to the desktop (WM_CLASS on X, the app id on Wayland), and
# what the close saves: on X the remembered position works; on Wayland, where a window is
# never told where it is, the stored position stays as it was (even one off every screen,
# which the window moves onto the screen for this run) and Autoquit is still saved.
# Exits 77 (skipped) where weston or Qt's Wayland plugin is not installed.
set -uo pipefail

kerfo=${1:?usage: window_wayland_e2e.sh path/to/kerfo path/to/entry.desktop}
entry=${2:?usage: window_wayland_e2e.sh path/to/kerfo path/to/entry.desktop}
skip=77

if ! command -v weston >/dev/null; then
    echo "SKIP: weston is not installed (scripts/deps.sh installs it)" >&2
    exit $skip
fi
if ! compgen -G "/usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so" >/dev/null; then
    echo "SKIP: Qt's Wayland platform plugin is not installed (qt6-wayland; scripts/deps.sh installs it)" >&2
    exit $skip
fi

source "$(dirname "$0")/x_session.sh"
unset QT_QPA_PLATFORM
x_display=$DISPLAY

weston --backend=x11-backend.so --socket=kerfo-wayland --width=800 --height=600 --idle-time=0 \
    >"$tmp/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/kerfo-wayland" ] && break
    sleep 0.1
done
if [ ! -S "$XDG_RUNTIME_DIR/kerfo-wayland" ]; then
    echo "FAIL: weston did not start:" >&2
    cat "$tmp/weston.log" >&2
    exit 1
fi
export WAYLAND_DISPLAY=kerfo-wayland XDG_SESSION_TYPE=wayland

app_id=$(basename "$entry" .desktop)
wm_class=$(sed -n 's/^StartupWMClass=//p' "$entry")
ini="$XDG_CONFIG_HOME/kerfo/settings.ini"
printf 'notes\n' >"$tmp/notes.txt"
no_server=99
while [ -e "/tmp/.X11-unix/X$no_server" ]; do no_server=$((no_server + 1)); done

# "what | environment | the platform it must start on"
cases=(
    "an X server answers, nothing chosen|DISPLAY=$x_display|xcb"
    "the user chose Wayland|DISPLAY=$x_display QT_QPA_PLATFORM=wayland|wayland"
    "the user chose X|DISPLAY=$x_display QT_QPA_PLATFORM=xcb|xcb"
    "no X server named|DISPLAY=|wayland"
    "DISPLAY names no server|DISPLAY=:$no_server|wayland"
)
for row in "${cases[@]}"; do
    IFS='|' read -r what settings want <<<"$row"
    read -ra environment <<<"$settings"
    # On X a place on the screen, which the window must take; on Wayland one off every screen,
    # so that what Qt says of a window it moved there differs from what is stored.
    left=4500
    [ "$want" = wayland ] && left=30000
    mkdir -p "$(dirname "$ini")"
    printf '# Kerfo settings store, format 1\n[HKEY_CURRENT_USER\\Software\\Tarnwick\\Kerfo]\nLeft=%s\nTop=3000\n' \
        "$left" >"$ini"
    log="$tmp/kerfo-$want.log"
    # Under the sanitizers: Qt's Wayland plugin, libwayland-client and libxkbcommon keep
    # what they allocate until the process ends, and the plugin is unloaded before the leak
    # check, so its frames cannot be named in a suppression. The X rows check Kerfo's own.
    [ "$want" = wayland ] && environment+=("ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0")
    env "${environment[@]}" QT_LOGGING_RULES=qt.qpa.plugin=true WAYLAND_DEBUG=client \
        "$kerfo" "$tmp/notes.txt" >"$log" 2>&1 &
    pid=$!
    pids+=("$pid")
    got=
    for _ in $(seq 150); do
        got=$(sed -n 's/.*Successfully loaded Qt platform plugin "\([a-z]*\)".*/\1/p' "$log")
        [ -n "$got" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ "$got" != "$want" ]; then
        fail "$what: started on '${got}', not $want"
        tail -n 5 "$log" >&2
        kill "$pid" 2>/dev/null
        continue
    fi
    if [ "$want" = xcb ]; then
        if wid=$(wait_window '^Kerfo / notes\.txt$'); then
            at=$(position "$wid")
            class=$(xprop -id "$wid" WM_CLASS | sed -n 's/.*= "\([^"]*\)".*/\1/p')
            keys "$wid" key Escape
            [ "$at" = 300,200 ] || fail "$what: the window opened at $at, not at the stored 300,200"
            [ "$class" = "$wm_class" ] || fail "$what: WM_CLASS is '$class', the entry's StartupWMClass '$wm_class'"
        else
            fail "$what: no X window appeared"
        fi
    else
        # The window is weston's to place and focus: Esc through weston's X window, until it
        # has reached the window and ended it.
        xdotool mousemove 400 300
        for _ in $(seq 40); do
            kill -0 "$pid" 2>/dev/null || break
            xdotool key Escape
            sleep 0.5
        done
        grep -q "set_app_id(\"$app_id\")" "$log" || fail "$what: the window did not give the app id $app_id"
    fi
    wait_exit "$pid" 10
    [ "$code" = 0 ] || { fail "$what: Esc did not end the window ($code)"; tail -n 40 "$log" >&2; continue; }
    saved=$(grep -E '^(Left|Top|Autoquit)=' "$ini" | paste -sd' ')
    [ "$saved" = "Left=$left Top=3000 Autoquit=0" ] &&
        pass "$what: $want; saved $saved" ||
        fail "$what: the close left $saved, not Left=$left Top=3000 Autoquit=0"
done

report "the platform choice and what each platform saves are right"
