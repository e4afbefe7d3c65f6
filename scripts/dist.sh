#!/usr/bin/env bash
# Builds the 32-bit product and makes the two packages a user installs, side by side in dist/:
#   nptovi32-<version>-win32.zip  nptovi32.dll, nphost.exe, install.cmd, uninstall.cmd, INSTALL.txt,
#                                 examples/print.html (with web/tovi-print.classic.js, the page library
#                                 it runs on) and the policy/ templates in one folder, so that
#                                 the install script finds the DLL beside it after unpacking;
#   nptovi32-<version>-x86.msi    the Windows Installer package for deployment (scripts/msi.sh).
# With SIGN_PFX and SIGN_PASS_FILE (a PFX and a file holding its password), nptovi32.dll, nphost.exe
# and the MSI are signed (Authenticode, SHA-256) before they are packed. Everything is made in a
# staging folder and moved into dist/ only when all of it succeeded, so a failure leaves no package.
# DIST_DIR names another output folder (the tests use one under build/).
set -euo pipefail
# Paths given by the caller are taken from where make was started.
sign_pfx=${SIGN_PFX:+$(realpath -m "$SIGN_PFX")}
sign_pass_file=${SIGN_PASS_FILE:+$(realpath -m "$SIGN_PASS_FILE")}
out_dir=$(realpath -m "${DIST_DIR:-dist}")
cd "$(dirname "$0")/.."

fail() { echo "dist: $*" >&2; exit 1; }

if [ -n "$sign_pfx$sign_pass_file" ]; then
  [ -n "$sign_pfx" ] && [ -n "$sign_pass_file" ] || fail "SIGN_PFX and SIGN_PASS_FILE go together"
  [ -f "$sign_pfx" ] || fail "SIGN_PFX: $sign_pfx does not exist; nothing was packed"
  [ -f "$sign_pass_file" ] || fail "SIGN_PASS_FILE: $sign_pass_file does not exist; nothing was packed"
fi

scripts/deps.sh
# Configure every time: CMake also writes the product's name and version (product.env) and the
# shipped texts that name them.
cmake --preset win32 >/dev/null
cmake --build build/win32 -j"${JOBS:-2}"
generated=build/win32/generated
. "$generated/product.env"

name="nptovi32-$NPTOVI_VERSION-win32"
msi_name="nptovi32-$NPTOVI_VERSION-x86.msi"
staging="$out_dir/stage"
stage="$staging/$name"

dll=build/win32/nptovi32.dll
nphost=build/win32/nphost.exe
for binary in "$dll" "$nphost"; do
  [ -f "$binary" ] || fail "$binary was not built"
done
python3 tests/artifact/check_dll.py "$dll" >/dev/null \
  || fail "$dll fails its artifact checks (python3 tests/artifact/check_dll.py $dll)"

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
for binary in "$dll" "$nphost"; do
  is_pe_i386 "$binary" || fail "$binary is not a 32-bit x86 Windows program"
done

# Signs FILE in place (through a copy, so that a failure leaves no half-written file).
sign() {
  if ! osslsigncode sign -pkcs12 "$sign_pfx" -readpass "$sign_pass_file" -h sha256 \
      -n "$NPTOVI_PRODUCT_NAME" -in "$1" -out "$1.signed" >"$staging/sign.log" 2>&1; then
    sed 's/^/  /' "$staging/sign.log" >&2
    fail "signing $(basename "$1") with $sign_pfx failed (wrong password, or no code-signing key in it?); nothing was packed"
  fi
  mv "$1.signed" "$1"
}

# A failed run leaves neither a package nor its half-made parts.
rm -rf "$staging" "$out_dir/$name.zip" "$out_dir/$msi_name"
trap '[ $? -eq 0 ] || rm -rf "$staging"' EXIT
mkdir -p "$stage/examples"
cp "$dll" "$stage/nptovi32.dll"
cp "$nphost" "$stage/nphost.exe"
if [ -n "$sign_pfx" ]; then
  sign "$stage/nptovi32.dll"
  sign "$stage/nphost.exe"
else
  echo "dist: no SIGN_PFX given: nptovi32.dll, nphost.exe and the MSI are left unsigned"
fi

scripts/msi.sh "$stage" "$staging/$msi_name"
[ -z "$sign_pfx" ] || sign "$staging/$msi_name"

# Windows' cmd and Notepad expect CRLF line ends; the sources keep LF.
to_crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" > "$2"; }
to_crlf "$generated/dist/install.cmd" "$stage/install.cmd"
to_crlf dist/uninstall.cmd "$stage/uninstall.cmd"
to_crlf "$generated/dist/INSTALL.txt" "$stage/INSTALL.txt"
cp examples/print.html "$stage/examples/print.html"
# The example page runs on the page library's classic script, which it finds at ../web/.
mkdir -p "$stage/web"
node web/build.js
cp web/tovi-print.classic.js "$stage/web/tovi-print.classic.js"
cp -r policy "$stage/policy"  # the Group Policy templates of the site policy

# The same sources give the same zip: entries in a fixed order, dated by the last commit (UTC).
export TZ=UTC
stamp=$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || date +%Y%m%d%H%M.%S)
find "$stage" -exec touch -h -t "$stamp" {} +
(cd "$staging" && find "$name" -type f | LC_ALL=C sort | zip -X -D -q "$name.zip" -@)

mkdir -p "$out_dir"
mv "$staging/$name.zip" "$staging/$msi_name" "$out_dir/"
rm -rf "$staging"
shown=${out_dir#"$PWD"/}
echo "dist: $shown/$name.zip"
python3 -m zipfile -l "$out_dir/$name.zip"
echo "dist: $shown/$msi_name ($(stat -c %s "$out_dir/$msi_name") bytes)"
