#!/usr/bin/env bash
# The program's engine, in the real window offscreen, against vl4300-sim: the
# median DC+DI+DO cycle per protocol against the wire time of its bytes, and
# optionally the CPU that polling every second costs.
#
#   bench/line_bench.sh [BIN_DIR] [BAUD] [CPU_SECONDS]
#
# BIN_DIR defaults to build/bin, BAUD to 19200; CPU_SECONDS (e.g. 60) adds the
# CPU measurement for each protocol, without and with the line monitor open, and
# for the idle window.
set -euo pipefail

bin=$(cd "${1:-build/bin}" && pwd)
baud=${2:-19200}
cpu=${3:-0}
dir=$(mktemp -d -t tallyscope-bench.XXXXXX)

"$bin/vl4300-sim" --dir "$dir" --port 1 --station 1 --seed 0 >/dev/null 2>&1 &
sim=$!
stop() {
    kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    rm -rf "$dir"
}
trap stop EXIT
for _ in $(seq 50); do
    [ -L "$dir/COM1" ] && break
    sleep 0.1
done

export QT_QPA_PLATFORM=offscreen
echo "| Protocol | Baud | Wire time, requests + answers (ms) | Median cycle (ms) | Range (ms) | Cycles |"
echo "|---|---|---|---|---|---|"
for protocol in 0 1 2; do
    "$bin/tallyscope-line-bench" cycles "$dir" "$protocol" 21 "$baud" 2>/dev/null
done

if [ "$cpu" -gt 0 ]; then
    echo
    for protocol in 0 1 2; do
        "$bin/tallyscope-line-bench" cpu "$dir" "$cpu" "$protocol" 2>/dev/null
        "$bin/tallyscope-line-bench" cpu "$dir" "$cpu" "$protocol" monitor 2>/dev/null
    done
    "$bin/tallyscope-line-bench" cpu "$dir" "$cpu" 2>/dev/null
fi
