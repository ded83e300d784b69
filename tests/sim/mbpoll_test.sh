#!/bin/sh
# A third-party Modbus RTU master (mbpoll) against vl4300-sim over its
# pseudo-terminal: writes and reads coils 0-7, reads 32 holding registers, and
# checks every value against the state the simulator reports in its --stats
# file (rewritten before each answer leaves).
# Usage: mbpoll_test.sh path/to/vl4300-sim
set -u
SIM=$1
command -v mbpoll >/dev/null 2>&1 || { echo "mbpoll not installed: skipped"; exit 77; }

WORK=$(mktemp -d)
SIM_PID=
trap '[ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null; rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*"; [ -f "$WORK/log.txt" ] && cat "$WORK/log.txt"; exit 1; }

"$SIM" --seed 7 --dir "$WORK" --stats "$WORK/stats.json" --log "$WORK/log.txt" \
    >"$WORK/out" 2>"$WORK/err" &
SIM_PID=$!
i=0
while [ ! -s "$WORK/out" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "simulator printed no device path"
    sleep 0.05
done
DEV=$(head -n 1 "$WORK/out")

# PDU addressing (-0), one poll (-1), the module's default line settings; values
# to write follow the device.
poll() { mbpoll -m rtu -a 1 -b 19200 -P none -0 -1 -o 1 "$@"; }
# The values mbpoll printed, one per line ("[8]: 	1" -> "1").
values() { sed -n 's/^\[[0-9]*\]:[[:space:]]*\([-0-9a-fA-Fx]*\).*/\1/p'; }
stat() { sed -n "s/.*\"$1\": \"\\{0,1\\}\\([0-9, ]*\\).*/\\1/p" "$WORK/stats.json" | head -n 1; }
counters() { sed -n 's/.*"counters": \[\([0-9, ]*\)\].*/\1/p' "$WORK/stats.json" | tr -d ' ' | tr ',' ' '; }

# Write all eight coils, then read them back.
poll -t 0 -r 0 "$DEV" 1 0 1 1 0 0 0 1 >"$WORK/mb" 2>&1 || fail "write coils: $(cat "$WORK/mb")"
[ "$(stat outputs)" = "10110001" ] || fail "outputs after writing coils: $(stat outputs)"
poll -t 0 -r 0 -c 8 "$DEV" >"$WORK/mb" 2>&1 || fail "read coils: $(cat "$WORK/mb")"
[ "$(values <"$WORK/mb" | tr -d '\n')" = "10110001" ] || fail "coils read: $(values <"$WORK/mb")"

# Counter k is registers 2(k-1) (high word) and 2(k-1)+1; registers 16-31 read 0.
poll -t 4:hex -r 0 -c 32 "$DEV" >"$WORK/mb" 2>&1 || fail "read registers: $(cat "$WORK/mb")"
set -- $(values <"$WORK/mb")
[ $# -eq 32 ] || fail "expected 32 registers, got $#"
[ "$(counters | wc -w)" -eq 8 ] || fail "stats hold no eight counters"
for expected in $(counters); do
    got=$(( $1 * 65536 + $2 ))
    [ "$got" = "$expected" ] || fail "counter read $got, module has $expected"
    shift 2
done
for r in "$@"; do [ $((r)) -eq 0 ] || fail "register above 15 reads $r"; done
[ "$(counters)" != "0 0 0 0 0 0 0 0" ] || fail "seeded counters should not all be 0"

kill -TERM "$SIM_PID"
wait "$SIM_PID"; rc=$?
SIM_PID=
[ $rc -eq 0 ] || fail "simulator exit code $rc"
grep -q '"overlaps": 0,' "$WORK/stats.json" || fail "overlaps reported"
grep -q '"rtu_early": 0,' "$WORK/stats.json" || fail "early RTU requests reported"

echo "mbpoll against vl4300-sim: OK"
