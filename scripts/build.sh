#!/bin/bash
# Everything up to built binaries on a Debian 12 machine, as root: packages,
# dependencies (cached), configure, build. Prints the build directory last.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VELTRAY_BUILD:-$REPO/build}

bash "$REPO/scripts/host-packages.sh" >&2
DEPS=$(bash "$REPO/scripts/bootstrap-deps.sh" | tail -1)

if [[ ! -f "$BUILD/build.ninja" ]] || ! grep -q "VELTRAY_DEPS:PATH=$DEPS\$" "$BUILD/CMakeCache.txt" 2>/dev/null; then
    echo "[build] configuring $BUILD" >&2
    cmake -S "$REPO" -B "$BUILD" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/mingw32.cmake" \
        -DVELTRAY_DEPS:PATH="$DEPS" >&2
fi
echo "[build] $(date +%H:%M:%S) compiling" >&2
cmake --build "$BUILD" -- -j"${VELTRAY_JOBS:-$(nproc)}" >&2
echo "[build] $(date +%H:%M:%S) done" >&2
echo "$BUILD"
