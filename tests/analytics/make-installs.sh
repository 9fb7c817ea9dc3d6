#!/bin/sh
# The analytics tests' installations, pointing at the running sandbox: one
# with a logged-in user, one with a guest (no token, no distinct id).
#   make-installs.sh PYTHON REPO PORT_FILE OUT_DIR
set -e
python=$1 repo=$2 portfile=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
port=$(sed -n 's/^port=//p' "$portfile")
[ -n "$port" ] || { echo "no sandbox port in $portfile" >&2; exit 1; }
rm -rf "$out"
for name in login guest; do
    "$python" "$repo/tools/install/make_install.py" --sandbox-port "$port" \
        --description "$here/fixtures/$name.json" "$out/$name"
done
