#!/bin/bash
# Measures the idle cost of a running VelTray under Wine: CPU time used over a
# 60 s window after start-up has settled, and the peak working set (VmHWM of
# the Wine process hosting VelTray.exe). Prints one summary line.
#   scripts/measure-idle.sh [seconds]     (VELTRAY_MEASURE_ARCH=i686|x86_64)
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
WINDOW=${1:-60}
ROOT=$(bash "$REPO/scripts/build.sh" | tail -1)
source "$REPO/scripts/wine-env.sh"
# VELTRAY_MEASURE_ARCH=x86_64 measures the 64-bit build where both run.
arch=${VELTRAY_MEASURE_ARCH:-}
[[ -n $arch ]] || { veltray_native_i386 && arch=i686 || arch=x86_64; }
[[ $arch == i686 ]] && build=$ROOT/win32 || build=$ROOT/win64

INSTALL=$(mktemp -d /tmp/veltray-measure.XXXXXX)
# Connected to the sandbox, as the run command is: the channels hold their
# connections and heartbeats instead of retrying.
SANDBOX=$INSTALL.sandbox
bash "$REPO/tools/sandbox/start.sh" "$SANDBOX" >/dev/null
export VELTRAY_SANDBOX_PORT=$(sed -n 's/^port=//p' "$SANDBOX/port")
bash "$REPO/tools/make-install.sh" "$build" "$INSTALL" 2>/dev/null
veltray_wine_arch "$arch"
veltray_display
veltray_wine_prefix
wineserver -p
cleanup() {
    "$VELTRAY_WINE" "$build/tools/velctl.exe" close 10000 >/dev/null 2>&1 || true
    wineserver -k 2>/dev/null || true
    veltray_display_stop
    bash "$REPO/tools/sandbox/stop.sh" "$SANDBOX"
    rm -rf "$INSTALL" "$SANDBOX"
}
trap cleanup EXIT

# A marker argument (VelTray ignores it) tells this instance from any other.
marker="measure-$$"
(cd "$INSTALL" && "$VELTRAY_WINE" ./VelTray.exe "$marker" >/dev/null 2>&1 &)
pid=
for _ in $(seq 100); do
    pid=$(pgrep -f "VelTray\.exe $marker" | head -1 || true)
    [[ -n "$pid" ]] && break
    sleep 0.1
done
[[ -n "$pid" ]] || { echo "VelTray did not start" >&2; exit 1; }

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
sleep 10 # start-up settles
t0=$(ticks)
sleep "$WINDOW"
t1=$(ticks)
hwm=$(awk '/VmHWM/ {print $2}' "/proc/$pid/status")
cpu_ms=$(( (t1 - t0) * 1000 / hz ))
echo "VelTray ($arch build) idle over ${WINDOW} s: CPU ${cpu_ms} ms ($(awk "BEGIN {printf \"%.2f\", $cpu_ms / ($WINDOW * 10)}") %), peak working set $((hwm / 1024)) MiB"
