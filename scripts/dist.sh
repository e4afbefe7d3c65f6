#!/usr/bin/env bash
# Builds the 32-bit and the 64-bit product and makes the packages a user installs, side by side in dist/:
#   nptovi32-<version>-win32.zip  nptovi32.dll, nphost.exe, tovi-bridge.exe (32-bit), x64/nptovi64.dll,
#                                 x64/nphost.exe, x64/tovi-bridge.exe (64-bit), the bridge's two host
#                                 manifests beside each bridge, install.cmd, uninstall.cmd, INSTALL.txt,
#                                 examples/print.html
#                                 (with web/tovi-print.classic.js, the page library it runs on) and the
#                                 policy/ templates in one folder, so that the install script finds the
#                                 DLLs beside it after unpacking; each nphost.exe and tovi-bridge.exe
#                                 loads the DLL of its own bitness from its own folder;
#   nptovi32-<version>-x86.msi    the Windows Installer package for 32-bit Windows (it also installs
#                                 the 32-bit plug-in alone on 64-bit Windows), with the 32-bit bridge;
#   nptovi32-<version>-x64.msi    the package for 64-bit Windows: both plug-ins, the 64-bit bridge
#                                 (scripts/msi.sh);
#   ternaport-print-<version>-chromium.zip, ternaport-print-<version>-firefox.xpi
#                                 the browser extension for the Chrome Web Store and Edge Add-ons, and
#                                 for Firefox (scripts/extension_pack.py); with EXTENSION_KEY (an RSA
#                                 private key in PEM, never committed) also ternaport-print-<version>.crx,
#                                 signed with it, and ternaport-print-updates.xml, the update manifest
#                                 for ExtensionInstallForcelist, whose codebase is EXTENSION_URL (the
#                                 .crx's URL where the administrator serves it; default: its file name).
# With SIGN_PFX and SIGN_PASS_FILE (a PFX and a file holding its password), the DLLs, the programs and
# the MSIs are signed (Authenticode, SHA-256) before they are packed. Everything is made in a
# staging folder and moved into dist/ only when all of it succeeded, so a failure leaves no package.
# DIST_DIR names another output folder (the tests use one under build/).
set -euo pipefail
# Paths given by the caller are taken from where make was started.
sign_pfx=${SIGN_PFX:+$(realpath -m "$SIGN_PFX")}
sign_pass_file=${SIGN_PASS_FILE:+$(realpath -m "$SIGN_PASS_FILE")}
extension_key=${EXTENSION_KEY:+$(realpath -m "$EXTENSION_KEY")}
out_dir=$(realpath -m "${DIST_DIR:-dist}")
cd "$(dirname "$0")/.."

fail() { echo "dist: $*" >&2; exit 1; }

if [ -n "$sign_pfx$sign_pass_file" ]; then
  [ -n "$sign_pfx" ] && [ -n "$sign_pass_file" ] || fail "SIGN_PFX and SIGN_PASS_FILE go together"
  [ -f "$sign_pfx" ] || fail "SIGN_PFX: $sign_pfx does not exist; nothing was packed"
  [ -f "$sign_pass_file" ] || fail "SIGN_PASS_FILE: $sign_pass_file does not exist; nothing was packed"
fi
[ -z "$extension_key" ] || [ -f "$extension_key" ] \
  || fail "EXTENSION_KEY: $extension_key does not exist; nothing was packed"
[ -z "${EXTENSION_URL:-}" ] || [ -n "$extension_key" ] || fail "EXTENSION_URL needs EXTENSION_KEY"

scripts/deps.sh
# Configure every time: CMake also writes the product's name and version (product.env) and the
# shipped texts that name them.
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j"${JOBS:-2}"
done
generated=build/win32/generated
. "$generated/product.env"

name="nptovi32-$NPTOVI_VERSION-win32"
msi_name="nptovi32-$NPTOVI_VERSION-x86.msi"
msi64_name="nptovi32-$NPTOVI_VERSION-x64.msi"
staging="$out_dir/stage"
stage="$staging/$name"

