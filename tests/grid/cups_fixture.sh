#!/usr/bin/env bash
# A private CUPS scheduler for the print tests, so they never touch (or need)
# the machine's own cupsd: everything lives in one folder, the scheduler
# listens only on a domain socket there, and its one queue is a cups-pdf
# printer writing into that folder. The scheduler keeps every document it
# accepted in DIR/spool (d<job>-001), so tests can read exactly what was sent.
#
#   cups_fixture.sh start DIR QUEUE   prints the socket path (for CUPS_SERVER)
#   cups_fixture.sh stop DIR          stops that scheduler and removes DIR
#
# cups-pdf reads its settings only from /etc/cups, as cups-pdf-<instance>.conf
# for a device URI "cups-pdf:/<instance>"; the instance name is unique to DIR
# and the file is removed again by "stop".
set -euo pipefail

die() { echo "cups_fixture: $*" >&2; exit 1; }

instance_of() { echo "tillora$(printf '%s' "$1" | md5sum | cut -c1-12)"; }

# Polls instead of sleeping a fixed time: true as soon as the command succeeds.
wait_for() {
  local tries=$1; shift
  for ((i = 0; i < tries; i++)); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

write_configs() {
  local dir=$1
  cat >"$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/log/error_log
Printcap $dir/printcap
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
FileDevice No
CONF
  cat >"$dir/etc/cupsd.conf" <<CONF
LogLevel info
Listen $dir/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
MaxJobs 0
PreserveJobHistory Yes
PreserveJobFiles Yes
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
CONF
}

# Exited, or a zombie waiting for a parent that does not reap (the scheduler
# was left to the init process when "start" returned).
gone() { [[ ! -e /proc/$1 ]] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat" 2>/dev/null; }

scheduler_running() { lpstat -r 2>/dev/null | grep -qx "scheduler is running"; }

start() {
  local dir=$1 queue=$2
  [[ $EUID -eq 0 ]] || die "must run as root (cups-pdf reads /etc/cups)"
  command -v cupsd >/dev/null || die "cupsd is not installed"
  mkdir -p "$dir"/{etc,spool,cache,state,tmp,log,out}
  # Filters run as the unprivileged "lp" user and must reach the spool.
  chmod 0755 "$dir" "$dir/out"
  chmod 1777 "$dir/tmp"
  write_configs "$dir"
  local instance; instance=$(instance_of "$dir")
  printf 'Out %s\nAnonDirName %s\nLabel 0\nUserUMask 0022\nGrp root\n' \
    "$dir/out" "$dir/out" >"/etc/cups/cups-pdf-$instance.conf"
  /usr/sbin/cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
    </dev/null >>"$dir/log/cupsd.out" 2>&1 &
  echo $! >"$dir/fixture.pid"
  export CUPS_SERVER="$dir/cups.sock"
  wait_for 100 scheduler_running || die "cupsd did not start (see $dir/log)"
  # The pdftocairo renderer keeps the text as text (Ghostscript, the default,
  # turns it into outlines), so tests can read the printed PDF back.
  lpadmin -p "$queue" -E -v "cups-pdf:/$instance" \
    -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd \
    -o pdftops-renderer-default=pdftocairo 2>>"$dir/log/lpadmin.out" || die "lpadmin failed"
  lpadmin -d "$queue" 2>>"$dir/log/lpadmin.out" || die "lpadmin -d failed"
  wait_for 100 lpstat -a "$queue" || die "queue $queue is not accepting"
  echo "$dir/cups.sock"
}

stop() {
  local dir=$1
  [[ -d $dir ]] || return 0
  if [[ -f $dir/fixture.pid ]]; then
    local pid; pid=$(cat "$dir/fixture.pid")
    if kill "$pid" 2>/dev/null; then
      wait_for 100 gone "$pid" || kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "/etc/cups/cups-pdf-$(instance_of "$dir").conf"
  rm -rf "$dir"
}

case "${1:-}" in
  start) [[ $# -eq 3 ]] || die "usage: $0 start DIR QUEUE"; start "$2" "$3" ;;
  stop) [[ $# -eq 2 ]] || die "usage: $0 stop DIR"; stop "$2" ;;
  *) die "usage: $0 start DIR QUEUE | stop DIR" ;;
esac
