#!/usr/bin/env bash
# Starts or stops the demo inventory server in the background on
# 127.0.0.1:18080, the address of the sample config/ClientConfig.xml.
#
#   scripts/demo-server.sh start [SERVER OPTIONS...]   e.g. --relief-mode 2
#   scripts/demo-server.sh stop
#   scripts/demo-server.sh status
#
# The pid file and the log live in build/demo-server/ (TILLORA_DEMO_SERVER_DIR
# overrides it); TILLORA_DEMO_SERVER_PORT changes the port.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
server="$root/tools/tillora-demo-server/tillora-demo-server"
run_dir="${TILLORA_DEMO_SERVER_DIR:-$root/build/demo-server}"
port="${TILLORA_DEMO_SERVER_PORT:-18080}"
pid_file="$run_dir/demo-server.pid"
log_file="$run_dir/demo-server.log"

# The pid in the file, if that process is still our server (a pid left from
# an earlier run may have been handed to some other program since).
running_pid() {
  [[ -f "$pid_file" ]] || return 1
  local pid
  pid="$(cat "$pid_file")"
  [[ "$pid" =~ ^[0-9]+$ ]] || return 1
  tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'tillora-demo-server' || return 1
  echo "$pid"
}

start() {
  if pid="$(running_pid)"; then
    echo "demo server already running (pid $pid): $(grep -m1 'listening on' "$log_file" || true)"
    return 0
  fi
  mkdir -p "$run_dir"
  PYTHONDONTWRITEBYTECODE=1 nohup "$server" --port "$port" "$@" >"$log_file" 2>&1 </dev/null &
  local pid=$!
  echo "$pid" >"$pid_file"
  for _ in $(seq 200); do
    if grep -q 'listening on' "$log_file"; then
      echo "demo server started (pid $pid): $(grep -m1 'listening on' "$log_file")"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
      rm -f "$pid_file"
      echo "demo server did not start:" >&2
      cat "$log_file" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "demo server did not report its port within 20 seconds; see $log_file" >&2
  return 1
}

stop() {
  local pid
  if ! pid="$(running_pid)"; then
    rm -f "$pid_file"
    echo "demo server not running"
    return 0
  fi
  kill "$pid"
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
  fi
  rm -f "$pid_file"
  echo "demo server stopped (pid $pid)"
}

case "${1:-}" in
  start) shift; start "$@" ;;
  stop) stop ;;
  status)
    if pid="$(running_pid)"; then
      echo "running (pid $pid): $(grep -m1 'listening on' "$log_file" || true)"
    else
      echo "not running"
      exit 3
    fi
    ;;
  *) echo "usage: $0 start [server options...] | stop | status" >&2; exit 2 ;;
esac
