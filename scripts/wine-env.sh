# Sourced by the scripts that run Windows programs: one dedicated Wine prefix,
# quiet Wine, UTF-8 locale, and an X display (Xvfb when none is given).

export WINEPREFIX=${VELTRAY_WINEPREFIX:-/var/cache/veltray/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

# Creates the prefix once per machine (about 15 s), with the CJK font mapping.
veltray_wine_prefix() {
    [[ -f "$WINEPREFIX/.veltray-ready" ]] && return 0
    echo "[wine] creating prefix $WINEPREFIX" >&2
    mkdir -p "$(dirname "$WINEPREFIX")"
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    local key='HKCU\Software\Wine\Fonts\Replacements'
    for face in "Microsoft YaHei" "微软雅黑" "SimSun" "宋体" "SimHei" "黑体"; do
        wine reg add "$key" /v "$face" /t REG_SZ /d "WenQuanYi Micro Hei" /f >/dev/null 2>&1
    done
    wineserver -w
    [[ -f "$WINEPREFIX/system.reg" ]] || { echo "[wine] prefix creation failed" >&2; return 1; }
    touch "$WINEPREFIX/.veltray-ready"
}

# Starts Xvfb on a free display unless DISPLAY already names one.
VELTRAY_XVFB_PID=
veltray_display() {
    if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
        return 0
    fi
    local n=${VELTRAY_XVFB_DISPLAY:-91}
    while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1600x900x24 -nolisten tcp >/dev/null 2>&1 &
    VELTRAY_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 100); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "[wine] Xvfb did not start" >&2
    return 1
}

veltray_display_stop() {
    [[ -n "$VELTRAY_XVFB_PID" ]] && kill "$VELTRAY_XVFB_PID" 2>/dev/null
    VELTRAY_XVFB_PID=
}
