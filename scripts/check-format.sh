#!/usr/bin/env bash
# clang-format (.clang-format) on the C++ lines this branch adds or changes. The tree as a
# whole predates the check and does not pass it; formatting it at once would collide with
# every change in flight, so the check holds new code to the style and lets the old code
# follow as it is touched. The base is KERFO_FORMAT_BASE if set, else where the branch left
# main (origin/main in a fresh clone); on main itself there is nothing to compare.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
base=${KERFO_FORMAT_BASE:-}
if [ -z "$base" ]; then
    for candidate in main origin/main; do
        if git rev-parse -q --verify "$candidate^{commit}" >/dev/null; then
            base=$(git merge-base HEAD "$candidate")
            break
        fi
    done
    if [ "$base" = "$(git rev-parse HEAD)" ]; then
        base=
    fi
fi
if [ -z "$base" ]; then
    echo "clang-format: no branch point from main; nothing to check"
    exit 0
fi
# git clang-format --diff prints the reformatting it would do and exits 0 either way.
out=$(git clang-format-14 --binary clang-format-14 --extensions cpp,h,hpp,cc --diff "$base" --)
if grep -q '^diff --git' <<<"$out"; then
    echo "$out"
    echo "clang-format: the lines above differ from .clang-format (git clang-format-14 $base fixes them)" >&2
    exit 1
fi
echo "clang-format: changes since ${base:0:12} follow .clang-format"
