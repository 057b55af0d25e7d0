#!/usr/bin/env bash
# Builds the library and the orvel tool (installing build dependencies first when run as
# root), then prints the metadata of the bundled example photo as JSON.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEL_TESTS=OFF >/dev/null
cmake --build "$build" --target orvel >/dev/null
"$build/tools/orvel/orvel" meta "$root/examples/photo.jpg"
