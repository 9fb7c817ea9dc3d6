#!/bin/bash
# Starts the sandbox in the background, detached from the caller's pipes (a
# test runner would otherwise wait for it), and waits until it listens.
#   start.sh DIR   writes DIR/port ("port=N", "tls_port=M"), DIR/pid,
#                  DIR/sandbox.log and a fresh self-signed DIR/cert.pem.
set -euo pipefail
dir=${1:?usage: start.sh DIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir"
if [[ -f $dir/pid ]] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
    bash "$here/stop.sh" "$dir"
fi
rm -f "$dir/port" "$dir/pid"

openssl req -x509 -newkey rsa:2048 -nodes -days 7 -subj /CN=127.0.0.1 \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" >/dev/null 2>&1

setsid /usr/bin/python3 "$here/sandbox.py" --port-file "$dir/port" \
    --cert "$dir/cert.pem" --key "$dir/key.pem" \
    >"$dir/sandbox.log" 2>&1 </dev/null &
echo $! >"$dir/pid"

for _ in $(seq 150); do
    [[ -s $dir/port ]] && { cat "$dir/port"; exit 0; }
    kill -0 "$(cat "$dir/pid")" 2>/dev/null || break
    sleep 0.1
done
echo "sandbox did not start:" >&2
cat "$dir/sandbox.log" >&2
exit 1
