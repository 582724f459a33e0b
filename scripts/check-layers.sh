#!/usr/bin/env bash
# The core's dependencies point one way: platform <- cipher <- filejobs, settings <- cli,
# and the window model that both windows drive (window) sits on the same core; the
# user-visible texts (texts) stand apart, below whatever shows or prints them.
# A core source that includes Qt, or a header of a layer above its own (ui, or any folder
# not listed below), fails this check, so the core keeps building without Qt (MinGW, the
# command-line program) and a lower layer never learns about a higher one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
declare -A allowed=(
    [texts]="texts"
    [platform]="platform"
    [cipher]="platform cipher"
    [filejobs]="texts platform cipher filejobs"
    [settings]="texts platform cipher settings"
    [cli]="texts platform cipher filejobs settings cli"
    [window]="texts platform cipher filejobs settings window"
)
status=0
for layer in "${!allowed[@]}"; do
    while IFS= read -r file; do
        [ -n "$file" ] || continue
        while IFS=: read -r line text; do
            if [[ $text =~ \#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*|q[a-z_]*\.h)[/\>] ]]; then
                echo "$file:$line: Qt in the core: $text"
                status=1
            elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
                target=${BASH_REMATCH[1]}
                if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
                    echo "$file:$line: $layer includes $target: $text"
                    status=1
                fi
            fi
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$root/$file" || true)
    done < <(cd "$root" && git ls-files "src/$layer/*.cpp" "src/$layer/*.h")
    # Nor may the layer's build link Qt.
    if grep -nE 'Qt[0-9]*::' "$root/src/$layer/CMakeLists.txt"; then
        echo "src/$layer/CMakeLists.txt: links Qt"
        status=1
    fi
done
[ $status -eq 0 ] && echo "layers: the core includes no Qt and no layer above it"
exit $status
