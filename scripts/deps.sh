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
  chromium firefox-esr  # make browsers: the extension in today's browsers
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Debian's nodejs comes without npm; a Node.js package that bundles npm needs none.
command -v npm >/dev/null || missing+=(npm)

if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q >/dev/null
  $SUDO apt-get install -y -q "${missing[@]}" >/dev/null
fi

# The browser suite's driver, exactly as its lock file pins it (puppeteer-core downloads no browser).
suite="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/browsers"
if [ ! -f "$suite/node_modules/.package-lock.json" ] || [ "$suite/package-lock.json" -nt "$suite/node_modules/.package-lock.json" ]; then
  echo "deps: npm ci in tests/browsers"
  (cd "$suite" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
