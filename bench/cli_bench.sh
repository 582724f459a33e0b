#!/usr/bin/env bash
# End-to-end speed and memory of kerfo-cli against cp, side by side in one run.
#
#   bench/cli_bench.sh [path/to/kerfo-cli] [sizes in MiB...]
#
# For each size it makes one file of random bytes, then, RUNS times (default 3): copies
# it with cp, with cp followed by a sync of the copy (kerfo-cli syncs what it writes),
# encrypts a fresh copy with kerfo-cli and decrypts the result. Prints the median wall
# time, its ratio to cp, and the peak resident memory (/usr/bin/time -v) of each.
# Needs about 3.5 times the largest size free in WORK_DIR (default: a folder in /var/tmp,
# on disk rather than in memory). Not part of CI.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=${1:-$root/build/src/cli/kerfo-cli}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(256 1024)
runs=${RUNS:-3}

[ -x "$cli" ] || { echo "kerfo-cli not found at $cli (build it first)" >&2; exit 2; }
if [ ! -x /usr/bin/time ]; then
    echo "installing GNU time for peak-memory figures" >&2
    apt-get install -y time >/dev/null
fi

work=$(mktemp -d "${WORK_DIR:-/var/tmp}/kerfo-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
printf 'bench-password\n' > "$work/password"

# measure LABEL COMMAND...: runs the command under /usr/bin/time, appends "seconds kib"
# to $work/LABEL.
measure() {
    local label=$1
    shift
    /usr/bin/time -v -o "$work/time.out" "$@" >/dev/null
    local wall kib
    wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time.out")
    kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.out")
    echo "$wall $kib" >> "$work/$label"
}

# median FILE COLUMN: the median of one column.
median() {
    sort -g -k"$2","$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-8s %-22s %10s %8s %12s\n' size operation "wall (s)" "x cp" "peak RSS"
for mib in "${sizes[@]}"; do
    head -c "$((mib * 1024 * 1024))" /dev/urandom > "$work/source"
    rm -f "$work"/{cp,cpsync,encrypt,decrypt}
    for _ in $(seq "$runs"); do
        sync
        measure cp cp "$work/source" "$work/copy.txt"
        rm -f "$work/copy.txt"
        sync
        measure cpsync sh -c 'cp "$1" "$2" && sync "$2"' sh "$work/source" "$work/copy.txt"
        # The copy that kerfo-cli replaces is made outside the measurement.
        sync
        measure encrypt sh -c '"$1" encrypt --password-stdin "$2" < "$3"' sh \
            "$cli" "$work/copy.txt" "$work/password"
        sync
        measure decrypt sh -c '"$1" decrypt --password-stdin "$2" < "$3"' sh \
            "$cli" "$work/copy.kfo" "$work/password"
        cmp -s "$work/source" "$work/copy.txt" || { echo "round trip differs at $mib MiB" >&2; exit 1; }
        rm -f "$work/copy.txt"
    done
    cpWall=$(median "$work/cp" 1)
    for op in cp cpsync encrypt decrypt; do
        wall=$(median "$work/$op" 1)
        kib=$(median "$work/$op" 2)
        case $op in
            cp) name="cp" ;;
            cpsync) name="cp + sync" ;;
            *) name="kerfo-cli $op" ;;
        esac
        printf '%-8s %-22s %10.2f %8.2f %9.1f MiB\n' "${mib}M" "$name" "$wall" \
            "$(awk -v a="$wall" -v b="$cpWall" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
            "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')"
    done
done
