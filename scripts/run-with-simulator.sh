#!/usr/bin/env bash
# `make run`: start the simulator linked as port 1 beside the program, open the
# program on it, and stop the simulator when the window closes.
set -euo pipefail

bin=$(cd "${1:-build/bin}" && pwd)
settings="$bin/InitialVL4300.ini"

# Answer as the station the program will ask for: the one saved last time, or
# the window's default 0 on a first start.
station=0
if [ -f "$settings" ]; then
    saved=$(grep -a -o 'StationNo="[0-9]*"' "$settings" | head -n 1 | tr -dc '0-9' || true)
    if [ -n "$saved" ] && [ "$saved" -le 31 ]; then station=$saved; fi
fi

log=$(mktemp -t vl4300-sim.XXXXXX)
"$bin/vl4300-sim" --dir "$bin" --port 1 --station "$station" >"$log" 2>&1 &
sim=$!
stop() {
    trap - EXIT INT TERM
    kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    cat "$log"
    rm -f "$log"
}
trap stop EXIT
trap 'stop; exit 130' INT TERM

for _ in $(seq 50); do
    [ -L "$bin/COM1" ] && break
    kill -0 "$sim" 2>/dev/null || { echo "The simulator did not start:"; exit 1; }
    sleep 0.1
done
echo "Simulator: station $station on port 1 ($(readlink "$bin/COM1"))."
echo "In the window: Open Port, tick DC/DI/DO and Read."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: running the window on a virtual display (xvfb-run)."
    xvfb-run -a "$bin/tallyscope"
else
    "$bin/tallyscope"
fi
