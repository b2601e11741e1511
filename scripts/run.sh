#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo inventory server and runs
# a short counter session through the core's command-line driver: the test
# reply, the cashier's and the café's logins, binding the bar, a catalogue
# synchronisation and the catalogue the counter shows (tools/demo/).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" build -DTILLORA_WERROR=ON
workdir="$root/build/demo"
rm -rf "$workdir"
"$root/scripts/make-workdir.sh" "$root/build" "$workdir"
"$root/scripts/demo-server.sh" start >/dev/null
trap '"$root/scripts/demo-server.sh" stop >/dev/null' EXIT
"$root/build/bin/pexlunectl" --workdir "$workdir" <"$root/tools/demo/counter-session.txt"
