#!/usr/bin/env bash
# The real program, offscreen, against vl4300-sim: how long a DC+DI+DO poll cycle
# takes against the wire time of its bytes, and what polling every second costs in
# CPU, for a still module (--seed 0) and a living one (the simulator's default),
# each protocol, with the window alone, the line monitor open and the trend chart
# open on "10 min", and for the idle window off line.
#
#   bench/line_bench.sh [options] [BIN_DIR]
#     --against DIR   also run the build in DIR (its tallyscope and vl4300-sim),
#                     interleaved run by run with BIN_DIR's, and print both and
#                     their ratio (BIN_DIR / DIR)
#     --seconds N     CPU measured over N one-second cycles per run (default 20)
#     --module M      still, living or both (default both)
#     --protocols P   e.g. "0 2" (default "0 1 2": Korvi, Modbus Ascii, Modbus RTU)
#     --views V       e.g. "window trend" (default "window line trend")
#     --no-cpu        only the cycle times
#     --baud B        line speed of the cycle-time table (default 19200)
#
# BIN_DIR (default build/bin) holds tallyscope, vl4300-sim, tallyscope-line-bench
# and tallyscope-bench-driver.so. The driver is preloaded into each program run
# and works the window by its controls' names only, so it measures any build the
# same way. The CPU is the program's own (the scheduler's count) from the end of a settling
# time; wake-ups are its voluntary context switches per second.
set -euo pipefail

against=""
seconds=20
module=both
protocols="0 1 2"
chosenViews="window line trend"
cpu=1
baud=19200
bin=""
while [ $# -gt 0 ]; do
    case "$1" in
        --against) against=$(cd "$2" && pwd); shift 2 ;;
        --seconds) seconds=$2; shift 2 ;;
        --module) module=$2; shift 2 ;;
        --protocols) protocols=$2; shift 2 ;;
        --views) chosenViews=$2; shift 2 ;;
        --no-cpu) cpu=0; shift ;;
        --baud) baud=$2; shift 2 ;;
        -h|--help) sed -n '2,23p' "$0"; exit 0 ;;
        *) bin=$(cd "$1" && pwd); shift ;;
    esac
done
bin=${bin:-$(cd build/bin && pwd)}
driver="$bin/tallyscope-bench-driver.so"
for f in "$bin/tallyscope" "$bin/vl4300-sim" "$driver" ${against:+"$against/tallyscope"}; do
    [ -e "$f" ] || { echo "missing: $f" >&2; exit 2; }
done

work=$(mktemp -d -t tallyscope-bench.XXXXXX)
sim=""
stop_sim() {
    if [ -n "$sim" ]; then
        kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
        sim=""
    fi
}
trap 'stop_sim; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "$XDG_RUNTIME_DIR"

# One folder per build: the program finds port 1 (the simulator's link) and its
# settings file beside itself, so each build gets a copy of its binary there.
for name in this other; do
    mkdir -p "$work/$name"
done
cp "$bin/tallyscope" "$work/this/"
[ -n "$against" ] && cp "$against/tallyscope" "$work/other/"

# start_sim SEED: the simulator linked as COM1 in both folders.
start_sim() {
    stop_sim
    local seedArg=()
    [ -n "$1" ] && seedArg=(--seed "$1")
    rm -f "$work/this/COM1" "$work/other/COM1"
    "$bin/vl4300-sim" --dir "$work/this" --port 1 --station 1 "${seedArg[@]}" >/dev/null 2>&1 &
    sim=$!
    for _ in $(seq 50); do
        [ -L "$work/this/COM1" ] && break
        sleep 0.1
    done
    ln -sf "$(readlink "$work/this/COM1")" "$work/other/COM1"
}

# run BUILD PLAN: one program run under the driver; prints the driver's line.
run() {
    local dir="$work/$1"
    rm -rf "$dir/InitialVL4300.ini" "$dir/config"
    XDG_CONFIG_HOME="$dir/config" TALLY_BENCH="$2" LD_PRELOAD="$driver" \
        timeout $((seconds + 60)) "$dir/tallyscope" 2>/dev/null | tail -n 1
}

names=("Korvi" "Modbus Ascii" "Modbus RTU")
percent() { awk -v c="$1" -v w="$2" 'BEGIN { printf "%.2f", 100 * c / w }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# The wire-time table of this build, from the engine's own line events.
start_sim 0
echo "| Protocol | Baud | Wire time, requests + answers (ms) | Median cycle (ms) | Range (ms) | Cycles |"
echo "|---|---|---|---|---|---|"
for p in $protocols; do
    "$bin/tallyscope-line-bench" cycles "$work/this" "$p" 21 "$baud" 2>/dev/null || true
done

if [ -n "$against" ]; then
    echo
    echo "Median single DC+DI+DO cycle at 19200 Bd, living module (ms), this build / other build:"
    echo
    echo "| Protocol | This build | Other build | Ratio |"
    echo "|---|---|---|---|"
    start_sim ""
    for p in $protocols; do
        a=$(run this "cycles $p 21" | awk '{print $2}')
        b=$(run other "cycles $p 21" | awk '{print $2}')
        echo "| ${names[$p]} | $a | $b | $(ratio "$a" "$b") |"
    done
fi

[ "$cpu" -eq 1 ] || exit 0

echo
echo "CPU while polling DC+DI+DO every second, $seconds s per run (% of one core; wake-ups per second):"
echo
if [ -n "$against" ]; then
    echo "| Module | Protocol | Open | This build | Wake-ups | Other build | Wake-ups | Ratio |"
    echo "|---|---|---|---|---|---|---|---|"
else
    echo "| Module | Protocol | Open | CPU | Wake-ups |"
    echo "|---|---|---|---|---|"
fi
views=(window line trend)
viewNames=("window alone" "line monitor" "trend chart, 10 min")
# measure BUILD PLAN: "<cpu %> <wake-ups/s>"
measure() {
    run "$1" "$2" | awk '{ if ($3 > 0) printf "%.2f %.1f", 100 * $2 / $3, $4 / $3; else print "- -" }'
}
row() {
    local label=$1 plan=$2
    read -r ta tw <<<"$(measure this "$plan")"
    if [ -n "$against" ]; then
        read -r oa ow <<<"$(measure other "$plan")"
        echo "| $label | $ta | $tw | $oa | $ow | $(ratio "$ta" "$oa") |"
    else
        echo "| $label | $ta | $tw |"
    fi
}
case "$module" in
    still) seeds=(0) ;;
    living) seeds=("") ;;
    *) seeds=(0 "") ;;
esac
for seed in "${seeds[@]}"; do
    start_sim "$seed"
    moduleName=$([ "$seed" = 0 ] && echo still || echo living)
    for p in $protocols; do
        for v in 0 1 2; do
            [[ " $chosenViews " == *" ${views[$v]} "* ]] || continue
            row "$moduleName | ${names[$p]} | ${viewNames[$v]}" "cpu $p ${views[$v]} 3 $seconds"
        done
    done
done
stop_sim
row "- | idle, off line | window alone" "cpu -1 window 3 $seconds"
