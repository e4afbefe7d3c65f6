# Sourced by the guest's jobs (scripts/vm32/guest-*.sh): a copy of the repository on the guest's own
# disk, /tmp/src, with the programs of the 32-bit and the 64-bit build, so that everything the job
# writes stays in the guest; the environment that makes the project's scripts run the win32 build under 32-bit Wine with
# the prefix made in the image.
src=/tmp/src
mkdir -p "$src/build/win32" "$src/build/win64"
# Without the browser tests' npm packages: tens of MiB over 9p that no guest job uses (minutes there).
tar -C /mnt/src --exclude=./build --exclude=./.git --exclude=node_modules -cf - . | tar -C "$src" -xf -
cp /mnt/src/build/win32/*.exe /mnt/src/build/win32/*.dll "$src/build/win32/"
# The 64-bit build too: the suite passes its DLL by as one of the other bitness.
cp /mnt/src/build/win64/*.exe /mnt/src/build/win64/*.dll "$src/build/win64/"
export NPTOVI_TARGET=win32 WINEPREFIX=/root/wineprefix PYTHONDONTWRITEBYTECODE=1
cd "$src"
echo "guest: $(uname -m) Linux $(uname -r), $(/usr/lib/wine/wine --version), $(nproc) CPUs," \
  "job at $(cut -d' ' -f1 /proc/uptime) s"
