#!/usr/bin/env bash
# clang-tidy (checks and reasons in .clang-tidy) and cppcheck on src/, from the compile
# commands of a plain build (build-static). Fails when either reports a finding that is
# not explained where it is silenced (NOLINT / cppcheck-suppress with a reason beside it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${KERFO_STATIC_BUILD:-$root/build-static}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DKERFO_BUILD_TESTS=OFF \
    -DKERFO_BUILD_BENCH=OFF -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# The window's generated sources (moc) must exist for its files to be analysed.
cmake --build "$build" -j"$(nproc)" --target kerfo_ui_autogen >/dev/null 2>&1 || true
mapfile -t sources < <(cd "$root" && git ls-files 'src/*.cpp' | grep -v '_win\.cpp$\|win_store\.cpp$\|^src/win32/')

status=0
echo "clang-tidy: ${#sources[@]} files"
tidy_out=$(cd "$root" && printf '%s\n' "${sources[@]}" |
    xargs -P "$(nproc)" -n 4 clang-tidy-14 -p "$build" --quiet 2>/dev/null || true)
# Reports located in system headers are left out (see .clang-tidy for why).
findings=$(grep -E '^/.*: (warning|error):' <<<"$tidy_out" | grep -v '^/usr/' | sort -u || true)
if [ -n "$findings" ]; then
    echo "$findings"
    echo "clang-tidy: $(wc -l <<<"$findings") finding(s)" >&2
    status=1
else
    echo "clang-tidy: no findings"
fi

echo "cppcheck"
# cppcheck gets the compile commands of src/ only (not the generated moc files).
python3 - "$build" "$root" <<'PY'
import json, sys
build, root = sys.argv[1], sys.argv[2]
commands = json.load(open(f"{build}/compile_commands.json"))
keep = [c for c in commands if c["file"].startswith(f"{root}/src/")
        and not c["file"].startswith(f"{root}/src/win32/")
        and not c["file"].endswith(("_win.cpp", "win_store.cpp"))]
json.dump(keep, open(f"{build}/cppcheck_commands.json", "w"))
PY
if ! cppcheck --project="$build/cppcheck_commands.json" --enable=warning,performance,portability \
        --std=c++20 --inline-suppr --error-exitcode=1 --quiet -j"$(nproc)" \
        --suppress=missingIncludeSystem --suppress='*:/usr/*' 2>&1; then
    status=1
else
    echo "cppcheck: no findings"
fi
exit $status
