#!/usr/bin/env bash
# Builds the 32-bit product and packs what a user installs into dist/nptovi32-<version>-win32.zip:
# nptovi32.dll, nphost.exe, install.cmd, uninstall.cmd, INSTALL.txt, examples/print.html and the
# policy/ templates, in one folder, so that the install script finds the DLL beside it after unpacking.
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(sed -n 's/^project(nptovi32 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "dist: no version in CMakeLists.txt" >&2; exit 1; }
name="nptovi32-$version-win32"
stage="dist/stage/$name"
zip_file="dist/$name.zip"

scripts/deps.sh
# Configure every time: a folder added since the last configure (tools/nphost) must be built too.
cmake --preset win32 >/dev/null
cmake --build build/win32 -j"${JOBS:-2}"

dll=build/win32/nptovi32.dll
[ -f "$dll" ] || { echo "dist: $dll was not built" >&2; exit 1; }
python3 tests/artifact/check_dll.py "$dll" >/dev/null \
  || { echo "dist: $dll fails its artifact checks (python3 tests/artifact/check_dll.py $dll)" >&2; exit 1; }

nphost=""
if [ -f tools/nphost/CMakeLists.txt ]; then
  nphost=build/win32/nphost.exe
  [ -f "$nphost" ] || { echo "dist: tools/nphost exists but $nphost was not built" >&2; exit 1; }
else
  echo "dist: warning: tools/nphost is not there yet; the zip has no nphost.exe" >&2
fi

# Both programs must be 32-bit x86 PE files (machine 0x014c), the only kind a 32-bit browser loads.
is_pe_i386() {
  python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
offset = struct.unpack_from("<I", data, 0x3C)[0] if data[:2] == b"MZ" else None
ok = offset is not None and data[offset:offset + 4] == b"PE\0\0" \
    and struct.unpack_from("<H", data, offset + 4)[0] == 0x014C
sys.exit(0 if ok else 1)
EOF
}
for binary in "$dll" $nphost; do
  is_pe_i386 "$binary" || { echo "dist: $binary is not a 32-bit x86 Windows program" >&2; exit 1; }
done

# Windows' cmd and Notepad expect CRLF line ends; the sources keep LF.
to_crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" > "$2"; }

rm -rf dist/stage "$zip_file"
mkdir -p "$stage/examples"
cp "$dll" "$stage/nptovi32.dll"
[ -z "$nphost" ] || cp "$nphost" "$stage/nphost.exe"
to_crlf dist/install.cmd "$stage/install.cmd"
to_crlf dist/uninstall.cmd "$stage/uninstall.cmd"
to_crlf dist/INSTALL.txt "$stage/INSTALL.txt"
cp examples/print.html "$stage/examples/print.html"
cp -r policy "$stage/policy"  # the Group Policy templates of the site policy

# The same sources give the same zip: entries in a fixed order, dated by the last commit (UTC).
export TZ=UTC
stamp=$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || date +%Y%m%d%H%M.%S)
find "$stage" -exec touch -h -t "$stamp" {} +
(cd dist/stage && find "$name" -type f | LC_ALL=C sort | zip -X -D -q "../$name.zip" -@)

echo "dist: $zip_file"
python3 -m zipfile -l "$zip_file"
