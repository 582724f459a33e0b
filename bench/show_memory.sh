#!/usr/bin/env bash
# Peak memory of `kerfo-cli show` on a large note: the text is checked in one pass and
# printed in a second, both through fixed buffers, so memory must not grow with the file.
#
#   bench/show_memory.sh [path/to/kerfo-cli] [size in MiB, default 1024]
#
# Encrypts a file of random bytes, shows it into sha256sum (the printed text must be
# exactly what was encrypted), and prints the peak resident memory (/usr/bin/time -v) and
# the wall time. Fails when the peak reaches LIMIT_MIB (default 16). Needs about 2.4 times
# the size free in WORK_DIR (default: a folder in /var/tmp). Not part of CI.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/src/cli/kerfo-cli}
mib=${2:-1024}
limit=${LIMIT_MIB:-16}

[ -x "$cli" ] || { echo "kerfo-cli not found at $cli (build it first)" >&2; exit 2; }
if [ ! -x /usr/bin/time ]; then
    echo "installing GNU time for peak-memory figures" >&2
    apt-get install -y time >/dev/null
fi

work=$(mktemp -d "${WORK_DIR:-/var/tmp}/kerfo-show-XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'bench-password\n' > "$work/password"
chmod 600 "$work/password"

head -c "$((mib * 1024 * 1024))" /dev/urandom > "$work/note.txt"
expected=$(sha256sum < "$work/note.txt" | cut -d' ' -f1)
"$cli" encrypt --quiet --password-file "$work/password" "$work/note.txt" >/dev/null

sync
/usr/bin/time -v -o "$work/time.out" "$cli" show --quiet --password-file "$work/password" \
    "$work/note.kfo" | sha256sum | cut -d' ' -f1 > "$work/shown"
[ "$(cat "$work/shown")" = "$expected" ] || { echo "show printed other bytes than were encrypted" >&2; exit 1; }

kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.out")
wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.out")
printf 'kerfo-cli show, %s MiB note: peak RSS %.1f MiB, wall %s (limit %s MiB)\n' \
    "$mib" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$wall" "$limit"
[ "$kib" -lt $((limit * 1024)) ] || { echo "peak memory reached the limit" >&2; exit 1; }
