# The guest's job for make e2e32 (vm.sh e2e): the end-to-end suite against the 32-bit build in the
# 64-bit prefix (WOW64), with the packages that vm.sh made installed, discovered and printing.
set -eu
. /mnt/src/scripts/vm32/guest-setup.sh
export NPTOVI_PACKAGES=/mnt/src/build/vm32-packages NPTOVI_PREFIX32=/root/wineprefix32
exec python3 tests/e2e/run_e2e.py "$@"  # the test modules vm.sh was asked for; none: all
