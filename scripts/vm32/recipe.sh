# The guest image's recipe, sourced by vm.sh. The image's cache key is a hash of this file and of
# guest-init, so any change here builds a new image; nothing else decides what the image holds.

SUITE=bookworm
# Debian amd64 (its kernel runs 32-bit programs) with 64-bit and 32-bit Wine side by side, so that a
# 64-bit prefix runs 32-bit programs as 64-bit Windows does (WOW64); CUPS with the socket backend and
# the lp tools; libcups of both bitnesses, without which Wine of that bitness sees no printers; Python
# and iproute2 for the end-to-end suite; locales for localedef and its sources.
PACKAGES=linux-image-amd64,initramfs-tools,kmod,procps,wine,wine64,libwine,wine32:i386,libwine:i386
PACKAGES+=,libcups2,libcups2:i386
PACKAGES+=,cups,cups-client,cups-bsd,python3,iproute2,locales
# Both Wines and both prefixes: 3 GiB is not enough for them (seen: the disk full while the prefix was
# made); the image file is sparse, so only what is written takes room.
IMAGE_SIZE=6G

# build_rootfs DIR: the guest's files from the Debian archive, through this machine's apt sources
# without the security archive: its i386 index on this machine's mirror does not match its Release
# file (seen: 374820 bytes served, 376004 listed), which fails apt-get update, and a guest with no
# network device needs the release and its updates only.
build_rootfs() {
  local sources=()
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sources=("$1.sources")  # beside DIR, in the build's folder
    awk -v RS= -v ORS='\n\n' '!/Suites:[^\n]*-security/' /etc/apt/sources.list.d/debian.sources >"$1.sources"
  fi
  mmdebstrap --quiet --mode=root --variant=minbase --architectures=amd64,i386 \
    --aptopt='Acquire::Languages "none"' \
    --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
    --dpkgopt='path-exclude=/usr/share/locale/*' \
    --include="$PACKAGES" \
    --customize-hook="install -m 755 '$VM32_DIR/guest-init' \"\$1/sbin/nptovi-init\"" \
    "$SUITE" "$1" "${sources[@]}"
}

# The first boot's job: the Wine prefixes every run starts from (runs use -snapshot, so they stay as
# made here). /root/wineprefix is a 64-bit one with 32-bit support, as on 64-bit Windows:
# "Program Files (x86)", syswow64 and the registry's 32-bit view; /root/wineprefix32 is a pure 32-bit
# one, as on 32-bit Windows.
PREFIX_JOB='
export WINEDEBUG=fixme-all WINEDLLOVERRIDES="mscoree,mshtml=;explorer.exe=d"
make_prefix() {  # make_prefix DIR ARCH LOADER CHECK: a new prefix, checked by a file it must hold
  start=$(cut -d" " -f1 /proc/uptime)
  WINEPREFIX=$1 WINEARCH=$2 "$3" wineboot --init; echo "guest: wineboot ($2) exit $?"
  WINEPREFIX=$1 /usr/lib/wine/wineserver -w
  test -e "$1/$4" || { echo "guest: no $2 Wine prefix ($1/$4 is missing)"; exit 1; }
  echo "guest: $2 Wine prefix made in $(awk -v a="$start" "{printf \"%.0f\", \$1 - a}" /proc/uptime) s"
}
make_prefix /root/wineprefix win64 /usr/lib/wine/wine64 "drive_c/windows/syswow64/kernel32.dll"
make_prefix /root/wineprefix32 win32 /usr/lib/wine/wine "drive_c/windows/system32/kernel32.dll"
'
