#!/usr/bin/env bash
# The README's screenshots, under Xvfb: the window on line to the simulator, and
# with a third argument the trend chart beside it; with --line-monitor the line
# monitor beside it, on a line that drops and garbles a few answers so that failed
# exchanges show their colours; with --stations the Stations view beside it, on a
# line of modules 1-3 and 5-7.
# Usage: screenshot.sh BIN_DIR OUTPUT.png [TREND.png]
#        screenshot.sh BIN_DIR --line-monitor OUTPUT.png
#        screenshot.sh BIN_DIR --stations OUTPUT.png
set -euo pipefail
bin=$(cd "$1" && pwd)
mode=()
sim_args=()
if [ "$2" = --line-monitor ]; then
    mode=(--line-monitor)
    sim_args=(--drop 0.1 --garble 0.1)
    shift
elif [ "$2" = --stations ]; then
    mode=(--stations)
    sim_args=(--station 1-3,5-7)
    shift
fi
out=$(realpath -m "$2")
trend=()
[ $# -ge 3 ] && trend=("$(realpath -m "$3")")
"$bin/vl4300-sim" --dir "$bin" --port 1 --station 1 --seed 7 "${sim_args[@]}" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$bin/COM1" ] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/tallyscope-screenshot" "${mode[@]}" "$out" "${trend[@]}"
echo "Saved $out ${trend[*]}"
