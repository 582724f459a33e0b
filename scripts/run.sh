#!/usr/bin/env bash
# Builds Kerfo and starts it on FILE (the file manager's entry does the same).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)"
if [ -x "$root/build/src/ui/kerfo" ]; then
    exec "$root/build/src/ui/kerfo" "$@"
fi
exec "$root/build/src/cli/kerfo-cli" "$@"
