#!/usr/bin/env bash
# End-to-end test of kerfo.exe under Wine in a private X server (Xvfb), driven with
# xdotool as a user would: type, Tab, Enter, Esc; the settings read back with reg query.
#   window_win_e2e.sh <wine> path/to/kerfo.exe
# Runs in the caller's WINEPREFIX. Exits 77 (skipped) only when no X server can run here.
set -uo pipefail

wine=${1:?usage: window_win_e2e.sh <wine> path/to/kerfo.exe}
exe=${2:?usage: window_win_e2e.sh <wine> path/to/kerfo.exe}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine_x.sh
source "$here/wine_x.sh"

key='HKCU\Software\Tarnwick\Kerfo'
# The stored values as "Left,Top,Autoquit".
stored() {
    local name out=
    for name in Left Top Autoquit; do
        out+="$("$wine" reg query "$key" /v "$name" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$name *REG_SZ *//p"),"
    done
    echo "${out%,}"
}
preset() {  # left top autoquit
    "$wine" reg add "$key" /v Left /d "$1" /f >/dev/null 2>&1
    "$wine" reg add "$key" /v Top /d "$2" /f >/dev/null 2>&1
    "$wine" reg add "$key" /v Autoquit /d "$3" /f >/dev/null 2>&1
}

# Starts kerfo.exe the way Explorer does: the file's path unquoted after the program's,
# so a name with spaces arrives as the whole tail.
start() {
    local n=${#pids[@]}
    printf '@"%s" %s\r\n' "$winexe" "$1" >"$tmp/start$n.cmd"
    "$wine" cmd /c "$(win "$tmp/start$n.cmd")" 2>>"$tmp/kerfo.log" &
    last=$!
    pids+=("$last")
}

work="$tmp/My  Files"
mkdir -p "$work"
winexe=$(win "$exe")
plain=$'Dear diary,\r\ntoday nothing happened.\r\n\x01\x02 and some bytes\n'
printf '%s' "$plain" >"$work/my  notes.txt"
cp "$work/my  notes.txt" "$tmp/original"
"$wine" reg delete "$key" /f >/dev/null 2>&1

# 1. The first run, with no settings yet, opens at the screen's corner with the box
# cleared; closing it stores 0, 0 and 0.
start "$(win "$work")\\my  notes.txt"
pid=$last
if wid=$(wait_window '^Kerfo / my  notes\.txt$'); then
    at=$(position "$wid")
    [ "$at" = 0,0 ] && pass "the first run opens at 0,0" || fail "the first run opened at $at"
    # The about box: Alt+A opens it; Esc leaves it open; Enter presses its focused Ok.
    keys "$wid" key alt+a
    if about=$(wait_window '^About$'); then
        keys "$about" key Escape
        sleep 0.5
        xdotool search --onlyvisible --name '^About$' >/dev/null && pass "Esc leaves the about box open" ||
            fail "Esc closed the about box"
        keys "$about" key Return
        sleep 0.5
        ! xdotool search --onlyvisible --name '^About$' >/dev/null && pass "Enter presses Ok" ||
            fail "Enter did not close the about box"
    else
        fail "Alt+A opened no about box"
    fi
    keys "$wid" key Escape
    wait_exit "$pid" 15
    [ "$code" = 0 ] || fail "Esc did not close the first run ($code)"
    [ "$(stored)" = 0,0,0 ] && pass "the first close stored Left,Top,Autoquit 0,0,0" ||
        fail "the first close stored $(stored)"
else
    fail "the window on 'my  notes.txt' did not appear (the path with two spaces)"
fi

# 2. Stored place and tick are restored: encrypt by typing both passwords and Enter;
# auto quit ends the program and the same values are stored again.
preset 3000 2250 1
start "$(win "$work")\\my  notes.txt"
pid=$last
if wid=$(wait_window '^Kerfo / my  notes\.txt$'); then
    at=$(position "$wid")
    [ "$at" = 200,150 ] && pass "the stored place (3000,2250 twips) is restored" || fail "opened at $at, not 200,150"
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Tab
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Return
    if wait_replaced "$work/my  notes.kfo" "$work/my  notes.txt" && [ "$(head -c 8 "$work/my  notes.kfo")" = "[Kerfod]" ]; then
        pass "encrypted 'my  notes.txt' into 'my  notes.kfo'"
    else
        fail "'my  notes.txt' was not replaced by an encrypted file"
    fi
    wait_exit "$pid" 15
    [ "$code" = 0 ] && pass "the ticked box ended the program after the job" || fail "no auto quit ($code)"
    [ "$(stored)" = 3000,2250,1 ] && pass "closing stored 3000,2250,1 again" || fail "stored $(stored)"
else
    fail "the second window did not appear"
fi

# 3. Decrypt: a wrong password first (the warning; the file untouched), then the right one.
preset 0 0 0
cp "$work/my  notes.kfo" "$tmp/encrypted" 2>/dev/null
start "$(win "$work")\\my  notes.kfo"
pid=$last
if wid=$(wait_window '^Kerfo / my  notes\.kfo$'); then
    keys "$wid" type --delay 30 'open sesame'
    keys "$wid" key Return
    if box=$(wait_window '^Kerfo$'); then
        pass "a wrong password brings up the warning box"
        keys "$box" key Return
    else
        fail "no box after a wrong password"
    fi
    cmp -s "$work/my  notes.kfo" "$tmp/encrypted" && [ ! -e "$work/my  notes.txt" ] &&
        pass "a wrong password leaves the file untouched" || fail "a wrong password changed the files"
    sleep 0.5
    # The attempt is selected: typing replaces it.
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Return
    if wait_replaced "$work/my  notes.txt" "$work/my  notes.kfo" && cmp -s "$work/my  notes.txt" "$tmp/original"; then
        pass "decrypted back to the original bytes"
    else
        fail "not decrypted to the original"
    fi
    sleep 0.5
    keys "$wid" key Escape
    wait_exit "$pid" 15
    [ "$code" = 0 ] && pass "Esc on the finished window ends the program" || fail "Esc after the job: $code"
else
    fail "the window on 'my  notes.kfo' did not appear"
fi

# 4. A second instance on a file of the other kind is refused with the "Info" box; the
# first one stays.
printf 'second\r\n' >"$work/other.txt"
cp "$tmp/encrypted" "$work/second.kfo"
start "$(win "$work")\\other.txt"
first=$last
if wid=$(wait_window '^Kerfo / other\.txt$'); then
    start "$(win "$work")\\second.kfo"
    second=$last
    if box=$(wait_window '^Info$'); then
        pass "a second instance shows the Info box"
        keys "$box" key Return
        wait_exit "$second" 15
        [ "$code" != running ] && [ "$code" != 0 ] || fail "the second instance did not end after its box ($code)"
    else
        fail "the second instance showed no Info box"
    fi
    kill -0 "$first" 2>/dev/null && pass "the first instance is untouched" || fail "the first instance went away"
    keys "$wid" key Escape
    wait_exit "$first" 15
else
    fail "the window on other.txt did not appear"
fi

# 5. A stored place off the screen (Left=30000 twips is 2000 pixels, past the right edge of
# the screen): the window opens on the screen, takes the focus and the keys, and what is
# stored stays until the window closes.
preset 30000 2250 0
start "$(win "$work")\\other.txt"
pid=$last
if wid=$(wait_window '^Kerfo / other\.txt$'); then
    eval "$(xdotool getwindowgeometry --shell "$wid" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    if [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le "$screen_w" ] && [ $((Y + HEIGHT)) -le "$screen_h" ]; then
        pass "Left=30000 opens on the screen (at $X,$Y, ${WIDTH}x$HEIGHT)"
    else
        fail "Left=30000 opened at $X,$Y (${WIDTH}x$HEIGHT), off the ${screen_w}x$screen_h screen"
    fi
    [ "$(stored)" = 30000,2250,0 ] && pass "the stored place stays while the window is open" ||
        fail "opening changed the stored values to $(stored)"
    keys "$wid" key Escape
    wait_exit "$pid" 15
    [ "$code" = 0 ] && pass "the rescued window takes the focus: Esc closes it" ||
        fail "Esc did not reach the rescued window ($code)"
    [ "$(stored)" = "$((X * 15)),$((Y * 15)),0" ] && pass "closing stores where it was shown" ||
        fail "closing stored $(stored), not where the window was ($X,$Y)"
else
    fail "the window with Left=30000 did not appear"
fi

# 6. Explorer starts one kerfo.exe per selected file, all at the same moment: they end up in
# one window on the three files, the other two end silently, and one password encrypts all
# three (typed twice) and decrypts them again (typed once).
preset 0 0 1
three="$work/three"
mkdir -p "$three"
names=('a.txt' 'b  c.txt' 'd.txt')
for name in "${names[@]}"; do printf 'Dear diary,\r\n%s\r\n' "$name" >"$three/$name"; done
cp -r "$three" "$tmp/three-original"
# Starts kerfo.exe on each of the names with extension $1 at once, as Explorer does; expects one
# window titled for three files, whose id is then in `wid` and its process in `owner`; the
# other two must have ended with 0.
start_three() {
    local ext=$1 name pid ended folder
    folder=$(win "$three")
    starts=()
    for name in "${names[@]}"; do
        start "$folder\\${name%.txt}.$ext"
        starts+=("$last")
    done
    wid=$(wait_window '^Kerfo / 3 files$') || { fail "three starts on .$ext files opened no window for three files"; return 1; }
    owner=
    for _ in $(seq 150); do
        ended=0
        for pid in "${starts[@]}"; do kill -0 "$pid" 2>/dev/null || ended=$((ended + 1)); done
        [ "$ended" -ge 2 ] && break
        sleep 0.1
    done
    for pid in "${starts[@]}"; do
        if kill -0 "$pid" 2>/dev/null; then
            [ -z "$owner" ] && owner=$pid || fail "more than one kerfo.exe still runs beside the window"
        else
            wait_exit "$pid" 1
            [ "$code" = 0 ] || fail "a start that handed its file over ended with $code"
        fi
    done
    xdotool search --onlyvisible --name '^Info$' >/dev/null && fail "a start showed the Info box"
    [ -n "$owner" ] || fail "no kerfo.exe holds the window"
}
only() {  # the folder holds exactly the three names with extension $1
    local want got
    want=$(printf '%s\n' "${names[@]/%.txt/.$1}" | sort)
    got=$(ls -1 "$three" | sort)
    [ "$got" = "$want" ]
}
wait_only() {
    for _ in $(seq 150); do only "$1" && return 0; sleep 0.1; done
    return 1
}
if start_three txt; then
    pass "three starts at once on plain files: one window titled for three files"
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Tab
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Return
    wait_only kfo && pass "one password encrypted all three, leaving three .kfo files and nothing else" ||
        fail "after encrypting the folder holds: $(ls -1 "$three" | tr '\n' '|')"
    wait_exit "$owner" 15
    [ "$code" = 0 ] && pass "auto quit ended the window once all three were done" || fail "no auto quit after three ($code)"
fi
if start_three kfo; then
    pass "three starts at once on encrypted files: one window titled for three files"
    keys "$wid" type --delay 30 'Open Sesame'
    keys "$wid" key Return
    if wait_only txt && diff -r "$three" "$tmp/three-original" >/dev/null; then
        pass "one password typed once decrypted all three to the original bytes"
    else
        fail "after decrypting the folder holds: $(ls -1 "$three" | tr '\n' '|')"
    fi
    wait_exit "$owner" 15
    [ "$code" = 0 ] || fail "no auto quit after decrypting three ($code)"
fi

# 7. Files of one selection that the gate refuses (here two empty ones), started after the
# window as Explorer starts them, are named in one box by that window; their starts end
# silently and the window goes on with its own file.
preset 0 0 0
mixed="$work/mixed"
mkdir -p "$mixed"
printf 'Dear diary,\r\n' >"$mixed/e.txt"
: >"$mixed/empty1.txt"
: >"$mixed/empty2.txt"
folder=$(win "$mixed")
start "$folder\\e.txt"
owner=$last
if wid=$(wait_window '^Kerfo / e\.txt$'); then
    start "$folder\\empty1.txt"
    refused=("$last")
    start "$folder\\empty2.txt"
    refused+=("$last")
    for pid in "${refused[@]}"; do
        wait_exit "$pid" 15
        [ "$code" = 0 ] || fail "a start on a refused file ended with $code instead of handing it over"
    done
    if box=$(wait_window '^Kerfo$'); then
        sleep 1  # longer than the window waits for more refused files
        boxes=$(xdotool search --onlyvisible --name '^Kerfo$' | wc -l)
        [ "$boxes" = 1 ] && pass "two refused files handed over: one box names them" ||
            fail "two refused files handed over gave $boxes boxes"
        keys "$box" key Return
    else
        fail "no box named the refused files"
    fi
    [ -n "$(xdotool search --onlyvisible --name '^Kerfo / e\.txt$')" ] ||
        fail "the window did not stay on its own file"
    keys "$wid" key Escape
    wait_exit "$owner" 15
    [ "$code" = 0 ] || fail "the window on e.txt did not close with Esc ($code)"
    [ -s "$mixed/e.txt" ] && [ -e "$mixed/empty1.txt" ] && [ -e "$mixed/empty2.txt" ] ||
        fail "a file changed: $(ls -1 "$mixed" | tr '\n' '|')"
else
    fail "the window on e.txt did not appear"
fi

report "window end-to-end checks under Wine passed"