# What goes where in the zip, and the machine each file must be built for (a browser loads only a
# DLL of its own bitness): source, place in the zip, PE machine.
binaries=(
  "build/win32/nptovi32.dll nptovi32.dll 014C"
  "build/win32/nphost.exe nphost.exe 014C"
  "build/win32/tovi-bridge.exe tovi-bridge.exe 014C"
  "build/win64/nptovi64.dll x64/nptovi64.dll 8664"
  "build/win64/nphost.exe x64/nphost.exe 8664"
  "build/win64/tovi-bridge.exe x64/tovi-bridge.exe 8664"
)
is_pe_machine() {
  python3 - "$1" "$2" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
offset = struct.unpack_from("<I", data, 0x3C)[0] if data[:2] == b"MZ" else None
ok = offset is not None and data[offset:offset + 4] == b"PE\0\0" \
    and struct.unpack_from("<H", data, offset + 4)[0] == int(sys.argv[2], 16)
sys.exit(0 if ok else 1)
EOF
}
for entry in "${binaries[@]}"; do
  read -r source _ machine <<<"$entry"
  [ -f "$source" ] || fail "$source was not built"
  is_pe_machine "$source" "$machine" || fail "$source is not a Windows program for machine 0x$machine"
done
dlls=(build/win32/nptovi32.dll build/win64/nptovi64.dll)
python3 tests/artifact/check_dll.py "${dlls[@]}" >/dev/null \
  || fail "the DLLs fail their artifact checks (python3 tests/artifact/check_dll.py ${dlls[*]})"

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
rm -rf "$staging" "$out_dir/$name.zip" "$out_dir/$msi_name" "$out_dir/$msi64_name" "$out_dir"/ternaport-print-*
trap '[ $? -eq 0 ] || rm -rf "$staging"' EXIT
mkdir -p "$stage/examples" "$stage/x64"
for entry in "${binaries[@]}"; do
  read -r source place _ <<<"$entry"
  cp "$source" "$stage/$place"
  [ -z "$sign_pfx" ] || sign "$stage/$place"
done
[ -n "$sign_pfx" ] || echo "dist: no SIGN_PFX given: the DLLs, the programs and the MSIs are left unsigned"
# The bridge's host manifests (CMake writes them from the names in CMakeLists.txt) beside each bridge.
for folder in "$stage" "$stage/x64"; do
  cp "$generated/dist/$NPTOVI_BRIDGE_NAME.json" "$generated/dist/$NPTOVI_BRIDGE_NAME.firefox.json" "$folder/"
done

scripts/msi.sh "$stage" "$staging/$msi_name"
scripts/msi.sh --x64 "$stage" "$staging/$msi64_name"
if [ -n "$sign_pfx" ]; then
  sign "$staging/$msi_name"
  sign "$staging/$msi64_name"
fi

# Windows' cmd and Notepad expect CRLF line ends; the sources keep LF.
to_crlf() { sed -e 's/\r$//' -e 's/$/\r/' "$1" > "$2"; }
to_crlf "$generated/dist/install.cmd" "$stage/install.cmd"
to_crlf "$generated/dist/uninstall.cmd" "$stage/uninstall.cmd"
to_crlf "$generated/dist/INSTALL.txt" "$stage/INSTALL.txt"
cp examples/print.html "$stage/examples/print.html"
# The example page runs on the page library's classic script, which it finds at ../web/.
mkdir -p "$stage/web"
node web/build.js
cp web/tovi-print.classic.js "$stage/web/tovi-print.classic.js"
cp -r policy "$stage/policy"  # the Group Policy templates of the site policy

# The browser extension, packed for each browser family (and signed as a .crx with EXTENSION_KEY).
pack_args=("$staging/extension")
[ -z "$extension_key" ] || pack_args+=(--key "$extension_key")
[ -z "${EXTENSION_URL:-}" ] || pack_args+=(--codebase "$EXTENSION_URL")
python3 scripts/extension_pack.py "${pack_args[@]}" >/dev/null \
  || fail "packing the extension failed${extension_key:+ (is $extension_key an RSA private key in PEM?)}; nothing was packed"
[ -n "$extension_key" ] || echo "dist: no EXTENSION_KEY given: the extension is packed for the stores, without a .crx"

# The same sources give the same zip: entries in a fixed order, dated by the last commit (UTC).
export TZ=UTC
stamp=$(git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || date +%Y%m%d%H%M.%S)
find "$stage" -exec touch -h -t "$stamp" {} +
(cd "$staging" && find "$name" -type f | LC_ALL=C sort | zip -X -D -q "$name.zip" -@)

mkdir -p "$out_dir"
mv "$staging/$name.zip" "$staging/$msi_name" "$staging/$msi64_name" "$staging"/extension/* "$out_dir/"
rm -rf "$staging"
shown=${out_dir#"$PWD"/}
echo "dist: $shown/$name.zip"
python3 -m zipfile -l "$out_dir/$name.zip"
for package in "$msi_name" "$msi64_name" $(cd "$out_dir" && ls ternaport-print-*); do
  echo "dist: $shown/$package ($(stat -c %s "$out_dir/$package") bytes)"
done
