#!/bin/bash
# Builds everything and runs every test under Wine (GUI tests on Xvfb).
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(bash "$REPO/scripts/build.sh" | tail -1)

source "$REPO/scripts/wine-env.sh"
veltray_wine_prefix
veltray_display
# One wineserver for the whole run: a cold start per test costs seconds.
wineserver -p
cleanup() {
    wineserver -k 2>/dev/null || true
    veltray_display_stop
}
trap cleanup EXIT

echo "[test] $(date +%H:%M:%S) running tests" >&2
cd "$BUILD"
ctest --output-on-failure --timeout 300 -j"${VELTRAY_TEST_JOBS:-2}" "$@"
