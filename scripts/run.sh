#!/usr/bin/env bash
# Builds kerfo and kerfo-cli (no tests, no benchmarks) and starts the window on FILE, as
# the file manager's entry does. Installs only what that needs (scripts/deps.sh run).
#   run.sh [FILE]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-run"
options=(-DCMAKE_BUILD_TYPE=Release -DKERFO_BUILD_TESTS=OFF -DKERFO_BUILD_BENCH=OFF)
"$root/scripts/deps.sh" run
# Configure only for a new folder or new options: the build itself configures again when
# a CMakeLists.txt changed, and skipping it keeps a second start within a few seconds.
if [ ! -f "$build/CMakeCache.txt" ] || [ "$(cat "$build/run-options" 2>/dev/null)" != "${options[*]}" ]; then
    cmake -S "$root" -B "$build" "${options[@]}" >/dev/null
    echo "${options[*]}" >"$build/run-options"
fi
cmake --build "$build" -j"$(nproc)" --target kerfo kerfo-cli
exec "$build/src/ui/kerfo" "$@"
