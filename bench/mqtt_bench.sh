#!/usr/bin/env bash
# Publishing's cost and completeness: the headless program polling many stations
# of the multi-drop simulator every second, once writing the CSV only and once
# writing the CSV and publishing to a mosquitto broker started here (a throw-away
# configuration on a free port, never the system's service).
#
#   bench/mqtt_bench.sh [--stations LIST] [--seconds N] [--baud B] [--protocol P] [BIN_DIR]
#
# Defaults: stations 0-31, 120 s measured after 5 s of settling, 57600 baud,
# korvi, DC+DI+DO. Prints per run the CPU share of one core (the program's own
# user+system time from /proc), the resident memory at the start and the end of
# the measured span, and for the publishing run the state messages a subscriber
# received against the CSV rows of the same run (every row must arrive).
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
        -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
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
"$bin/vl4300-sim" --dir "$work" --port 1 --station "$stations" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -L "$work/COM1" ] && break; sleep 0.1; done

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# run NAME [extra options...]: prints "cpu% rssStart rssEnd rows"
run() {
    local name=$1; shift
    local csv="$work/$name.csv"
    "$bin/tallyscope" --headless --port "$work/COM1" --baud "$baud" --station "$stations" \
        --protocol "$protocol" --every 1 --read dc,di,do --csv "$csv" "$@" 2>"$work/$name.err" &
    local p=$!
    sleep 5
    local c0 r0 t0 c1 r1 t1
    c0=$(cpu_ticks $p); r0=$(rss_kb $p); t0=$(date +%s.%N)
    sleep "$seconds"
    c1=$(cpu_ticks $p); r1=$(rss_kb $p); t1=$(date +%s.%N)
    kill -TERM $p
    wait $p || true
    local rows=$(( $(wc -l < "$csv") - 1 ))
    awk -v c="$((c1 - c0))" -v hz="$ticks" -v t0="$t0" -v t1="$t1" -v r0="$r0" -v r1="$r1" -v rows="$rows" \
        'BEGIN { printf "%.3f %d %d %d\n", 100 * c / hz / (t1 - t0), r0, r1, rows }'
}

echo "stations $stations, $protocol at $baud baud, DC+DI+DO every second, ${seconds} s measured"
read -r cpuA rssA0 rssA1 rowsA < <(run csv)
mosquitto_sub -p "$port" -q 1 -t 'bench/+/state' > "$work/received.txt" & sub=$!; pids+=($sub)
sleep 0.5
read -r cpuB rssB0 rssB1 rowsB < <(run mqtt --mqtt "mqtt://127.0.0.1:$port" --mqtt-prefix bench)
sleep 1
received=$(wc -l < "$work/received.txt")
printf '%-14s %8s %14s %14s %8s %10s\n' run "CPU %" "RSS start kB" "RSS end kB" rows messages
printf '%-14s %8s %14s %14s %8s %10s\n' "CSV only" "$cpuA" "$rssA0" "$rssA1" "$rowsA" -
printf '%-14s %8s %14s %14s %8s %10s\n' "CSV + MQTT" "$cpuB" "$rssB0" "$rssB1" "$rowsB" "$received"
awk -v a="$cpuA" -v b="$cpuB" 'BEGIN { printf "MQTT costs %.3f %% of one core\n", b - a }'
if [ "$received" -ge "$rowsB" ]; then echo "every row arrived as a message"; else
    echo "MISSING: $((rowsB - received)) messages"; tail -3 "$work/mqtt.err"; exit 1; fi
