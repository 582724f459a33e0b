#!/usr/bin/env bash
# The Windows installer under Wine: builds it with CPack's NSIS generator, installs it
# silently (/S), checks the files, Kerfo's picture on the programs, the Explorer entry and
# the uninstall entry; checks that neither a reinstall nor the uninstaller replaces or
# removes a running Kerfo (exit code 2, a line saying why); then runs the uninstaller
# silently and checks that everything it added is gone again.
#   installer_win.sh <wine> <cpack> <build-dir> <output-dir> <kerfo.ico>
set -euo pipefail
wine=$1
cpack=$2
build=$3
out=$4
icon=$5
fail() { echo "FAIL: $*" >&2; exit 1; }
# True when every program given carries the images of kerfo.ico byte for byte among its
# icons: Kerfo's picture, as Explorer, the taskbar and the installed programs show it.
shows_picture() {
    python3 - "$icon" "$@" <<'PY'
import struct, sys
ico = open(sys.argv[1], "rb").read()
entries = (struct.unpack_from("<II", ico, 14 + 16 * i) for i in range(struct.unpack_from("<H", ico, 4)[0]))
images = [ico[offset:offset + size] for size, offset in entries]
sys.exit(0 if all(all(image in open(p, "rb").read() for image in images) for p in sys.argv[2:]) else 1)
PY
}
query() { "$wine" reg query "$@" 2>/dev/null | tr -d '\r'; }

rm -rf "$out"
"$cpack" -G NSIS --config "$build/CPackConfig.cmake" -B "$out" >"$out.log" 2>&1 || { cat "$out.log" >&2; fail "cpack"; }
installer=$(ls "$out"/kerfo-*-win*.exe)

appdata=$("$wine" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
folder=$("$wine" winepath -u "$appdata\\Programs\\Kerfo" 2>/dev/null | tr -d '\r')
windir="$appdata\\Programs\\Kerfo"
classes='HKCU\Software\Classes\SystemFileAssociations'
uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kerfo'
# A key that the user had before must survive the uninstaller.
"$wine" reg add "$classes\\text\\shell\\Other" /ve /d other /f >/dev/null 2>&1

"$wine" "$installer" /S || fail "the installer ended with $?"
for name in kerfo.exe kerfo-cli.exe readme.txt kerfo-register.cmd uninstall.exe; do
    [ -f "$folder/$name" ] || fail "$name is not in $folder"
done
for type in text .kfo; do
    key="$classes\\$type\\shell\\Kerfo-Encrypt"
    query "$key" | grep -qF '(Default)    REG_SZ    Kerfo-Encrypt' || fail "$key: $(query "$key")"
    query "$key\\command" /ve | grep -qF "(Default)    REG_SZ    \"$windir\\kerfo.exe\" %1" ||
        fail "$key\\command: $(query "$key\\command" /ve)"
done
query "$uninstall" | grep -qF "UninstallString    REG_SZ    \"$windir\\uninstall.exe\"" ||
    fail "no uninstall entry: $(query "$uninstall")"
shows_picture "$installer" "$folder/kerfo.exe" "$folder/kerfo-cli.exe" "$folder/uninstall.exe" || fail "the programs do not show Kerfo's picture"
echo "installed: files, Explorer entry and uninstall entry present"

# Kerfo running: the window (here without a display, which keeps it waiting all the same),
# then kerfo-cli waiting for its password. A reinstall and the uninstaller (run in place,
# so that its exit code is its own) must fail, say why, and leave every file as it was.
note="$out/running.txt"
printf 'a note\r\n' >"$note"
winnote=$("$wine" winepath -w "$note" 2>/dev/null | tr -d '\r')
running=
trap '[ -z "$running" ] || kill -- -"$running" 2>/dev/null' EXIT
for program in kerfo kerfo-cli; do
    name=$([ "$program" = kerfo ] && echo Kerfo || echo kerfo-cli)
    # In a process group of its own, so that it ends whole, its input's writer with it.
    if [ "$program" = kerfo ]; then
        setsid "$wine" "$folder/kerfo.exe" "$winnote" >/dev/null 2>&1 &
    else
        setsid bash -c 'sleep 60 | "$1" "$2" encrypt --password-stdin "$3"' - "$wine" "$folder/kerfo-cli.exe" \
            "$winnote" >/dev/null 2>&1 &
    fi
    running=$!
    sleep 3
    kill -0 "$running" 2>/dev/null || fail "$program did not stay running for the check"
    before=$(cd "$folder" && sha256sum -- *)
    code=0
    said=$("$wine" "$installer" /S 2>&1) || code=$?
    [ "$code" = 2 ] || fail "a reinstall while $program runs ended with $code"
    grep -qF "$name is running: close it, then run this again." <<<"$said" || fail "a reinstall while $program runs said: $said"
    code=0
    said=$("$wine" "$folder/uninstall.exe" /S "_?=$windir" 2>&1) || code=$?
    [ "$code" = 2 ] || fail "the uninstaller while $program runs ended with $code"
    grep -qF "$name is running" <<<"$said" || fail "the uninstaller while $program runs said: $said"
    [ "$(cd "$folder" && sha256sum -- *)" = "$before" ] || fail "files changed while $program ran"
    kill -- -"$running" 2>/dev/null
    wait "$running" 2>/dev/null || true
    running=
    echo "$program running: a reinstall and the uninstaller stop with exit code 2 and change nothing"
done
"$wine" "$installer" /S || fail "the reinstall once Kerfo had ended ended with $?"

# The uninstaller copies itself away and runs from there: wait for it to finish.
"$wine" "$folder/uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 300); do
    [ ! -e "$folder" ] && ! query "$uninstall" >/dev/null && break
    sleep 0.1
done
[ ! -e "$folder" ] || fail "left behind: $(ls -A "$folder")"
! query "$uninstall" >/dev/null || fail "the uninstall entry is still there"
for type in text .kfo; do
    ! query "$classes\\$type\\shell\\Kerfo-Encrypt" >/dev/null || fail "the $type entry is still there"
done
! query "$classes\\.kfo" >/dev/null || fail "the .kfo key the installer made is still there"
query "$classes\\text\\shell\\Other" >/dev/null || fail "the uninstaller took a key it did not add"
"$wine" reg delete "$classes\\text\\shell\\Other" /f >/dev/null 2>&1
echo "installed and removed silently: everything added is gone"
