#!/usr/bin/env bash
# Installs the Debian 12 packages of one set, skipping those already present:
#   deps.sh run     what building and starting kerfo and kerfo-cli needs (packages/run.txt)
#   deps.sh test    that and what the tests need (packages/run.txt + packages/test.txt)
# Not root: prints the one command to run instead and fails. Any other set fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-}" in
    run) lists=(run) ;;
    test) lists=(run test) ;;
    *) echo "usage: deps.sh run|test" >&2; exit 2 ;;
esac
mapfile -t wanted < <(for list in "${lists[@]}"; do grep -hvE '^\s*(#|$)' "$here/packages/$list.txt"; done)
# One query for the whole set, so that the run command stays quick when all is there.
mapfile -t present < <(dpkg-query -W -f='${Package} ${Status}\n' "${wanted[@]}" 2>/dev/null |
    awk '$NF == "installed" && $(NF-1) == "ok" { sub(/:.*/, "", $1); print $1 }')
missing=()
for pkg in "${wanted[@]}"; do
    [[ " ${present[*]} " == *" $pkg "* ]] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "Kerfo needs these Debian packages; run:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
