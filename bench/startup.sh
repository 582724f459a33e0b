#!/usr/bin/env bash
# Start-up benchmark: `kerfo` on a plain file, from launch to its first shown window and
# out again, against bench/startup_baseline (two line edits, four buttons), both on the
# offscreen platform, runs interleaved in one go. Prints both medians and their ratio;
# fails when the ratio is above the limit.
#   bench/startup.sh [build-dir] [runs]   (default: build, 40 runs each)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-40}
limit=1.3
kerfo="$build/src/ui/kerfo"
baseline="$build/bench/startup_baseline"
for program in "$kerfo" "$baseline"; do
    [ -x "$program" ] || { echo "missing $program: build the targets kerfo and startup_baseline first" >&2; exit 2; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -m 700 "$tmp/run"
printf 'Dear diary,\r\n' >"$tmp/notes.txt"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp" XDG_CONFIG_HOME="$tmp/config"
# Only the benchmark sets this: each program ends right after its window is shown.
export KERFO_EXIT_AFTER_SHOW=1

# Milliseconds, to the microsecond, of one run of "$@".
time_one() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.3f\n", ns / 1000000 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Warm the caches (libraries, fonts) for both before measuring.
for _ in 1 2 3; do
    time_one "$kerfo" "$tmp/notes.txt" >/dev/null
    time_one "$baseline" >/dev/null
done
: >"$tmp/kerfo.ms"
: >"$tmp/baseline.ms"
for _ in $(seq "$runs"); do
    time_one "$kerfo" "$tmp/notes.txt" >>"$tmp/kerfo.ms"
    time_one "$baseline" >>"$tmp/baseline.ms"
done
[ -e "$tmp/notes.txt" ] || { echo "kerfo changed its file: the benchmark is broken" >&2; exit 2; }

kerfo_ms=$(median <"$tmp/kerfo.ms")
baseline_ms=$(median <"$tmp/baseline.ms")
ratio=$(awk -v a="$kerfo_ms" -v b="$baseline_ms" 'BEGIN { printf "%.3f", a / b }')
printf 'start-up to first shown window, median of %d runs each (offscreen):\n' "$runs"
printf '  kerfo            %8.2f ms\n' "$kerfo_ms"
printf '  minimal Qt app   %8.2f ms\n' "$baseline_ms"
printf '  ratio            %8.3f (limit %s)\n' "$ratio" "$limit"
if awk -v r="$ratio" -v l="$limit" 'BEGIN { exit !(r > l) }'; then
    echo "start-up is slower than the limit allows" >&2
    exit 1
fi
