#!/usr/bin/env bash
# End-to-end test of the window: the real `kerfo` binary in a real X server (Xvfb),
# driven with xdotool as a user would: type, Tab, Enter, Esc.
#   window_e2e.sh path/to/kerfo
# Exits 77 (skipped) only when no X server can run here.
set -uo pipefail

kerfo=${1:?usage: window_e2e.sh path/to/kerfo}
skip=77

source "$(dirname "$0")/x_session.sh"

# Ends a window that auto quit left open (the box may be unticked by saved settings).
finish_window() {
    local pid=$1 wid=$2
    wait_exit "$pid" 2
    if [ "$code" = running ]; then
        keys "$wid" key Escape
        wait_exit "$pid" 10
        [ "$code" = 0 ] || fail "Esc on the finished window did not end it ($code)"
    else
        [ "$code" = 0 ] || fail "auto quit ended with $code"
    fi
}

plain=$'Dear diary,\r\ntoday nothing happened.\r\n\x01\x02 and some bytes\n'
printf '%s' "$plain" >"$tmp/notes.txt"
cp "$tmp/notes.txt" "$tmp/original"

# 0. Settings, in a store of their own: the first run opens at the screen's corner with
# Check1 cleared; a run that is moved and ticked is where the next one opens, ticked.
export XDG_CONFIG_HOME="$tmp/prefs"
ini="$XDG_CONFIG_HOME/kerfo/settings.ini"
# The stored values as "Left,Top,Autoquit".
stored() {
    local name out=
    for name in Left Top Autoquit; do out+="$(sed -n "s/^$name=//p" "$ini" 2>/dev/null),"; done
    echo "${out%,}"
}
printf 'prefs\r\n' >"$tmp/prefs.txt"

start "$tmp/prefs.txt"
pid=$last
if wid=$(wait_window '^Kerfo / prefs\.txt$'); then
    at=$(position "$wid")
    [ "$at" = 0,0 ] && pass "the first run opens at 0,0" || fail "the first run opened at $at"
    keys "$wid" key Escape
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "Esc did not close the first run ($code)"
    [ "$(stored)" = 0,0,0 ] && pass "the first run had Check1 cleared and saved 0,0" ||
        fail "the first run saved Left,Top,Autoquit = $(stored)"
else
    fail "the first window on prefs.txt did not appear"
fi

start "$tmp/prefs.txt"
pid=$last
if wid=$(wait_window '^Kerfo / prefs\.txt$'); then
    xdotool windowmove --sync "$wid" 200 150 2>/dev/null || xdotool windowmove "$wid" 200 150
    sleep 0.3
    at=$(position "$wid")
    [ "$at" = 200,150 ] || fail "xdotool could not move the window to 200,150 (it is at $at)"
    # Shift+Tab from the password box goes round to Check1; Space ticks it.
    keys "$wid" key shift+Tab
    keys "$wid" key space
    keys "$wid" key Escape
    wait_exit "$pid" 10
    [ "$code" = 0 ] || fail "Esc did not close the moved window ($code)"
    [ "$(stored)" = 3000,2250,1 ] && pass "closing saved the place in twips and the tick" ||
        fail "the moved window saved Left,Top,Autoquit = $(stored)"
else
    fail "the second window on prefs.txt did not appear"
fi

start "$tmp/prefs.txt"
pid=$last
if wid=$(wait_window '^Kerfo / prefs\.txt$'); then
    at=$(position "$wid")
    [ "$at" = 200,150 ] && pass "the next run opens where the last one closed" ||
        fail "the next run opened at $at, not 200,150"
    # Ticked: a successful job ends the program by itself.
    keys "$wid" type --delay 20 'pw'
    keys "$wid" key Tab
    keys "$wid" type --delay 20 'pw'
    keys "$wid" key Return
    wait_replaced "$tmp/prefs.kfo" "$tmp/prefs.txt" || fail "prefs.txt was not encrypted"
    wait_exit "$pid" 10
    if [ "$code" = 0 ]; then
        pass "the next run has Check1 ticked: it quit after the job"
    else
        fail "the next run did not quit after the job ($code): Check1 was not ticked"
        [ "$code" = running ] && keys "$wid" key Escape && wait_exit "$pid" 10
    fi
else
    fail "the third window on prefs.txt did not appear"
fi
export XDG_CONFIG_HOME="$tmp/home/.config"

# 1. Encrypt: both passwords, Enter.
start "$tmp/notes.txt"
pid=$last
if wid=$(wait_window '^Kerfo / notes\.txt$'); then
    keys "$wid" type --delay 20 'Open Sesame'
    keys "$wid" key Tab
    keys "$wid" type --delay 20 'Open Sesame'
    keys "$wid" key Return
    if wait_replaced "$tmp/notes.kfo" "$tmp/notes.txt" && [ "$(head -c 8 "$tmp/notes.kfo")" = "[Kerfod]" ]; then
        pass "encrypted notes.txt into notes.kfo"
    else
        fail "notes.txt was not replaced by an encrypted notes.kfo"
    fi
    finish_window "$pid" "$wid"
