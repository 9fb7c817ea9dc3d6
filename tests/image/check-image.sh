#!/bin/bash
# Checks a built VelTray.exe: the expected PE format and GUI subsystem, and
# imports from Windows system DLLs only (the GCC runtime and winpthread are
# linked in statically).
#   check-image.sh EXE ARCH OBJDUMP
set -euo pipefail
exe=$1 arch=$2 objdump=$3

case $arch in
    i686) want_format="PE32 executable (GUI) Intel 80386" ;;
    x86_64) want_format="PE32+ executable (GUI) x86-64" ;;
esac
format=$(file -b "$exe")
[[ "$format" == "$want_format"* ]] || { echo "FAIL: $exe is '$format', expected '$want_format'"; exit 1; }

SYSTEM_DLLS="advapi32 comctl32 comdlg32 crypt32 bcrypt gdi32 gdiplus iphlpapi kernel32 msvcrt ntdll ole32
    oleaut32 shell32 shlwapi user32 uxtheme version winmm ws2_32 wldap32 imm32 msimg32 secur32 normaliz setupapi
    shcore dwmapi userenv psapi rpcrt4 winhttp wininet mpr netapi32 ucrtbase"
bad=0
while read -r dll; do
    name=$(tr '[:upper:]' '[:lower:]' <<<"${dll%.*}")
    if [[ " $(echo $SYSTEM_DLLS) " != *" $name "* ]]; then
        echo "FAIL: imports $dll, which is not a Windows system DLL"
        bad=1
    fi
done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
((bad == 0)) || exit 1
echo "OK: $format, imports: $("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
