# The guest's job for make demo (vm.sh demo): the 32-bit DLL, loaded by the 32-bit nphost, prints a
# label to a raw CUPS queue whose TCP printer keeps what it receives; the bytes are compared. The
# machine powers off afterwards, with whatever still runs.
set -eu
. /mnt/src/scripts/vm32/guest-setup.sh
work=/tmp/demo label=examples/label.zpl
scripts/spooler.sh start "$work/spooler"
export CUPS_SERVER=$work/spooler/run/cups.sock
python3 scripts/tcp_printer.py --dir "$work/received" --port-file "$work/port" --lifetime 600 >/dev/null &
for _ in $(seq 100); do [ -f "$work/port" ] && break; sleep 0.1; done
lpadmin -p Label_Printer -E -v "socket://127.0.0.1:$(cat "$work/port")" -m raw 2>/dev/null
lpadmin -d Label_Printer
nphost() { scripts/wine.sh build/win32/nphost.exe "$@"; }
scripts/wine.sh --persist
nphost --help >/dev/null 2>&1 </dev/null  # starts Wine's services
echo '$ nphost info                    # build/win32: nphost.exe and the nptovi32.dll users install'
nphost info | grep -E '^(machine|loaded|FileVersion|NP_GetMIMEDescription):'
echo "\$ nphost print $label"
nphost print 'Z:\tmp\src\examples\label.zpl'
for _ in $(seq 600); do ls "$work"/received/job-*.bin >/dev/null 2>&1 && break; sleep 0.1; done
received=$(ls "$work"/received/job-*.bin 2>/dev/null | head -n1)
if [ -n "$received" ] && cmp -s "$label" "$received"; then
  echo "guest: the printer received $(stat -c %s "$received") bytes, identical to $label"
else
  echo "guest: the printer did not receive $label intact"; exit 1
fi