else
    fail "the window on notes.txt did not appear"
fi

# 2. Decrypt: a wrong password first, which leaves the file untouched; then the right one.
cp "$tmp/notes.kfo" "$tmp/encrypted" 2>/dev/null
start "$tmp/notes.kfo"
pid=$last
if wid=$(wait_window '^Kerfo / notes\.kfo$'); then
    keys "$wid" type --delay 20 'open sesame'
    keys "$wid" key Return
    if box=$(wait_window '^Kerfo$'); then
        pass "a wrong password brings up the warning box"
        keys "$box" key Return
    else
        fail "no box after a wrong password"
    fi
    if cmp -s "$tmp/notes.kfo" "$tmp/encrypted" && [ ! -e "$tmp/notes.txt" ]; then
        pass "a wrong password leaves the file untouched"
    else
        fail "a wrong password changed the files"
    fi
    sleep 0.3
    # The attempt is selected: typing replaces it.
    keys "$wid" type --delay 20 'Open Sesame'
    keys "$wid" key Return
    if wait_replaced "$tmp/notes.txt" "$tmp/notes.kfo" && cmp -s "$tmp/notes.txt" "$tmp/original"; then
        pass "decrypted notes.kfo back to the original bytes"
    else
        fail "notes.kfo was not decrypted to the original"
    fi
    finish_window "$pid" "$wid"
else
    fail "the window on notes.kfo did not appear"
fi

# 3. A second instance is refused with the "Info" box; the first one stays.
printf 'second\r\n' >"$tmp/other.txt"
start "$tmp/other.txt"
first=$last
if wid=$(wait_window '^Kerfo / other\.txt$'); then
    start "$tmp/notes.txt"
    second=$last
    if box=$(wait_window '^Info$'); then
        pass "a second instance shows the Info box"
        keys "$box" key Return
        wait_exit "$second" 10
        [ "$code" != running ] && [ "$code" != 0 ] || fail "the second instance did not end after its box ($code)"
    else
        fail "the second instance showed no Info box"
    fi
    if kill -0 "$first" 2>/dev/null && xdotool search --onlyvisible --name '^Kerfo / other\.txt$' >/dev/null; then
        pass "the first instance is untouched"
    else
        fail "the first instance went away"
    fi
    # 4. A crashed instance does not keep the lock: kill it hard and start again.
    kill -9 "$first"
    wait "$first" 2>/dev/null
    start "$tmp/other.txt"
    again=$last
    if wid=$(wait_window '^Kerfo / other\.txt$'); then
        pass "a new instance starts after the previous one was killed"
        keys "$wid" key Escape
        wait_exit "$again" 10
        [ "$code" = 0 ] || fail "Esc did not close the window ($code)"
    else
        fail "no window after a killed instance"
    fi
else
    fail "the window on other.txt did not appear"
fi

# 5. No argument: the usage box, then the end.
start
pid=$last
if box=$(wait_window '^Kerfo$'); then
    pass "no argument shows the usage box"
    keys "$box" key Return
    wait_exit "$pid" 10
    [ "$code" != running ] && [ "$code" != 0 ] || fail "the program did not end after the usage box ($code)"
    xdotool search --onlyvisible --name '^Kerfo / ' >/dev/null && fail "a main window opened without an argument"
else
    fail "no usage box without an argument"
fi

# 6. --help and --version answer in the terminal, without a display, but only as the whole
# command line and only while no file of that name is in the current folder.
mkdir "$tmp/answers" && cd "$tmp/answers" || exit 1
for row in "--help|^Usage: kerfo FILE$" "--version|^kerfo [0-9]+\.[0-9]+\.[0-9]+$"; do
    arg=${row%%|*} want=${row#*|}
    out=$(DISPLAY= timeout 10 "$kerfo" "$arg" 2>>"$tmp/kerfo.log")
    rc=$?
    if [ "$rc" = 0 ] && head -n 1 <<<"$out" | grep -Eq -- "$want"; then
        pass "kerfo $arg answers in the terminal"
    else
        fail "kerfo $arg ended with $rc and printed: $(head -n 1 <<<"$out")"
    fi
done
# "what | arguments | the window that must appear"
for row in "a file named --version is here|--version|^Kerfo / --version$" \
           "more than the option alone|--help me|^Kerfo$"; do
    IFS='|' read -r what args title <<<"$row"
    [ "$args" = --version ] && printf 'not an option\n' >./--version
    read -ra words <<<"$args"
    start "${words[@]}"
    pid=$last
    if wid=$(wait_window "$title"); then
        pass "$what: taken as a path"
        keys "$wid" key Escape
        wait_exit "$pid" 10
    else
        fail "$what: no window titled $title"
        kill "$pid" 2>/dev/null
    fi
done
cd "$tmp" || exit 1

report "all window end-to-end checks passed"
