#!/usr/bin/env bash
# Builds (if needed) and runs every benchmark program, then prints one line per comparison:
#   ratio <task> vs <peer>: <our time / peer time>   (below 1.00: we are faster)
# Benchmarks are named "<task>/<implementation>", where our implementation is "orvel".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEL_BENCH=ON >/dev/null
fi
cmake --build "$build" >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for program in "$build"/bench/bench_*; do
  [ -x "$program" ] || continue
  name=$(basename "$program")
  echo "== $name"
  "$program" --benchmark_out="$out/$name.json" --benchmark_out_format=json ${BENCH_ARGS:-}
done
echo
python3 "$root/bench/ratios.py" "$out"/*.json
echo
echo "== batch_files (orvel meta -r against exiftool -r -j and exiv2 -pa)"
/usr/bin/python3 "$root/bench/batch_files.py" "$build"
