#!/bin/bash
# Builds everything and runs every test under Wine (GUI tests on Xvfb).
# Arguments go to ctest (for example -R business_tests); VELTRAY_ARCHS limits
# the builds and test runs as in build.sh.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
ROOT=$(bash "$REPO/scripts/build.sh" | tail -1)

source "$REPO/scripts/wine-env.sh"
veltray_display
SERVERS=()
cleanup() {
    for prefix in "${SERVERS[@]}"; do WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; done
    veltray_display_stop
}
trap cleanup EXIT

run_ctest() { # arch build-dir [ctest args]
    local arch=$1 dir=$2
    shift 2
    veltray_wine_arch "$arch"
    veltray_wine_prefix
    # One wineserver for the whole run: a cold start per test costs seconds.
    wineserver -p
    SERVERS+=("$WINEPREFIX")
    # Start Wine's own services now, detached from ctest's output pipes: a
    # service started by the first test would inherit them, and ctest would
    # wait for their end-of-file forever.
    "$VELTRAY_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
    echo "[test] $(date +%H:%M:%S) running the $arch tests" >&2
    (cd "$dir" && ctest --output-on-failure --timeout 300 -j"${VELTRAY_TEST_JOBS:-2}" "$@")
}

status=0
ARCHS=${VELTRAY_ARCHS:-i686 x86_64}
if [[ " $ARCHS " == *" x86_64 "* ]]; then
    run_ctest x86_64 "$ROOT/win64" "$@" || status=1
fi
if [[ " $ARCHS " == *" i686 "* ]]; then
    if veltray_native_i386; then
        run_ctest i686 "$ROOT/win32" "$@" || status=1
    else
        echo "[test] 32-bit build: only its image checks run; this kernel does not execute 32-bit x86 code, so 32-bit Wine cannot start (the same tests ran on the 64-bit build above)" >&2
        (cd "$ROOT/win32" && ctest --output-on-failure -L image "$@") || status=1
    fi
fi
exit $status
