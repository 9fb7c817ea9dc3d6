#!/bin/bash
# Everything up to built binaries on a Debian 12 machine, as root: packages,
# dependencies (cached), configure, build. Two builds of the same sources:
#   build/win32  the product, 32-bit (i686)
#   build/win64  64-bit (x86_64), which the tests run where the kernel cannot
#                execute 32-bit code
# VELTRAY_ARCHS="i686" or "x86_64" limits the builds. Prints the build root.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
ROOT=${VELTRAY_BUILD:-$REPO/build}
ARCHS=${VELTRAY_ARCHS:-i686 x86_64}

bash "$REPO/scripts/host-packages.sh" >&2

for arch in $ARCHS; do
    case $arch in
        i686) dir=$ROOT/win32; toolchain=mingw32 ;;
        x86_64) dir=$ROOT/win64; toolchain=mingw64 ;;
        *) echo "[build] unknown architecture $arch" >&2; exit 2 ;;
    esac
    deps=$(bash "$REPO/scripts/bootstrap-deps.sh" "$arch" | tail -1)
    if [[ ! -f "$dir/build.ninja" ]] || ! grep -qx "VELTRAY_DEPS:PATH=$deps" "$dir/CMakeCache.txt" 2>/dev/null; then
        echo "[build] configuring $dir" >&2
        rm -rf "$dir"
        mkdir -p "$dir"
        cmake -S "$REPO" -B "$dir" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$REPO/cmake/$toolchain.cmake" \
            -DVELTRAY_DEPS:PATH="$deps" >"$dir/configure.log" 2>&1 ||
            { cat "$dir/configure.log" >&2; exit 1; }
    fi
    echo "[build] $(date +%H:%M:%S) compiling $arch" >&2
    cmake --build "$dir" -- -j"${VELTRAY_JOBS:-$(nproc)}" >&2
done
echo "[build] $(date +%H:%M:%S) done" >&2
echo "$ROOT"
