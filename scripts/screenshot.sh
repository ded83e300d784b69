#!/usr/bin/env bash
# The README's screenshots, under Xvfb: the window on line to the simulator, and
# with --line-monitor the line monitor beside it (on a line that drops and garbles
# a few answers, so failed exchanges show their colours).
# Usage: screenshot.sh BIN_DIR OUTPUT.png [--line-monitor]
set -euo pipefail
bin=$(cd "$1" && pwd)
out=$(realpath -m "$2")
mode=${3:-}
faults=()
[ "$mode" = --line-monitor ] && faults=(--drop 0.1 --garble 0.1)
"$bin/vl4300-sim" --dir "$bin" --port 1 --station 1 --seed 7 "${faults[@]}" >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$bin/COM1" ] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 1920x1080x24" "$bin/tallyscope-screenshot" "$out" $mode
echo "Saved $out"
