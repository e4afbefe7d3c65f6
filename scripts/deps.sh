#!/usr/bin/env bash
# Installs every Debian package the builds and tests need, only when it is missing.
set -euo pipefail

packages=(
  cmake make g++ clang python3
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  g++-multilib qemu-user
  googletest libbenchmark-dev libssl-dev valgrind libclang-rt-14-dev
  wine64 cups cups-client cups-bsd iproute2 zip nodejs locales
  wixl msitools osslsigncode openssl
  qemu-system-x86 mmdebstrap e2fsprogs  # the 32-bit guest of make e2e32
  xvfb xauth python3-pyqt5.qtwebkit libcups2-dev  # make engine: QtWebKit and nptovi.so
  rapidjson-dev  # tovi-bridge.exe: JSON of the native-messaging frames
  chromium firefox-esr  # make browsers: the extension in today's browsers
)

# npm comes with some builds of nodejs; Debian's own nodejs needs its npm package.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >/dev/null
  $SUDO apt-get install -y -q "${missing[@]}" >/dev/null
fi

# The test tools of the page library and of the browser suite (puppeteer-core, which downloads no
# browser), as their lock files pin them; installed again when a lock changes.
for tools in web tests/browsers; do
  dir="$(dirname "$0")/../$tools"
  if [ ! -f "$dir/node_modules/.package-lock.json" ] || [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
    echo "deps: installing $tools/'s test tools from npm"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
  fi
done
