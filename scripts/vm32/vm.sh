#!/usr/bin/env bash
# The 32-bit guest: a Debian amd64 virtual machine under QEMU's software emulation (no KVM needed),
# whose kernel runs 32-bit programs, so that Wine in it runs the product users install as 64-bit
# Windows runs it (64-bit Wine with 32-bit support, WOW64), and as 32-bit Windows does.
#   scripts/vm32/vm.sh image    builds the guest image, unless the cached one matches the recipe
#   scripts/vm32/vm.sh cached   succeeds when the image for the current recipe is cached
#   scripts/vm32/vm.sh e2e      runs the end-to-end suite in the guest against build/win32, and the
#                               packages of scripts/dist.sh installed there; the last line is
#                               "N passed, N failed"; VM32_E2E names some of its test modules to
#                               run only those (e.g. VM32_E2E="test_identity test_packages")
#   scripts/vm32/vm.sh demo     one print through the 32-bit DLL in the guest
# The image (kernel, initrd, disk with its Wine prefixes made) is cached in VM32_CACHE
# (/var/cache/nptovi32) under a hash of recipe.sh and guest-init. It is built in a folder of its own
# and renamed into place only when complete, so a half-built image is never used. Runs boot it with
# -snapshot (it never changes), no network device, the repository shared read-only, and a hard time
# limit (VM32_TIMEOUT seconds, default 3000); QEMU is stopped by its pid on every exit. Needs root.
set -euo pipefail
VM32_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$VM32_DIR/../.." && pwd)
cache=${VM32_CACHE:-/var/cache/nptovi32}
source "$VM32_DIR/recipe.sh"
key=$(cat "$VM32_DIR/recipe.sh" "$VM32_DIR/guest-init" | sha256sum | cut -c1-16)
image=$cache/$key

