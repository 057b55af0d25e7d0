#!/usr/bin/env bash
# The whole test suite: Release build (benchmarks included, not run) with its tests; a clang
# ASan+UBSan build with the same tests; then every fuzz target on its seed corpus, FUZZ_SECONDS
# each (by default, each target's share of a four-minute stage run one target per core). Build
# trees live in build-test/ (BUILD_ROOT overrides).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${BUILD_ROOT:-$root/build-test}
fuzz_stage_seconds=${FUZZ_STAGE_SECONDS:-240}
jobs=$(nproc)

stage_start=0
begin() { stage_start=$(date +%s); echo; echo "==== $1"; }
finish() { echo "==== $1 took $(( $(date +%s) - stage_start ))s"; }

begin "dependencies"
bash "$root/scripts/deps.sh"
finish "dependencies"

begin "release build"
cmake -S "$root" -B "$out/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVEL_BENCH=ON -DORVEL_WERROR=ON >/dev/null
cmake --build "$out/release"
finish "release build"

# Every skipped test is listed with its reason, and a skip fails the run: CI runs as root with
# every dependency installed, so nothing has a reason to skip there (ORVEL_ALLOW_SKIPS=1 lets a
# run without root finish).
report_skips() {
  python3 "$root/scripts/list-skipped.py" "$1" || [ "${ORVEL_ALLOW_SKIPS:-0}" = 1 ]
}

begin "release tests"
ctest --test-dir "$out/release" --output-on-failure -j "$jobs" --output-junit "$out/release-tests.xml"
report_skips "$out/release-tests.xml"
finish "release tests"

# One clang tree serves both the sanitizer run and the fuzz targets: every object carries
# ASan, UBSan and coverage instrumentation. Line tables are all a sanitizer's stack trace
# needs, and they build faster than full debug information.
begin "sanitizer build"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$out/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -gline-tables-only -DNDEBUG" \
  -DORVEL_SANITIZE=ON -DORVEL_FUZZ=ON -DORVEL_WERROR=ON >/dev/null
cmake --build "$out/asan"
finish "sanitizer build"

begin "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$out/asan" --output-on-failure -j "$jobs" -E '^(installed_consumer)$' \
  --output-junit "$out/asan-tests.xml"
report_skips "$out/asan-tests.xml"
finish "sanitizer tests"

targets=("$out"/asan/fuzz/fuzz_*)
default_seconds=$(( fuzz_stage_seconds * jobs / ${#targets[@]} ))
fuzz_seconds=${FUZZ_SECONDS:-$(( default_seconds < 5 ? 5 : default_seconds ))}
begin "fuzzing (${#targets[@]} targets, ${fuzz_seconds}s each)"
failed=0
run_target() {
  local program=$1 name=${1##*/fuzz_}
  local work log seeds=()
  work=$(mktemp -d) log=$(mktemp)
  [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
  if "$program" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       "$work" "${seeds[@]}" >"$log" 2>&1; then
    echo "fuzz_$name: ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs)"
  else
    echo "fuzz_$name: FAILED"; tail -n 40 "$log"; return 1
  fi
  rm -rf "$work" "$log"
}
pids=()
for program in "${targets[@]}"; do
  [ -x "$program" ] || continue
  run_target "$program" & pids+=($!)
  # Two at a time: one per core.
  if [ ${#pids[@]} -ge "$jobs" ]; then wait "${pids[0]}" || failed=1; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
finish "fuzzing"
[ "$failed" -eq 0 ] || { echo "fuzzing found a failure"; exit 1; }
echo
echo "all stages passed"
