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
#     --module M      still, living or both (default both; both adds the idle row)
#     --protocols P   e.g. "0 2" (default "0 1 2": Korvi, Modbus Ascii, Modbus RTU)
#     --views V       e.g. "window trend" (default "window line trend"; also
#                     "stations": the Stations view open, listing station 1)
#     --no-cpu        only the cycle times
#     --baud B        line speed of the cycle-time table (default 19200)
#     --plain NAMES   also run this build with TALLYSCOPE_PLAIN_PAINT=NAMES (1 for
#                     stock Qt painting, or technique names, comma-separated) as
#                     the other build, when there is no --against
#     --instructions  count instructions under callgrind instead of CPU time
#                     (repeatable on a loaded machine; runs are ~50x slower)
#
# BIN_DIR (default build/bin) holds tallyscope, vl4300-sim, tallyscope-line-bench
# and tallyscope-bench-window-driver.so. The driver is preloaded into each program run
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
plain=""
instructions=0
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
        --plain) plain=$2; shift 2 ;;
        --instructions) instructions=1; shift ;;
        -h|--help) sed -n '2,29p' "$0"; exit 0 ;;
        *) bin=$(cd "$1" && pwd); shift ;;
    esac
done
bin=${bin:-$(cd build/bin && pwd)}
driver="$bin/tallyscope-bench-window-driver.so"
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
# The same build, its painting techniques turned off, stands for the other one.
if [ -z "$against" ] && [ -n "$plain" ]; then
    cp "$bin/tallyscope" "$work/other/"
    against=$bin
fi

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

# run BUILD PLAN: one program run under the driver; prints the driver's line
# (under callgrind, the instructions counted stand in the place of CPU seconds and
# those of the window's painting, QWidgetRepaintManager::sync, in that of wake-ups).
run() {
    local dir="$work/$1" plainPaint=""
    [ "$1" = other ] && plainPaint=$plain
    rm -rf "$dir/InitialVL4300.ini" "$dir/config" "$dir/callgrind.out"
    local launch=(timeout $((seconds + 60)) "$dir/tallyscope")
    [ "$instructions" -eq 1 ] && launch=(timeout $((seconds + 300)) valgrind --tool=callgrind
        --instr-atstart=no --callgrind-out-file="$dir/callgrind.out" "$dir/tallyscope")
    local line
    line=$(XDG_CONFIG_HOME="$dir/config" TALLY_BENCH="$2" TALLYSCOPE_PLAIN_PAINT="$plainPaint" \
        LD_PRELOAD="$driver" "${launch[@]}" 2>/dev/null | tail -n 1)
    if [ "$instructions" -eq 1 ] && [[ "$line" == cpu* ]]; then
        local ir paint
        ir=$(awk '/^totals:/ { print $2; exit }' "$dir/callgrind.out")
        paint=$(callgrind_annotate --inclusive=yes "$dir/callgrind.out" 2>/dev/null |
            awk '/QWidgetRepaintManager::sync\(\)/ { gsub(",", "", $1); print $1; exit }')
        line=$(echo "$line" | awk -v ir="$ir" -v p="${paint:-0}" '{ $2 = ir; $4 = p; print }')
    fi
    echo "$line"
}

names=("Korvi" "Modbus Ascii" "Modbus RTU")
percent() { awk -v c="$1" -v w="$2" 'BEGIN { printf "%.2f", 100 * c / w }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# The wire-time table of this build, from the engine's own line events (cycle
# times are wall times, not counted under callgrind).
[ "$instructions" -eq 1 ] && cpu=2
[ "$cpu" -eq 2 ] || {
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
}

[ "$cpu" -ge 1 ] || exit 0

echo
if [ "$instructions" -eq 1 ]; then
    echo "Instructions while polling DC+DI+DO every second, $seconds s per run (millions per"
    echo "second: all, and the window's painting in the wake-ups' columns):"
else
    echo "CPU while polling DC+DI+DO every second, $seconds s per run (% of one core; wake-ups per second):"
fi
echo
if [ -n "$against" ]; then
    echo "| Module | Protocol | Open | This build | Wake-ups | Other build | Wake-ups | Ratio |"
    echo "|---|---|---|---|---|---|---|---|"
else
    echo "| Module | Protocol | Open | CPU | Wake-ups |"
    echo "|---|---|---|---|---|"
fi
views=(window line trend stations)
viewNames=("window alone" "line monitor" "trend chart, 10 min" "stations view")
# measure BUILD PLAN: "<cpu %> <wake-ups/s>"
measure() {
    if [ "$instructions" -eq 1 ]; then
        run "$1" "$2" | awk '{ if ($3 > 0) printf "%.3f %.3f", $2 / $3 / 1e6, $4 / $3 / 1e6; else print "- -" }'
    else
        run "$1" "$2" | awk '{ if ($3 > 0) printf "%.2f %.1f", 100 * $2 / $3, $4 / $3; else print "- -" }'
    fi
}
row() {
    local label=$1 plan=$2
    read -r ta tw <<<"$(measure this "$plan")"
    if [ -n "$against" ]; then
        read -r oa ow <<<"$(measure other "$plan")"
        local also=""
        [ "$instructions" -eq 1 ] && also=" (painting $(ratio "$tw" "$ow"))"
        echo "| $label | $ta | $tw | $oa | $ow | $(ratio "$ta" "$oa")$also |"
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
        for v in 0 1 2 3; do
            [[ " $chosenViews " == *" ${views[$v]} "* ]] || continue
            row "$moduleName | ${names[$p]} | ${viewNames[$v]}" "cpu $p ${views[$v]} 3 $seconds"
        done
    done
done
stop_sim
[ "$module" = both ] && row "- | idle, off line | window alone" "cpu -1 window 3 $seconds"
exit 0
