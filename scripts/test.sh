#!/usr/bin/env bash
# Builds everything (benchmarks too) with warnings as errors and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
# The same tests under AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz
# target for ten seconds.
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" 10
