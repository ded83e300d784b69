#!/usr/bin/env bash
# Publishing's cost and completeness: two headless runs at the same time, each
# polling its own multi-drop simulator (same stations and options) every
# second, one writing the CSV only and one writing the CSV and publishing to a
# mosquitto broker started here (a throw-away configuration on a free port,
# never the system's service). Running side by side, both see the same load
# from the rest of the machine, so their difference is publishing's own cost.
#
#   bench/mqtt_bench.sh [--stations LIST] [--seconds N] [--baud B] [--protocol P] [BIN_DIR]
#
# Defaults: stations 0-31, 120 s measured after 5 s of settling, 57600 baud,
# korvi, DC+DI+DO. Prints per run the CPU share of one core (the program's own
# user+system time from /proc), the resident memory at the start and the end of
# the measured span, and for the publishing run the state messages a subscriber
# received against the CSV rows of the same run (every row must arrive); then
# the difference, split into the network thread's share and the main thread's.
set -euo pipefail

stations=0-31
seconds=120
baud=57600
protocol=korvi
bin=""
while [ $# -gt 0 ]; do
    case "$1" in
        --stations) stations=$2; shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --baud) baud=$2; shift 2 ;;
        --protocol) protocol=$2; shift 2 ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        *) bin=$(cd "$1" && pwd); shift ;;
    esac
done
bin=${bin:-$(cd build/bin && pwd)}
broker_bin=$(command -v mosquitto || echo /usr/sbin/mosquitto)
for f in "$bin/tallyscope" "$bin/vl4300-sim" "$broker_bin"; do
    [ -x "$f" ] || { echo "missing: $f" >&2; exit 2; }
done
command -v mosquitto_sub >/dev/null || { echo "missing: mosquitto_sub" >&2; exit 2; }

work=$(mktemp -d -t tallyscope-mqtt-bench.XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence false\nlog_dest none\nmax_queued_messages 1000000\nuser %s\n' \
    "$port" "$(id -un)" > "$work/mosquitto.conf"
"$broker_bin" -c "$work/mosquitto.conf" 2>/dev/null & pids+=($!)
# One simulator per run: COM1 for the CSV-only run, COM2 for the publishing one.
for n in 1 2; do
    "$bin/vl4300-sim" --dir "$work" --port $n --station "$stations" >/dev/null 2>&1 & pids+=($!)
done
for _ in $(seq 50); do
    [ -L "$work/COM1" ] && [ -L "$work/COM2" ] && (: </dev/tcp/127.0.0.1/"$port") 2>/dev/null && break
    sleep 0.1
done
mosquitto_sub -p "$port" -q 1 -t 'bench/+/state' > "$work/received.txt" & pids+=($!)
sleep 0.5

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
# The publishing run's own thread (event loop, poll, CSV, messages) alone.
main_ticks() { awk '{print $14 + $15}' "/proc/$1/task/$1/stat"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# start NAME COM [extra options...]: starts a run, its pid in $started
start() {
    local name=$1 com=$2; shift 2
    "$bin/tallyscope" --headless --port "$work/$com" --baud "$baud" --station "$stations" \
        --protocol "$protocol" --every 1 --read dc,di,do --csv "$work/$name.csv" "$@" \
        2>"$work/$name.err" &
    started=$!
}

echo "stations $stations, $protocol at $baud baud, DC+DI+DO every second, ${seconds} s measured, both runs at once"
start csv COM1; a=$started
start mqtt COM2 --mqtt "mqtt://127.0.0.1:$port" --mqtt-prefix bench; b=$started
sleep 5
ca0=$(cpu_ticks $a); cb0=$(cpu_ticks $b); mb0=$(main_ticks $b); ra0=$(rss_kb $a); rb0=$(rss_kb $b); t0=$(date +%s.%N)
sleep "$seconds"
ca1=$(cpu_ticks $a); cb1=$(cpu_ticks $b); mb1=$(main_ticks $b); ra1=$(rss_kb $a); rb1=$(rss_kb $b); t1=$(date +%s.%N)
kill -TERM $a $b
wait $a || true
wait $b || true
sleep 1
rowsA=$(( $(wc -l < "$work/csv.csv") - 1 ))
rowsB=$(( $(wc -l < "$work/mqtt.csv") - 1 ))
received=$(wc -l < "$work/received.txt")
share() { awk -v c="$1" -v hz="$ticks" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.3f", 100 * c / hz / (t1 - t0) }'; }
cpuA=$(share $((ca1 - ca0)))
cpuB=$(share $((cb1 - cb0)))
netB=$(share $((cb1 - cb0 - mb1 + mb0)))
printf '%-14s %8s %14s %14s %8s %10s\n' run "CPU %" "RSS start kB" "RSS end kB" rows messages
printf '%-14s %8s %14s %14s %8s %10s\n' "CSV only" "$cpuA" "$ra0" "$ra1" "$rowsA" -
printf '%-14s %8s %14s %14s %8s %10s\n' "CSV + MQTT" "$cpuB" "$rb0" "$rb1" "$rowsB" "$received"
awk -v a="$cpuA" -v b="$cpuB" -v n="$netB" \
    'BEGIN { printf "MQTT costs %.3f %% of one core: %.3f %% its network thread, %.3f %% the main thread\n", b - a, n, b - a - n }'
if [ "$received" -ge "$rowsB" ]; then echo "every row arrived as a message"; else
    echo "MISSING: $((rowsB - received)) messages"; tail -3 "$work/mqtt.err"; exit 1; fi