qemu_pid="" tail_pid="" work="" building=""
result=""  # the last "N passed, N failed" line of the latest guest job
cleanup() {
  set +e
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
  [ -n "$tail_pid" ] && kill "$tail_pid" 2>/dev/null && wait "$tail_pid" 2>/dev/null
  [ -n "$work" ] && rm -rf "$work"
  # --one-file-system: a build cut short may leave mounts in its root file system
  [ -n "$building" ] && rm -rf --one-file-system "$building"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# boot KERNEL_DIR DISK LIMIT JOB [QEMU OPTION...]: runs the shell text JOB as the guest's job and shows
# its output as it comes. Returns the job's exit status; 124 when the guest did not finish within
# LIMIT seconds, or another failure when it ended without the job finishing, after its console's tail.
boot() {
  local kernel=$1 disk=$2 limit=$3 job=$4
  shift 4
  work=$(mktemp -d /tmp/nptovi32-vm.XXXXXX)
  mkdir "$work/out"
  printf '%s\n' "$job" >"$work/out/job"
  : >"$work/out/guest.log"
  # -cpu max lets the guest enable SMAP, and QEMU 7.2's TCG then faults every return to 32-bit user
  # mode (an Oops in each Wine process): hence -smap. timeout holds QEMU to the limit even if this
  # script is killed outright; stopping it (by its pid) stops QEMU.
  timeout -k 10 "$limit" qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,-smap \
    -smp 2 -m "${VM32_MEM:-2048}" -display none -monitor none -no-reboot -nic none \
    -serial "file:$work/console.log" -kernel "$kernel/vmlinuz" -initrd "$kernel/initrd.img" \
    -append "console=ttyS0 quiet panic=-1 root=/dev/vda rw init=/sbin/nptovi-init" \
    -drive "file=$disk,format=raw,if=virtio,cache=writeback" \
    -virtfs "local,path=$root,mount_tag=src,security_model=none,readonly=on,id=src" \
    -virtfs "local,path=$work/out,mount_tag=out,security_model=none,id=out" "$@" </dev/null &
  qemu_pid=$!
  tail -n +1 -f --pid="$qemu_pid" "$work/out/guest.log" &
  tail_pid=$!
  local rc=0
  wait "$qemu_pid" || rc=$?
  qemu_pid=""
  wait "$tail_pid" || true
  tail_pid=""
  if [ "$rc" = 0 ] && [ -f "$work/out/guest.rc" ]; then
    rc=$(cat "$work/out/guest.rc")
  else
    if [ "$rc" = 124 ]; then
      echo "vm32: the guest did not finish within $limit s; its console's last lines:" >&2
    else
      echo "vm32: the guest ended without finishing its job (QEMU status $rc); its console's last lines:" >&2
      [ "$rc" = 0 ] && rc=1
    fi
    tail -n 25 "$work/console.log" >&2 || true
  fi
  grep -m1 -A3 'BUG:' "$work/console.log" >&2 && echo "vm32: the guest's kernel reported a fault" >&2
  result=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$work/out/guest.log" | tail -n1 || true)
  rm -rf "$work"
  work=""
  return "$rc"
}

# Every folder this script makes in the cache holds this file; it deletes no other folder there.
marker=.nptovi32-image
remove_own() {  # remove_own DIR...: those of the folders that this script made
  local d
  for d in "$@"; do
    # --one-file-system: a build cut short may leave mounts in its root file system
    [ -f "$d/$marker" ] && rm -rf --one-file-system "$d"
  done
  return 0
}

build_image() {
  [ -f "$image/disk.img" ] && return 0
  [ "$(id -u)" = 0 ] || { echo "vm32: building the guest image needs root" >&2; exit 1; }
  for tool in qemu-system-x86_64 mmdebstrap mkfs.ext4; do
    command -v "$tool" >/dev/null || { echo "vm32: $tool is missing; run make deps" >&2; exit 1; }
  done
  mkdir -p "$cache"
  # One build at a time; a second run waits for it and then finds the image.
  exec 9>"$cache/lock"
  flock 9
  [ -f "$image/disk.img" ] && return 0
  remove_own "$cache"/*.build.*  # left by a build that was killed
  building=$(mktemp -d "$cache/$key.build.XXXXXX")
  : >"$building/$marker"
  echo "vm32: building the guest image $key (Debian $SUITE, 64- and 32-bit Wine, CUPS)"
  local t=$SECONDS
  build_rootfs "$building/rootfs"
  cp "$building"/rootfs/boot/vmlinuz-* "$building/vmlinuz"
  cp "$building"/rootfs/boot/initrd.img-* "$building/initrd.img"
  truncate -s "$IMAGE_SIZE" "$building/disk.img"
  mkfs.ext4 -q -F -d "$building/rootfs" "$building/disk.img"
  rm -rf "$building/rootfs"
  echo "vm32: image files made in $((SECONDS - t)) s"
  t=$SECONDS
  boot "$building" "$building/disk.img" 3600 "$PREFIX_JOB" ||
    { echo "vm32: the Wine prefix could not be made" >&2; exit 1; }
  echo "vm32: first boot with the Wine prefix in $((SECONDS - t)) s"
  mv -T "$building" "$image"
  building=""
  # Images of earlier recipes go; anything else in the cache folder stays.
  local d
  for d in "$cache"/*; do [ "$d" = "$image" ] || remove_own "$d"; done
  echo "vm32: cached in $image ($(du -sh "$image" | cut -f1) on disk)"
}

run_job() {  # run_job SCRIPT: scripts/vm32/SCRIPT in a throwaway copy of the cached image
  build_image
  local t=$SECONDS rc=0
  boot "$image" "$image/disk.img" "${VM32_TIMEOUT:-3000}" "exec sh /mnt/src/scripts/vm32/$1" -snapshot || rc=$?
  echo "vm32: guest run (boot, job, power-off) $((SECONDS - t)) s"
  return "$rc"
}

case "${1:-}" in
  image) build_image ;;
  cached) [ -f "$image/disk.img" ] ;;
  demo) run_job guest-demo.sh ;;
  e2e)
    for f in win32/nphost.exe win32/nptovi32.dll win64/nphost.exe win64/nptovi64.dll; do
      [ -f "$root/build/$f" ] || { echo "vm32: build/$f is missing; run make build-${f%%/*}" >&2; exit 2; }
    done
    # The packages a user installs, for the suite's install cases (NPTOVI_PACKAGES in the guest).
    DIST_DIR="$root/build/vm32-packages" "$root/scripts/dist.sh" >/dev/null ||
      { echo "vm32: the packages could not be made (scripts/dist.sh)" >&2; exit 2; }
    rc=0
    run_job "guest-e2e.sh ${VM32_E2E:-}" || rc=$?
    if [ -z "$result" ]; then
      echo "vm32: the suite reported no result; the run counts as one failure" >&2
      echo "0 passed, 1 failed"
      exit 1
    fi
    echo "$result"
    exit "$rc"
    ;;
  *) echo "usage: $0 image|cached|e2e|demo" >&2; exit 2 ;;
esac
