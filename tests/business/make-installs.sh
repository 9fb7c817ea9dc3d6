#!/bin/sh
# The store tests' installations: one description, its configuration stored
# plain, and only as ".vqx" in each protected form.
#   make-installs.sh PYTHON REPO DESCRIPTION OUT_DIR
set -e
python=$1 repo=$2 description=$3 out=$4
rm -rf "$out"
"$python" "$repo/tools/install/make_install.py" --protect-config none --description "$description" "$out/plain"
"$python" "$repo/tools/install/make_install.py" --protect-config chacha --description "$description" "$out/chacha"
"$python" "$repo/tools/install/make_install.py" --protect-config legacy --description "$description" "$out/legacy"
