# The guest image's recipe, sourced by vm.sh. The image's cache key is a hash of this file and of
# guest-init, so any change here builds a new image; nothing else decides what the image holds.

SUITE=bookworm
# Debian amd64 (its kernel runs 32-bit programs) with 32-bit Wine; CUPS with the socket backend and
# the lp tools; 32-bit libcups, without which 32-bit Wine sees no printers; Python and iproute2 for
# the end-to-end suite; locales for localedef and its sources.
PACKAGES=linux-image-amd64,initramfs-tools,kmod,procps,wine,wine32:i386,libwine:i386,libcups2:i386
PACKAGES+=,cups,cups-client,cups-bsd,python3,iproute2,locales
IMAGE_SIZE=3G

# build_rootfs DIR: the guest's files from the Debian archive, through this machine's apt sources.
build_rootfs() {
  local sources=()
  [ -f /etc/apt/sources.list.d/debian.sources ] && sources=(/etc/apt/sources.list.d/debian.sources)
  mmdebstrap --quiet --mode=root --variant=minbase --architectures=amd64,i386 \
    --aptopt='Acquire::Check-Valid-Until "false"' --aptopt='Acquire::Languages "none"' \
    --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
    --dpkgopt='path-exclude=/usr/share/locale/*' \
    --include="$PACKAGES" \
    --customize-hook="install -m 755 '$VM32_DIR/guest-init' \"\$1/sbin/nptovi-init\"" \
    "$SUITE" "$1" "${sources[@]}"
}

# The first boot's job: the 32-bit Wine prefix every run starts from (runs use -snapshot, so it stays
# as made here).
PREFIX_JOB='
export WINEPREFIX=/root/wineprefix WINEARCH=win32 WINEDEBUG=fixme-all WINEDLLOVERRIDES="mscoree,mshtml=;explorer.exe=d"
start=$(cut -d" " -f1 /proc/uptime)
/usr/lib/wine/wine wineboot --init; echo "guest: wineboot exit $?"
/usr/lib/wine/wineserver -w
test -f "$WINEPREFIX/system.reg" || { echo "guest: no Wine prefix"; exit 1; }
echo "guest: Wine prefix made in $(awk -v a="$start" "{printf \"%.0f\", \$1 - a}" /proc/uptime) s"
'
