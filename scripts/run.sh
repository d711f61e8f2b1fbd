#!/usr/bin/env bash
# Builds the viewer and starts it on the given cabinet, or on the bundled sample setup.
set -euo pipefail
# A cabinet named relative to where the command was typed stays that cabinet after the cd.
file=""
[ $# -gt 0 ] && file=$(realpath -m -- "$1")
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
[ -n "$file" ] || file=build/samples/Sample.cab
if [ -x build/app/tessary ]; then
  exec build/app/tessary "$file"
fi
exec build/tools/tessary-info "$file"
