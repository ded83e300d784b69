#!/usr/bin/env bash
# The README's screenshot: the window on line to the simulator, under Xvfb.
set -euo pipefail
bin=$(cd "$1" && pwd)
out=$(realpath -m "$2")
"$bin/vl4300-sim" --dir "$bin" --port 1 --station 1 --seed 7 >/dev/null 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$bin/COM1" ] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/tallyscope-screenshot" "$out"
echo "Saved $out"
