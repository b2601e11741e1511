#!/usr/bin/env bash
# Builds with optimisation and runs every benchmark program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build-bench -DCMAKE_BUILD_TYPE=Release -DTILLORA_BENCH=ON
for program in "$root"/build-bench/bench/*/bench_*; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" "$@"
done
