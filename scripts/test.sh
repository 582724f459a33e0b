#!/usr/bin/env bash
# Builds everything (benchmarks too) with warnings as errors and runs every test: the
# whole suite, the file-manager test, the same suite under the sanitizers, a short run
# of each fuzz target, and the Windows lane (MinGW-w64 builds run under Wine). CI runs
# exactly this.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
# Kerfo-Encrypt in Thunar, Nemo, Caja, GNOME Files and Dolphin, driven from the keyboard
# with the built .deb installed; as root only, since it installs them.
bash "$root/tests/e2e/file_managers/run.sh" "$build"
# The same tests under AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz
# target for ten seconds.
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" 10
bash "$root/.ci/windows"
