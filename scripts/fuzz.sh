#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for the given number of seconds, all
# at once, starting from the seed inputs in fuzz/corpus/<target>/.
# Usage: fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "$1" && pwd)"
seconds="$2"
status=0
pids=()
names=()
for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  work="$build/fuzz-work/$name"
  mkdir -p "$work/corpus"
  cp -n "$root/fuzz/corpus/$name/"* "$work/corpus/" 2>/dev/null || true
  ( cd "$work" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 corpus >"$work/log.txt" 2>&1 ) &
  pids+=($!)
  names+=("$name")
done
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    echo "fuzz: ${names[$i]} ran ${seconds}s without a finding"
  else
    echo "fuzz: ${names[$i]} found a fault:"
    tail -n 60 "$build/fuzz-work/${names[$i]}/log.txt"
    status=1
  fi
done
exit "$status"
