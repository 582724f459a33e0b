#!/usr/bin/env bash
# The Windows installer under Wine: builds it with CPack's NSIS generator, installs it
# silently (/S), checks the files, the Explorer entry and the uninstall entry, then runs
# the uninstaller silently and checks that everything it added is gone again.
#   installer_win.sh <wine> <cpack> <build-dir> <output-dir>
set -euo pipefail
wine=$1
cpack=$2
build=$3
out=$4
fail() { echo "FAIL: $*" >&2; exit 1; }
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
echo "installed: files, Explorer entry and uninstall entry present"

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
