#!/usr/bin/env bash
# Runs packaging/windows/kerfo-register.cmd under Wine from a folder whose name has a
# space and parentheses (as in "Program Files (x86)"), reads the per-user keys back with reg query, then removes them again.
#   register_win.sh <wine> <kerfo-register.cmd> <a program to stand in for kerfo.exe>
set -euo pipefail
wine=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder="$work/Kerfo Folder (x86)"
mkdir "$folder"
cp "$2" "$folder/kerfo-register.cmd"
cp "$3" "$folder/kerfo.exe"
exe="$("$wine" winepath -w "$folder/kerfo.exe" | tr -d '\r')"
base='HKCU\Software\Classes\SystemFileAssociations'
fail() { echo "FAIL: $*" >&2; exit 1; }
query() { "$wine" reg query "$1" "${@:2}" 2>/dev/null | tr -d '\r'; }

out=$((cd "$folder" && "$wine" cmd /c kerfo-register.cmd) 2>&1 | tr -d '\r') || fail "register: $out"
[[ $out == *"Kerfo-Encrypt added"* ]] || fail "register said: $out"
for type in text .kfo; do
    key="$base\\$type\\shell\\Kerfo-Encrypt"
    entry=$(query "$key")
    command=$(query "$key\\command" /ve)
    grep -qF '(Default)    REG_SZ    Kerfo-Encrypt' <<<"$entry" || fail "$key label: $entry"
    grep -qF "Icon    REG_SZ    \"$exe\",0" <<<"$entry" || fail "$key icon: $entry"
    grep -qF "(Default)    REG_SZ    \"$exe\" %1" <<<"$command" || fail "$key command: $command"
done

out=$((cd "$folder" && "$wine" cmd /c kerfo-register.cmd /remove) 2>&1 | tr -d '\r') || fail "remove: $out"
for type in text .kfo; do
    ! query "$base\\$type\\shell\\Kerfo-Encrypt" >/dev/null || fail "$type entry left after /remove"
done
echo "registration and removal read back from the registry"
