#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given time over the seed corpus in
# tests/fuzz/corpus/<target> (found inputs go to <build>/corpus/<target>, never into the repo),
# and prints the executions and the rate per target (aim: 1,000 per second or more, which a
# loaded machine may not show). A crash stops with the input in <build>/artifacts: add it
# to the seed corpus as a regression case once it is fixed.
# Usage: run.sh [seconds per target] [build directory]
set -uo pipefail
seconds=${1:-60}
build=${2:-build/fuzz}
seeds=$(cd "$(dirname "$0")" && pwd)/corpus
status=0
mkdir -p "$build/artifacts"
# The simulated drives in memory where there is a tmpfs; a smaller quarantine for freed memory,
# of which only the stand-in has any (the product allocates nothing), saves most of the page
# faults. ASAN_OPTIONS given by the caller come after, and win.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS="quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
for binary in "$build"/fuzz_*; do
  target=${binary##*/fuzz_}
  mkdir -p "$build/corpus/$target"
  log="$build/$target.log"
  # Setup-list values end at 149 characters: a kilobyte holds several steps and every trap. An
  # installer's markers lie as far as its last 16 KiB.
  maxlen=1024
  if [ "$target" = installer ]; then maxlen=20480; fi
  if "$binary" -max_total_time="$seconds" -timeout=20 -max_len="$maxlen" -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$build/corpus/$target" "$seeds/$target" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    slow=""
    if [ -n "$rate" ] && [ "$rate" -lt 1000 ]; then slow=", below 1000/s"; fi
    echo "fuzz $target: ${runs:-?} executions in ${seconds} s (${rate:-?}/s${slow}), no crash"
  else
    echo "fuzz $target: FAILED (log $log)"
    grep -E 'ERROR|check failed|SUMMARY|Test unit written' "$log" | head -20
    status=1
  fi
done
exit $status
