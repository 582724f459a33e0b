#!/usr/bin/env bash
# Builds everything (benchmarks too) with warnings as errors and runs every test, stage by
# stage (the table below); CI runs exactly this (.ci/run). At the end it prints one line per
# stage with its time, also when a stage failed: then the stages after it do not run. A
# stage that cannot run on this machine says why and exits 77; the others still run.
# The stage functions are called through the table below (eval), which shellcheck cannot see.
# shellcheck disable=SC2317
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-test"
cd "$root"

# No test may write into a tracked file: what the checkout holds before the run must be
# what it holds after. (docs/reliability.md is still written by the reliability report.)
tracked() {
    git -C "$root" rev-parse -q --verify HEAD >/dev/null 2>&1 || return 0
    git -C "$root" diff --no-ext-diff HEAD -- . ':(exclude)docs/reliability.md' | sha1sum
}
before=$(tracked)

build_all() {
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKERFO_WERROR=ON >/dev/null
    cmake --build "$build" -j"$(nproc)"
}
unit_and_window_tests() {
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
}
checkout_unchanged() {
    [ "$(tracked)" = "$before" ] && return 0
    echo "The tests changed tracked files:" >&2
    git -C "$root" status --short --untracked-files=no >&2
    return 1
}

# One row per stage, in order: its name, then the command it runs from the checkout.
stages=(
    "packages|scripts/deps.sh test"
    "layers and format|scripts/check-layers.sh && scripts/check-format.sh"
    "build|build_all"
    # unit, window, end-to-end (Xvfb), packaging and the fault matrix
    "unit and window tests|unit_and_window_tests"
    # Kerfo-Encrypt in Thunar, Nemo, Caja, GNOME Files and Dolphin with the built .deb
    # installed; as root only, since it installs them.
    "file managers|bash tests/e2e/file_managers/run.sh \"\$build\""
    "static checks|scripts/static-checks.sh"
    # the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
    "sanitizers|scripts/sanitize.sh"
    "fuzzing|scripts/fuzz.sh 10"
    # MinGW-w64 builds of the core, kerfo-cli and kerfo.exe, their tests under Wine
    "Windows lane|bash .ci/windows"
    "checkout unchanged|checkout_unchanged"
)

summary=()
status=0
for row in "${stages[@]}"; do
    name=${row%%|*}
    if [ "$status" -ne 0 ]; then
        summary+=("$(printf '%-22s %7s  not run' "$name" -)")
        continue
    fi
    echo "=== $name"
    started=$SECONDS
    (set -e; eval "${row#*|}")
    status=$?
    took=$((SECONDS - started))
    case $status in
        0) verdict=ok ;;
        77) verdict="skipped (why: above)" status=0 ;;
        *) verdict="FAILED (exit $status)" ;;
    esac
    summary+=("$(printf '%-22s %4d:%02d  %s' "$name" $((took / 60)) $((took % 60)) "$verdict")")
done

echo
echo "=== stages (min:s)"
printf '%s\n' "${summary[@]}"
exit "$status"
