#!/usr/bin/env bash
# make demo: the plug-in at work on this machine. It stands up a private CUPS daemon with one raw queue
# (the default printer) that feeds a TCP "printer" on 127.0.0.1, then drives the plug-in through
# nphost under Wine as a page would: identity, version, printers, hardware addresses, and a printed
# label whose received bytes are compared with the sent ones; then the same label from a page in
# headless Chromium, through the extension (its consent window answered) and tovi-bridge.exe, which
# Chromium starts as its native host. Everything it starts it stops, by pid,
# on every exit; nothing outside build/demo is changed.
# Expects the win32 and win64 builds (the Makefile's demo target makes them).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD
work=$root/build/demo
label=examples/label.zpl
queue=Label_Printer

nphost() { scripts/wine.sh build/win64/nphost.exe "$@"; }
winpath() { echo "Z:$(realpath "$1" | tr / '\\')"; }
if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold="" plain=""; fi
step() { printf '\n%s$ nphost %s%s\n' "$bold" "$*" "$plain"; }

printer_pid=""
cleanup() {
  set +e
  scripts/wine.sh --stop
  [ -n "$printer_pid" ] && kill "$printer_pid" 2>/dev/null && wait "$printer_pid" 2>/dev/null
  scripts/spooler.sh stop "$work/spooler"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for f in build/win32/nptovi32.dll build/win64/nptovi64.dll build/win64/nphost.exe build/win64/tovi-bridge.exe; do
  [ -f "$f" ] || { echo "demo: $f is missing; run make demo" >&2; exit 1; }
done
rm -rf "$work" && mkdir -p "$work"

echo "demo: a private CUPS daemon, raw queue $queue -> TCP printer on 127.0.0.1"
scripts/spooler.sh start "$work/spooler"
export CUPS_SERVER=$work/spooler/run/cups.sock
python3 scripts/tcp_printer.py --dir "$work/received" --port-file "$work/port" --lifetime 300 >/dev/null &
printer_pid=$!
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
lpadmin -p "$queue" -E -v "socket://127.0.0.1:$port" -m raw 2>/dev/null
lpadmin -d "$queue"
lpstat -p -d | sed 's/^/  /'

echo "demo: starting Wine (the first run on a new machine sets up build/wineprefix)"
scripts/wine.sh --persist
nphost --help >/dev/null 2>&1 </dev/null  # starts Wine's services with no pipe of ours to hold

step "--plugin build/win32/nptovi32.dll info     # the 32-bit DLL users install"
nphost --plugin "$(winpath build/win32/nptovi32.dll)" info
step "info                                       # nptovi64.dll, the 64-bit build, loaded"
nphost info
step version
nphost version
step printers
nphost printers
step macs
nphost macs
step "print $label"
nphost print "$(winpath "$label")"

echo
echo "demo: waiting for the printer on 127.0.0.1:$port to receive the job"
received=""
for _ in $(seq 300); do
  received=$(ls "$work/received"/job-*.bin 2>/dev/null | head -n1 || true)
  [ -n "$received" ] && break
  sleep 0.1
done
if [ -z "$received" ]; then
  echo "demo: nothing arrived within 30 s" >&2
  lpstat -W all -o >&2 || true
  exit 1
fi
echo "demo: the printer received $(stat -c %s "$received") bytes:"
sed 's/^/  | /' "$received"
if cmp -s "$label" "$received"; then
  echo "demo: identical to $label ($(stat -c %s "$label") bytes, sha256 $(sha256sum "$label" | cut -c1-16)...)"
else
  echo "demo: the received bytes differ from $label" >&2
  cmp "$label" "$received" >&2 || true
  exit 1
fi

echo
echo "demo: the same label from a web page in Chromium, through the extension and tovi-bridge.exe"
# Chromium starts the native host through this launcher: the bridge under this demo's Wine prefix,
# wineserver (found through TMPDIR) and spooler.
cat >"$work/tovi-bridge.sh" <<LAUNCHER
#!/bin/sh
export WINEPREFIX='${WINEPREFIX:-$root/build/wineprefix}' TMPDIR='${TMPDIR:-/tmp}' CUPS_SERVER='$CUPS_SERVER'
exec '$root/scripts/wine.sh' '$root/build/win64/tovi-bridge.exe' "\$@"
LAUNCHER
chmod +x "$work/tovi-bridge.sh"
node scripts/demo_browser.mjs "$work/browser" "$work/tovi-bridge.sh" "$label" "$work/received"

echo
if scripts/vm32/vm.sh cached; then
  echo "demo: the same DLL as users install it, run by 32-bit Wine in a virtual machine (a few minutes)"
  scripts/vm32/vm.sh demo
else
  echo "demo: to see the 32-bit DLL print in a 32-bit virtual machine as well, run make e2e32 once"
fi
