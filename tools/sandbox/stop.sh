#!/bin/bash
# Stops the sandbox that start.sh DIR started: SIGTERM, then SIGKILL after 10 s.
set -uo pipefail
dir=${1:?usage: stop.sh DIR}
[[ -f $dir/pid ]] || exit 0
pid=$(cat "$dir/pid")
if kill -TERM "$pid" 2>/dev/null; then
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null && echo "sandbox $pid killed after 10 s" >&2
fi
rm -f "$dir/pid" "$dir/port"
exit 0
