# Sourced by the scripts that run Windows programs: one Wine prefix per
# architecture, quiet Wine, UTF-8 locale, and an X display (Xvfb when none is
# given).

VELTRAY_CACHE=${VELTRAY_CACHE:-/var/cache/veltray}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8

# True when this kernel executes 32-bit x86 code itself. Some virtual machines
# run 64-bit user code only (i386 execve fails with ENOEXEC); 32-bit Wine
# cannot start there, and an emulator registered for i386 is far too slow to
# count.
veltray_native_i386() {
    [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] && /lib/ld-linux.so.2 --version >/dev/null 2>&1
}

# Selects the Wine loader and prefix for one architecture (i686 or x86_64).
veltray_wine_arch() {
    case $1 in
        i686)
            export WINEARCH=win32 WINEPREFIX=${VELTRAY_WINEPREFIX32:-$VELTRAY_CACHE/wineprefix32}
            VELTRAY_WINE=/usr/lib/wine/wine
            ;;
        x86_64)
            export WINEARCH=win64 WINEPREFIX=${VELTRAY_WINEPREFIX64:-$VELTRAY_CACHE/wineprefix64}
            VELTRAY_WINE=/usr/lib/wine/wine64
            ;;
        *) echo "[wine] unknown architecture $1" >&2; return 1 ;;
    esac
    export VELTRAY_WINE
}

# Creates the selected prefix once per machine, with the CJK font mapping.
veltray_wine_prefix() {
    [[ -f "$WINEPREFIX/.veltray-ready" ]] && return 0
    echo "[wine] $(date +%H:%M:%S) creating prefix $WINEPREFIX (a minute or two, once)" >&2
    mkdir -p "$(dirname "$WINEPREFIX")"
    rm -rf "$WINEPREFIX"
    "$VELTRAY_WINE" wineboot -i >/dev/null 2>&1 || true
    local key='HKCU\Software\Wine\Fonts\Replacements'
    # UTF-16 with a byte-order mark: the Chinese face names survive only so.
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements"
        for face in "Microsoft YaHei" "微软雅黑" "SimSun" "宋体" "SimHei" "黑体"; do
            printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
        done
    } | iconv -f UTF-8 -t UTF-16 >"$WINEPREFIX/veltray-fonts.reg"
    (cd "$WINEPREFIX" && "$VELTRAY_WINE" regedit /S veltray-fonts.reg >/dev/null 2>&1) || true
    wineserver -w
    [[ -f "$WINEPREFIX/system.reg" ]] || { echo "[wine] prefix creation failed" >&2; return 1; }
    grep -q "WenQuanYi" "$WINEPREFIX/user.reg" || echo "[wine] warning: CJK font mapping not set ($key)" >&2
    touch "$WINEPREFIX/.veltray-ready"
}

# Starts Xvfb on a free display unless DISPLAY already names a live one.
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
