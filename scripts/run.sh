#!/bin/bash
# Builds VelTray and runs it from a sample installation under Wine, showing
# its debug lines. Ctrl-C closes it the way Windows would (WM_CLOSE to its
# main dialog) and waits for a clean exit. Arguments go to VelTray.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
ROOT=$(bash "$REPO/scripts/build.sh" | tail -1)
source "$REPO/scripts/wine-env.sh"

if veltray_native_i386; then
    arch=i686 build=$ROOT/win32
else
    arch=x86_64 build=$ROOT/win64
    echo "[run] this kernel does not execute 32-bit x86 code: running the 64-bit build of the same sources" >&2
fi
INSTALL=${VELTRAY_INSTALL:-$build/demo-install}
# The vendor sandbox is the default backend: the installation's configuration
# points at the port it listens on. VELTRAY_SANDBOX_PORT names another one.
SANDBOX=$build/demo-sandbox
if [[ -z ${VELTRAY_SANDBOX_PORT:-} ]]; then
    bash "$REPO/tools/sandbox/start.sh" "$SANDBOX" >/dev/null
    VELTRAY_SANDBOX_PORT=$(sed -n 's/^port=//p' "$SANDBOX/port")
    echo "[run] vendor sandbox on 127.0.0.1:$VELTRAY_SANDBOX_PORT (log: $SANDBOX/sandbox.log)" >&2
fi
export VELTRAY_SANDBOX_PORT
bash "$REPO/tools/make-install.sh" "$build" "$INSTALL"

veltray_wine_arch "$arch"
veltray_display
veltray_wine_prefix
echo "[run] VelTray on DISPLAY=$DISPLAY; Ctrl-C to close it" >&2

# Wine reports each debug line as a warning of its exception channel (older
# Wine: its debugstr channel); show just the text.
# setsid keeps the terminal's Ctrl-C away from Wine: the trap below closes
# VelTray through its own window instead.
cd "$INSTALL"
WINEDEBUG=warn+seh,warn+debugstr setsid "$VELTRAY_WINE" ./VelTray.exe "$@" 2>&1 |
    sed -un 's/^.*OutputDebugString[AW] "\(.*\)"$/\1/p' | sed -u 's/\\r//g; s/\\n$//' &
RUN_PID=$!

finish() {
    [[ -f $SANDBOX/pid ]] && bash "$REPO/tools/sandbox/stop.sh" "$SANDBOX" || true
    veltray_display_stop
}
stop() {
    # A second Ctrl-C must not cut the clean-up short.
    trap '' INT TERM
    echo "[run] closing VelTray" >&2
    "$VELTRAY_WINE" "$build/tools/velctl.exe" close 10000 || true
    wait "$RUN_PID" 2>/dev/null || true
    finish
    exit 0
}
trap stop INT TERM
wait "$RUN_PID" || true
finish
