#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a bounded time,
# two at a time, each over its own corpus that starts from the seeds. Every run's output
# is kept in build-fuzz/logs/<target>.log, or $KERFO_FUZZ_LOGS/<target>.log (the
# reliability report reads the executions count from there). Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] (default 10).
# Each target ends its log with how many inputs reached each of its outcomes; a run in which
# an outcome that means success was never reached fails, since the invariants on that branch
# were then never checked. Skips, with a message, where clang-14 is not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
if ! command -v clang++-14 >/dev/null; then
    echo "fuzz: clang++-14 not found; fuzz targets not run" >&2
    exit 0
fi
build="${KERFO_FUZZ_BUILD:-$root/build-fuzz}"
logs="${KERFO_FUZZ_LOGS:-$build/logs}"
targets=(decrypt_fuzz shrink_fuzz gate_fuzz settings_parser_fuzz split_key_path_fuzz)
# The outcomes each target must reach at least once, comma-separated.
declare -A must_reach=(
    [decrypt_fuzz]="decrypted"
    [shrink_fuzz]="shrunk"
    [gate_fuzz]="encrypt mode,decrypt mode"
    [settings_parser_fuzz]="parsed"
    [split_key_path_fuzz]="read back"
)
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKERFO_WERROR=ON -DKERFO_FUZZ=ON -DKERFO_BUILD_UI=OFF -DKERFO_BUILD_TESTS=OFF \
    -DKERFO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" kerfo_fuzz_seeds >/dev/null
mkdir -p "$logs"

run_one() {
    local build=$1 logs=$2 seconds=$3 target=$4 wanted=$5 corpus=${4%_fuzz}
    mkdir -p "$build/corpus/$corpus"
    if ! "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$logs/$target-" \
        "$build/corpus/$corpus" "$build/fuzz/seeds/$corpus" >"$logs/$target.log" 2>&1; then
        echo "fuzz: $target FAILED; see $logs/$target.log" >&2
        tail -n 40 "$logs/$target.log" >&2
        return 1
    fi
    local outcomes outcome count
    outcomes=$(grep -h '^outcomes:' "$logs/$target.log" | tail -n 1)
    if [ -z "$outcomes" ]; then
        echo "fuzz: $target printed no outcome counts; see $logs/$target.log" >&2
        return 1
    fi
    IFS=, read -ra wanted <<<"$wanted"
    for outcome in "${wanted[@]}"; do
        count=$(sed -n "s/.*[:,] $outcome \([0-9]*\).*/\1/p" <<<"$outcomes")
        if [ -z "$count" ] || [ "$count" -eq 0 ]; then
            echo "fuzz: $target never reached \"$outcome\" ($outcomes): its checks there never ran" >&2
            return 1
        fi
    done
    echo "fuzz: $target: $(grep -h 'stat::number_of_executed_units' "$logs/$target.log" | awk '{print $2}') runs in ${seconds}s, nothing found; $outcomes"
}
export -f run_one
for target in "${targets[@]}"; do
    printf '%s\0%s\0' "$target" "${must_reach[$target]}"
done | xargs -0 -n 2 -P 2 bash -c 'run_one "$0" "$1" "$2" "$3" "$4"' "$build" "$logs" "$seconds"
