#!/usr/bin/env bash
# The tests: builds every preset and runs its tests. The sanitize preset runs the native tests
# again under the address and undefined-behaviour sanitizers, so memory faults and leaks fail;
# the web preset's tests run the page in headless Chromium against the native preset's tool.
# Then each fuzzer replays its seeds and makes a fixed number of executions from a fixed random
# seed rather than running for a time from a random one (new findings are for exploring,
# tools/fuzz.sh SECONDS, not for an unrelated change), and the command-line tool takes the
# largest shapes the host's rectangles allow and a sweep of memory limits. Each test preset runs
# two tests at a time (CMakePresets.json). Prints the time of each step, the builds apart from
# the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=(native sanitize windows web)
times=()
build_seconds=0
test_seconds=0

# Runs a step and notes its wall time under KIND (build or test).
# Usage: step KIND NAME COMMAND...
step() {
  local kind=$1 name=$2 start=$SECONDS
  shift 2
  "$@"
  local took=$((SECONDS - start))
  times+=("$(printf '%-5s %-18s %4d s' "$kind" "$name" "$took")")
  if [ "$kind" = build ]; then build_seconds=$((build_seconds + took)); else test_seconds=$((test_seconds + took)); fi
}

step build configure bash tools/setup.sh "${presets[@]}" fuzz
for preset in "${presets[@]}" fuzz; do
  step build "$preset" cmake --build --preset "$preset"
done
for preset in "${presets[@]}"; do
  step test "$preset" ctest --preset "$preset"
done
step test "fuzz replay" bash tools/fuzz.sh --replay
step test extremes bash tools/extremes.sh --ci

printf '%s\n' "${times[@]}"
echo "builds $build_seconds s, tests $test_seconds s"
