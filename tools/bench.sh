#!/usr/bin/env bash
# The benchmarks: builds the native preset, runs the microbenchmarks of the pixel loops and the
# whole runs through the in-process host (1024 x 1024 to 6000 x 4000, every depth, RGB and RGBA,
# one thread and all), and writes the figures as a Markdown table and as JSON. Takes several
# minutes; a quiet machine gives steadier figures.
#   bash tools/bench.sh [OUTPUT_DIRECTORY]        default: bench-results
#   VELORUND_BENCH_FILTER=REGEX bash tools/bench.sh   only the benchmarks whose names match
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-bench-results}
bash tools/setup.sh native
cmake --build --preset native --target velorund_bench
mkdir -p "$out"
build/native/bench/velorund_bench --benchmark_filter="${VELORUND_BENCH_FILTER:-.}" \
  --benchmark_out="$out/benchmarks-raw.json" --benchmark_out_format=json
python3 tools/bench_report.py "$out/benchmarks-raw.json" "$out/benchmarks.json" "$out/benchmarks.md"
