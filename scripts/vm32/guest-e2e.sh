# The guest's job for make e2e32 (vm.sh e2e): the end-to-end suite against the 32-bit build.
set -eu
. /mnt/src/scripts/vm32/guest-setup.sh
exec python3 tests/e2e/run_e2e.py
