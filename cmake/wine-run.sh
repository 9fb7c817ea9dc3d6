#!/bin/bash
# CTest's emulator: runs one Windows test program under Wine. The test script
# has already set up the prefix, the display and a persistent wineserver.
export WINEPREFIX=${WINEPREFIX:-${VELTRAY_WINEPREFIX:-/var/cache/veltray/wineprefix}}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export LC_ALL=C.UTF-8
exec wine "$@"
