#!/usr/bin/env bash
# AddressSanitizer + UndefinedBehaviorSanitizer build of everything, the window included
# (build-asan), and the whole test suite on it. Any sanitizer report fails the test that
# caused it (-fno-sanitize-recover=all, halt_on_error). Leaks that belong to system
# libraries the window loads are suppressed in scripts/lsan.supp, each with its reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KERFO_ASAN_BUILD:-$root/build-asan}"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_WERROR=ON \
    -DKERFO_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DKERFO_RELIABILITY_REPORT="$build/reliability.md" >/dev/null
cmake --build "$build" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
# strict_string_checks is left off: libxkbcommon-x11 strndup()s buffers that are not
# NUL-terminated, which that option reports although strndup reads no further than n.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
# The kill test's jobs run several times slower under the sanitizers; a smaller file
# still has each kill land in every phase of the job.
export KERFO_KILL_TEST_MIB="${KERFO_KILL_TEST_MIB:-32}"
# Likewise the exploration's: each stepped job starts with some hundred more calls of the
# sanitizers' own; every fifth call still stops each phase of the job several times.
export KERFO_EXPLORE_STRIDE="${KERFO_EXPLORE_STRIDE:-5}"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
