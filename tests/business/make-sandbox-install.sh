#!/bin/sh
# The default sample installation, pointing at the running sandbox, made in
# the folder of a test executable that runs from inside it as the program
# does. The executable itself stays.
#   make-sandbox-install.sh PYTHON REPO PORT_FILE INSTALL_DIR
set -e
python=$1 repo=$2 portfile=$3 out=$4
port=$(sed -n 's/^port=//p' "$portfile")
[ -n "$port" ] || { echo "no sandbox port in $portfile" >&2; exit 1; }
rm -rf "$out/Config" "$out/Data"
"$python" "$repo/tools/install/make_install.py" --sandbox-port "$port" "$out"
