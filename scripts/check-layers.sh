#!/usr/bin/env bash
# The layers' dependencies point one way, and only where the build links them: a source
# under src/<layer> may include a header of another layer only when <layer>'s target links
# that layer's library (directly or through the libraries it links), read from the
# target_link_libraries calls in src/*/CMakeLists.txt. So the build is the one table; this
# check holds the includes to it. The core (every layer but ui and win32) also may not
# include or link Qt, so that it keeps building without Qt (MinGW, the command-line
# program).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Each layer's folder and the target its CMakeLists.txt builds.
declare -A target=(
    [texts]=kerfo_texts
    [platform]=kerfo_platform
    [cipher]=kerfo_cipher
    [filejobs]=kerfo_filejobs
    [settings]=kerfo_settings
    [window]=kerfo_window
    [cli]=kerfo-cli
    [ui]=kerfo_ui
    [win32]=kerfo
)
declare -A layer_of=()
for layer in "${!target[@]}"; do layer_of[${target[$layer]}]=$layer; done
core=(texts platform cipher filejobs settings window cli)

# The layers that `layer`'s target links directly: the kerfo libraries named in its
# target_link_libraries calls (a call may span lines).
direct() {
    local layer=$1 name
    tr '\n' ' ' <"$root/src/$layer/CMakeLists.txt" |
        grep -oE "target_link_libraries\(\s*${target[$layer]}\s[^)]*\)" |
        grep -oE 'kerfo[-_][A-Za-z0-9_]+' | while read -r name; do
            [ "$name" != "${target[$layer]}" ] && [ -n "${layer_of[$name]:-}" ] && echo "${layer_of[$name]}"
        done
    return 0
}

# `layer` and every layer its target reaches through what it links.
declare -A reach=()
reachable() {
    local layer=$1 seen=" $1 " next more
    local -a todo=("$1")
    while [ ${#todo[@]} -gt 0 ]; do
        next=${todo[0]}
        todo=("${todo[@]:1}")
        for more in $(direct "$next"); do
            if [[ $seen != *" $more "* ]]; then
                seen+="$more "
                todo+=("$more")
            fi
        done
    done
    echo "$seen"
}
for layer in "${!target[@]}"; do reach[$layer]=$(reachable "$layer"); done

status=0
for layer in "${!target[@]}"; do
    is_core=0
    [[ " ${core[*]} " == *" $layer "* ]] && is_core=1
    while IFS= read -r file; do
        [ -n "$file" ] || continue
        while IFS=: read -r line text; do
            if [ $is_core = 1 ] && [[ $text =~ \#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z]*|q[a-z_]*\.h)[/\>] ]]; then
                echo "$file:$line: Qt in the core: $text"
                status=1
            elif [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
                included=${BASH_REMATCH[1]}
                if [ -n "${target[$included]:-}" ] && [[ ${reach[$layer]} != *" $included "* ]]; then
                    echo "$file:$line: $layer includes $included, which ${target[$layer]} does not link: $text"
                    status=1
                fi
            fi
        done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$root/$file" || true)
    done < <(cd "$root" && git ls-files "src/$layer/*.cpp" "src/$layer/*.h")
    # Nor may a core layer's build link Qt.
    if [ $is_core = 1 ] && grep -nE 'Qt[0-9]*::' "$root/src/$layer/CMakeLists.txt"; then
        echo "src/$layer/CMakeLists.txt: links Qt"
        status=1
    fi
done
[ $status -eq 0 ] && echo "layers: every include is of a layer the build links; the core has no Qt"
exit $status
