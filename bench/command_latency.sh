#!/usr/bin/env bash
# How long an MQTT command takes to act: from its publish to the simulator
# having switched the output, while a headless run polls eight stations every
# second. A throw-away mosquitto broker on a free port (never the system's
# service), one multi-drop simulator, one run with --allow 1-8:do. Commands go
# at random moments of the cycle, one at a time, to station 1's output 1, from
# one lasting mosquitto_pub; the simulator's stats file (rewritten after every
# request) says when the output changed.
#
#   bench/command_latency.sh [--samples N] [--baud B] [--protocol P] [BIN_DIR]
#
# Defaults: 40 samples, 19200 baud, korvi, DC+DI+DO. Prints the median, the 95th
# percentile and the longest, in milliseconds.
set -euo pipefail

samples=40
baud=19200
protocol=korvi
bin=""
while [ $# -gt 0 ]; do
    case "$1" in
        --samples) samples=$2; shift 2 ;;
        --baud) baud=$2; shift 2 ;;
        --protocol) protocol=$2; shift 2 ;;
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
        *) bin=$(cd "$1" && pwd); shift ;;
    esac
done
bin=${bin:-$(cd build/bin && pwd)}
broker_bin=$(command -v mosquitto || echo /usr/sbin/mosquitto)
for f in "$bin/tallyscope" "$bin/vl4300-sim" "$broker_bin"; do
    [ -x "$f" ] || { echo "missing: $f" >&2; exit 2; }
done

work=$(mktemp -d -t tallyscope-command-bench.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\nuser %s\n' \
    "$port" "$(id -un)" > "$work/mosquitto.conf"
"$broker_bin" -c "$work/mosquitto.conf" 2>/dev/null & pids+=($!)
"$bin/vl4300-sim" --dir "$work" --port 1 --station 1-8 --stats "$work/stats.json" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    [ -L "$work/COM1" ] && (: </dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
    sleep 0.1
done
"$bin/tallyscope" --headless --port "$work/COM1" --baud "$baud" --station 1-8 \
    --protocol "$protocol" --every 1 --read dc,di,do --mqtt "mqtt://127.0.0.1:$port" \
    --mqtt-prefix bench --allow 1-8:do 2>"$work/run.err" & pids+=($!)
sleep 3

python3 - "$work/stats.json" "$port" "$samples" <<'EOF'
import json, random, subprocess, sys, time
stats, port, samples = sys.argv[1], sys.argv[2], int(sys.argv[3])
pub = subprocess.Popen(["mosquitto_pub", "-p", port, "-q", "1", "-t", "bench/1/do/1/set", "-l"],
                       stdin=subprocess.PIPE, text=True)
time.sleep(0.5)

def output1():
    while True:
        try:
            with open(stats) as f:
                return json.load(f)["stations"]["1"]["state"]["outputs"][0]
        except (ValueError, KeyError, OSError):
            time.sleep(0.0005)

times = []
for i in range(samples):
    want = "1" if output1() == "0" else "0"
    time.sleep(random.uniform(0.2, 1.2))
    pub.stdin.write(("ON" if want == "1" else "OFF") + "\n")
    pub.stdin.flush()
    start = time.monotonic()
    while output1() != want:
        if time.monotonic() - start > 5:
            sys.exit("no switch within 5 s")
        time.sleep(0.0005)
    times.append((time.monotonic() - start) * 1000)
pub.stdin.close()
pub.wait()
times.sort()
print(f"{len(times)} commands: median {times[len(times) // 2]:.1f} ms, "
      f"p95 {times[int(len(times) * 0.95) - 1]:.1f} ms, longest {times[-1]:.1f} ms")
EOF
