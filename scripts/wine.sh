#!/usr/bin/env bash
# Runs a 64-bit Windows console program under Wine with the project's own prefix (build/wineprefix),
# quietly. The first run creates the prefix (a few seconds). With NPTOVI_TARGET=win32 it runs a 32-bit
# program under 32-bit Wine instead, which only a machine with 32-bit support has (the guest of
# scripts/vm32, whose prefix is made in its image and named by WINEPREFIX).
#   scripts/wine.sh PROGRAM.exe [ARGS...]
#   scripts/wine.sh --persist     starts this prefix's wineserver to stay until --stop, so that each
#                                 program starts in a fraction of a second
#   scripts/wine.sh --stop        ends this prefix's wineserver (and its services), if one runs
#   scripts/wine.sh --wait        waits until this prefix's wineserver has ended on its own
# WINEPREFIX, when set, names another prefix.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers; and no explorer.exe: with no display it fails to start for every
# program (a second or two each) and leaves nothing that these console programs use.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;explorer.exe=d}"
mkdir -p "$WINEPREFIX"
# wineserver reaches only the server of this prefix; by default it lingers a few seconds after the
# last program ends.
case "${1:-}" in
  --persist) /usr/lib/wine/wineserver -p 2>/dev/null || true; exit 0 ;;  # one already running stays as it is
  --stop) /usr/lib/wine/wineserver -k 2>/dev/null || true; exit 0 ;;
  --wait) /usr/lib/wine/wineserver -w 2>/dev/null || true; exit 0 ;;
esac
if [ "${NPTOVI_TARGET:-win64}" = win32 ]; then exec /usr/lib/wine/wine "$@"; fi
exec /usr/lib/wine/wine64 "$@"
