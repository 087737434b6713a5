#!/usr/bin/env bash
# Fuzzing: builds the fuzz preset and runs each fuzzer on a fresh working corpus that starts
# from its committed seeds (tests/fuzz/corpus/NAME), so the seeds, with the regression cases
# among them, run first. Two ways:
#   bash tools/fuzz.sh --replay   # what the tests run: the seeds, then a fixed number of
#                                 # executions from a fixed random seed, not a time budget
#   bash tools/fuzz.sh 3600       # exploring: an hour each from a random seed
# Findings go to build/fuzz/runs/findings/ (each belongs in the corpus, with a regression test);
# the figures (executions, seconds, coverage) to build/fuzz/runs/summary.txt. Exits 1 on any
# finding.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-60}
bash tools/setup.sh fuzz
cmake --build --preset fuzz

runs=build/fuzz/runs
mkdir -p "$runs/findings"
summary=$runs/summary.txt
status=0
# The file fuzzer's memory limit makes a small file that lies about its size a finding: a
# truncated or lying file must fail in a few megabytes.
declare -A options=(
  [host]="-max_len=256 -timeout=60 -rss_limit_mb=2048"
  [file]="-max_len=65536 -timeout=10 -rss_limit_mb=1024 -malloc_limit_mb=256 -dict=tests/fuzz/file.dict"
)
# Executions of the replay, seeds included: a minute or so each on this machine. The fuzzers
# count stack depth as coverage, which address-space randomisation moves: the replay runs
# without it where the system allows, so that at least the seeds' coverage and the first
# mutations repeat exactly (later ones still drift a little from run to run).
declare -A replay_runs=([host]=1500 [file]=300000)
fixed=()
if [ "$mode" = --replay ] && setarch "$(uname -m)" -R true 2> /dev/null; then fixed=(setarch "$(uname -m)" -R); fi
# One fuzzer's run; its figures go to $runs/NAME.summary. Fails on a finding.
fuzz_one() {
  local name=$1 corpus=$runs/corpus-$1 log=$runs/$1.log budget start seconds execs cov seeds status=0
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if [ "$mode" = --replay ]; then
    budget="-seed=1 -runs=${replay_runs[$name]}"
  else
    budget="-max_total_time=$mode"
  fi
  start=$(date +%s)
  # shellcheck disable=SC2086
  if ! "${fixed[@]}" "build/fuzz/tests/fuzz/velorund_${name}_fuzzer" ${options[$name]} $budget \
      -print_final_stats=1 -artifact_prefix="$runs/findings/$name-" "$corpus" "tests/fuzz/corpus/$name" \
      > "$log" 2>&1; then
    status=1
    echo "$name fuzzer: FINDING, see $log and $runs/findings/"
    grep -E "ERROR|SUMMARY|runtime error" "$log" | head -5 || true
  fi
  seconds=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -E '^#[0-9]+' "$log" | tail -1 | sed -E 's/.*cov: ([0-9]+) ft: ([0-9]+).*/\1 \2/')
  seeds=$(find "tests/fuzz/corpus/$name" -type f | wc -l)
  echo "$name fuzzer: ${execs:-0} executions in $seconds s, ${cov% *} edges and ${cov#* } features covered, $seeds seeds" \
    > "$runs/$name.summary"
  return $status
}

# The two fuzzers run side by side, one on each core.
pids=()
for name in host file; do
  fuzz_one "$name" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid" || status=1
done
cat "$runs/host.summary" "$runs/file.summary" | tee "$summary"
exit $status
