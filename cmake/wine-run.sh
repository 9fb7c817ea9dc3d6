#!/bin/bash
# CTest's emulator: runs one Windows test program under Wine.
#   wine-run.sh ARCH PROGRAM [ARGS...]
# The test script has already set up the prefix, the display and a persistent
# wineserver; this only picks the loader and prefix of the architecture.
set -e
source "$(dirname "$0")/../scripts/wine-env.sh"
veltray_wine_arch "$1"
shift
exec "$VELTRAY_WINE" "$@"
