#!/usr/bin/env bash
# A private CUPS daemon for tests and the demo: its own configuration, spool, state and logs under DIR,
# reached only through the socket DIR/run/cups.sock (no TCP port), so the machine's own CUPS setup (if
# any) is neither read nor changed. Clients find it through CUPS_SERVER=DIR/run/cups.sock.
#   scripts/spooler.sh start DIR   start the daemon (pid in DIR/daemon.pid) and wait until it answers
#   scripts/spooler.sh stop DIR    cancel its jobs, stop it by its pid, remove DIR
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action=$1
dir=$(mkdir -p "$2" && cd "$2" && pwd)
export CUPS_SERVER="$dir/run/cups.sock"

write_config() {
  mkdir -p "$dir"/{etc/ppd,spool/tmp,cache,state,log,run}
  # Only root may reach the socket: this daemon accepts administration without authentication.
  chmod 0700 "$dir/run"
  # The backends run as lp and read the spooled files, as in CUPS's own layout.
  chmod 0711 "$dir"
  chgrp lp "$dir/spool" "$dir/spool/tmp" && chmod 0710 "$dir/spool" && chmod 1770 "$dir/spool/tmp"
  cat >"$dir/etc/cups-files.conf" <<CONF
ServerRoot $dir/etc
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
User lp
Group lp
SystemGroup root
FileDevice No
CONF
  cat >"$dir/etc/cupsd.conf" <<CONF
LogLevel warn
Listen $dir/run/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
JobRetryInterval 2
PreserveJobHistory Yes
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

case "$action" in
  start)
    if [ -f "$dir/daemon.pid" ] && kill -0 "$(cat "$dir/daemon.pid")" 2>/dev/null; then
      echo "spooler: already running in $dir" >&2; exit 1
    fi
    write_config
    # -f keeps the daemon in the foreground of the background job, so $! is the daemon's own pid.
    /usr/sbin/cupsd -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" </dev/null >>"$dir/log/stdout" 2>&1 &
    echo $! >"$dir/daemon.pid"
    for _ in $(seq 100); do
      lpstat -r 2>/dev/null | grep -q '^scheduler is running' && exit 0
      kill -0 "$(cat "$dir/daemon.pid")" 2>/dev/null || break
      sleep 0.1
    done
    echo "spooler: cupsd did not come up; see $dir/log" >&2
    cat "$dir/log/error_log" "$dir/log/stdout" >&2 2>/dev/null || true
    exit 1
    ;;
  stop)
    if [ -f "$dir/daemon.pid" ]; then
      pid=$(cat "$dir/daemon.pid")
      cancel -a >/dev/null 2>&1 || true
      if kill "$pid" 2>/dev/null; then
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
      fi
    fi
    rm -rf "$dir"
    ;;
  *) usage ;;
esac
