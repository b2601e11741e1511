#!/usr/bin/env bash
# Installs what is missing, builds, and runs the core's command-line driver on
# a sample request (the core's test reply).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build -DTILLORA_WERROR=ON
workdir="$root/build/demo"
"$root/scripts/make-workdir.sh" "$root/build" "$workdir"
echo '<FUNCTION><Head><MainID>0</MainID><SubID>0</SubID><RetID></RetID></Head></FUNCTION>' |
  "$root/build/bin/pexlunectl" --workdir "$workdir"
