#!/usr/bin/env bash
# Builds a Windows Installer package from dist/nptovi32.wxs with wixl.
#   scripts/msi.sh [--x64] FILES_DIR OUT.msi [VERSION]
# FILES_DIR holds nptovi32.dll, nphost.exe, tovi-bridge.exe (32-bit) and the bridge's two manifests;
# for the x64 package (--x64) also x64/ with nptovi64.dll, nphost.exe, tovi-bridge.exe (64-bit) and
# the manifests, laid out as in the zip. The product's name, maker, MIME type and version come from
# build/win32/generated/product.env, which CMake writes from CMakeLists.txt; VERSION (four fields)
# replaces the version, so that a test can build a higher one from the same source. The policy
# templates in policy/, when that folder exists, go into the package's policy folder.
set -euo pipefail
platform=x86
if [ "${1:-}" = --x64 ]; then platform=x64; shift; fi
files_dir=$(realpath "$1")
out=$(realpath -m "$2")
cd "$(dirname "$0")/.."

env_file=build/win32/generated/product.env
[ -f "$env_file" ] || { echo "msi: $env_file is missing: configure the win32 preset first" >&2; exit 1; }
. "$env_file"
version=${3:-$NPTOVI_VERSION}

# Windows Installer compares only the first three fields of a version, so 0.0.0.11 and 0.0.0.12
# would be the same product version to it and neither upgrade nor refuse the other. The package's
# version folds the last two fields into the third: A.B.C.D becomes A.B.(C*256+D), which keeps the
# order as long as every field is below 256.
# A field with a leading zero is refused: the shell's arithmetic and the version resource's C
# compiler would both read it as octal (010 as 8), so the package and the DLL would disagree.
refuse_version() {
  echo "msi: version '$version' is not four decimal fields below 256 without leading zeros ($1)" >&2
  exit 1
}
IFS=. read -r major minor build revision extra <<<"$version"
[ -z "$extra" ] || refuse_version "more than four fields"
for field in "$major" "$minor" "$build" "$revision"; do
  [[ "$field" =~ ^(0|[1-9][0-9]{0,2})$ ]] && [ "$field" -lt 256 ] || refuse_version "field '$field'"
done
msi_version="$major.$minor.$((build * 256 + revision))"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sources=(dist/nptovi32.wxs)
manifests=("$NPTOVI_BRIDGE_NAME.json" "$NPTOVI_BRIDGE_NAME.firefox.json")
needed=(nptovi32.dll nphost.exe tovi-bridge.exe "${manifests[@]}")
[ "$platform" = x86 ] || needed+=(x64/nptovi64.dll x64/nphost.exe x64/tovi-bridge.exe "${manifests[@]/#/x64/}")
for file in "${needed[@]}"; do
  [ -f "$files_dir/$file" ] || { echo "msi: $files_dir/$file is missing" >&2; exit 1; }
done
# wixl finds files by paths relative to the current folder (it refuses absolute ones).
defines=(-D "Platform=$platform" -D "ProductName=$NPTOVI_PRODUCT_NAME" -D "Manufacturer=$NPTOVI_MANUFACTURER" -D "MimeType=$NPTOVI_MIME_TYPE"
         -D "BridgeName=$NPTOVI_BRIDGE_NAME"
         -D "PluginVersion=$version" -D "MsiVersion=$msi_version" -D "FilesDir=$(realpath --relative-to=. "$files_dir")" -D Policy=no)
if [ -d policy ]; then
  (cd policy && find . -type f \( -name '*.admx' -o -name '*.adml' \) | LC_ALL=C sort) \
    | wixl-heat --directory-ref POLICYDIR --component-group PolicyFiles --var var.PolicyDir -p ./ \
    > "$work/policy.wxs"
  sources+=("$work/policy.wxs")
  defines+=(-D Policy=yes -D PolicyDir=policy)
fi
wixl -a "$platform" "${defines[@]}" -o "$work/package.msi" "${sources[@]}" || { echo "msi: wixl failed" >&2; exit 1; }

# wixl's major upgrade leaves a package of the same version beside the installed one; take the
# same version in, so that a rebuilt package replaces it and Programs and Features lists one entry
# (attributes 513: migrate the features, and include the maximum version).
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' dist/nptovi32.wxs)
msibuild "$work/package.msi" \
  -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade_code}', '$msi_version', 513, 'WIX_UPGRADE_DETECTED')"
mv "$work/package.msi" "$out"
