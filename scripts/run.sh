#!/bin/bash
# Builds VelTray and runs it from a sample installation under Wine, showing
# its debug lines. Ctrl-C closes it the way Windows would (WM_CLOSE to its
# main dialog) and waits for a clean exit.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(bash "$REPO/scripts/build.sh" | tail -1)
INSTALL=${VELTRAY_INSTALL:-$BUILD/demo-install}

bash "$REPO/tools/make-install.sh" "$BUILD" "$INSTALL"
source "$REPO/scripts/wine-env.sh"
veltray_wine_prefix
veltray_display
echo "[run] VelTray on DISPLAY=$DISPLAY; Ctrl-C to close it" >&2

# Wine reports each debug line on its debugstr channel; show just the text.
# setsid keeps the terminal's Ctrl-C away from Wine: the trap below closes
# VelTray through its own window instead.
cd "$INSTALL"
WINEDEBUG=warn+debugstr setsid wine ./VelTray.exe "$@" 2>&1 |
    sed -un 's/^.*OutputDebugString[AW] "\(.*\)"$/\1/p' | sed -u 's/\\r//g; s/\\n$//' &
RUN_PID=$!

stop() {
    echo "[run] closing VelTray" >&2
    wine "$BUILD/tools/velctl.exe" close 10000 || true
    wait "$RUN_PID" 2>/dev/null || true
    veltray_display_stop
    exit 0
}
trap stop INT TERM
wait "$RUN_PID" || true
veltray_display_stop
