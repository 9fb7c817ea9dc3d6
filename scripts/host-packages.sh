#!/bin/bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: a machine that already has them passes through in seconds.
set -euo pipefail

PACKAGES=(
    # cross toolchain and build
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build make
    pkg-config perl autoconf automake libtool dpkg-dev xz-utils ca-certificates
    # Debian binaries the bootstrap takes headers or libraries from
    libz-mingw-w64-dev libconcurrentqueue-dev
    # running and testing under Wine
    wine wine32 wine64 xvfb xauth xdotool imagemagick fonts-wqy-microhei x11-utils
    # sandbox and test tooling
    python3 python3-aiohttp python3-pytest python3-cryptography openssl
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
    echo "[host] packages present"
    exit 0
fi

echo "[host] installing ${#missing[@]} packages: ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
