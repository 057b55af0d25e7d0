#!/usr/bin/env bash
# scripts/fuzz.sh TARGET SECONDS: runs one fuzz target on a copy of its seed corpus.
# TARGET is the name without its prefix (tiff for fuzz_tiff). BUILD_DIR picks the fuzz build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
seconds=${2:-60}
build=${BUILD_DIR:-$root/build-fuzz}
if [ ! -f "$build/build.ninja" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVEL_FUZZ=ON -DORVEL_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target "fuzz_$target" >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/fuzz/corpus/$target/." "$work/" 2>/dev/null || true
"$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 -timeout=10 \
  -rss_limit_mb=2048 "$work" "$root/fuzz/corpus/$target" 2>&1 | tail -n 12
