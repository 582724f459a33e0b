#!/usr/bin/env bash
# Builds everything (benchmarks too) with warnings as errors and runs every test: the
# layering and format checks, the whole suite, the file-manager test, clang-tidy and
# cppcheck, the same suite under the sanitizers, a short run of each fuzz target, and the
# Windows lane (MinGW-w64 builds run under Wine). CI runs exactly this.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/check-layers.sh"
"$root/scripts/check-format.sh"
# No test may write into a tracked file: what the checkout holds before the run must be
# what it holds after. (docs/reliability.md is still written by the reliability report.)
tracked() {
    git -C "$root" rev-parse -q --verify HEAD >/dev/null 2>&1 || return 0
    git -C "$root" diff --no-ext-diff HEAD -- . ':(exclude)docs/reliability.md' | sha1sum
}
before=$(tracked)
build="$root/build-test"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_WERROR=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
# Kerfo-Encrypt in Thunar, Nemo, Caja, GNOME Files and Dolphin, driven from the keyboard
# with the built .deb installed; as root only, since it installs them.
bash "$root/tests/e2e/file_managers/run.sh" "$build"
"$root/scripts/static-checks.sh"
# The same tests under AddressSanitizer + UndefinedBehaviorSanitizer, then each fuzz
# target for ten seconds.
"$root/scripts/sanitize.sh"
"$root/scripts/fuzz.sh" 10
bash "$root/.ci/windows"
if [ "$(tracked)" != "$before" ]; then
    echo "The tests changed tracked files:" >&2
    git -C "$root" status --short --untracked-files=no >&2
    exit 1
fi
