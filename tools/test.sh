#!/usr/bin/env bash
# The tests: builds every preset and runs its tests. The sanitize preset runs the native tests
# again under the address and undefined-behaviour sanitizers, so memory faults and leaks fail;
# the web preset's tests run the page in headless Chromium against the native preset's tool.
# Then each fuzzer replays its seeds and makes a fixed number of executions from a fixed random
# seed rather than running for a time from a random one (new findings are for exploring,
# tools/fuzz.sh SECONDS, not for an unrelated change), and the command-line tool takes the
# largest shapes the host's rectangles allow and a sweep of memory limits.
set -euo pipefail
cd "$(dirname "$0")/.."
presets=(native sanitize windows web)
bash tools/setup.sh "${presets[@]}"
for preset in "${presets[@]}"; do
  cmake --build --preset "$preset"
done
for preset in "${presets[@]}"; do
  ctest --preset "$preset"
done
bash tools/fuzz.sh --replay
bash tools/extremes.sh --ci
