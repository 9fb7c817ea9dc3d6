#!/bin/bash
# Lays out a complete sample installation of VelTray for tests and demos.
#   tools/make-install.sh BUILD_DIR INSTALL_DIR [DESCRIPTION]
# DESCRIPTION (JSON, default tools/install/default.json) says what the data
# files hold; the sandbox port comes from VELTRAY_SANDBOX_PORT.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$1
DEST=$2
DESCRIPTION=${3:-$REPO/tools/install/default.json}

mkdir -p "$DEST/Config" "$DEST/Data/Common" "$DEST/themes" "$DEST/res"
cp "$BUILD/app/VelTray.exe" "$DEST/"
# Installed without its debug information, as users get it: Wine maps every
# section of the image, so the DWARF sections would cost tens of MiB of
# memory. The build keeps the full image for debugging.
strip_tool=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)
if [[ -x $strip_tool ]]; then
    "$strip_tool" --strip-debug "$DEST/VelTray.exe"
fi
cp "$REPO/assets/res/Main.ico" "$DEST/res/"
if [[ -d "$REPO/assets/themes" ]]; then
    cp -r "$REPO/assets/themes/." "$DEST/themes/"
fi
/usr/bin/python3 "$REPO/tools/install/make_install.py" --description "$DESCRIPTION" "$DEST"
# The VelStation stand-in, so that activation and jumps find a station.
if [[ -f "$BUILD/tools/VelStation.exe" ]]; then
    cp "$BUILD/tools/VelStation.exe" "$DEST/"
fi
echo "[install] sample installation in $DEST" >&2
