#!/usr/bin/env bash
# Times one default run of armlink against the simulated arm and compares it with the floor
# that the line protocol's deadlines set: CPU time at most 1% of the wall time, wall time within
# 1% of the floor.
#
# Usage: scripts/bench_default_run.sh [BUILD_DIR]   (default build-bench/, built when missing)
#
# The floor: the run cannot end before every deadline it has to wait out has passed.
#   1. The search. The arm sits at the stored settings (COM2, 9600 8N1), so the first "_I" is
#      answered. The echo wait ends early only once 14 bytes are queued; the echo
#      "9600 n 8 1" CR LF is 12 bytes, so the wait runs to its reply limit, 10300000 / 9600 =
#      1072 ms (integer division; the wait ends on the first poll past it).
#   2. The controller's 500 ms tick notices the finished search. The timer starts with the
#      search, so the search is noticed on the first tick at or after the echo wait: the search
#      and its notice together take the echo wait rounded up to whole ticks, 1500 ms.
#   3. The log worker's reads. Each read's first phase ends early only once the reply limit is
#      queued, and every reply is shorter than its limit, so each runs to its deadline:
#      "_G" 2000 ms (limit 270 bytes), seven "_Y1" of 2000 ms (limit 64), "_G STATS" 1000 ms
#      (limit 89): 17000 ms.
#   Floor = 1500 + 17000 = 18500 ms. The time on the line itself (a few ms per exchange), the
#   start-up and the shutdown are the overhead that the 1% must hold.
set -euo pipefail

cd "$(dirname "$0")/.."
source scripts/lib.sh
lib_bench_start default "$@"
BAUD=9600
cleanup() {
    lib_stop_pids
    rm -rf "$WORK"
}
lib_on_exit cleanup

# A copy of armlink, so that its log beside it starts empty.
cp "$BUILD/armlink" "$WORK/armlink"
printf 'baud %s\nerror 104 2 0 1A 0 0 0\nerror 20008 1 10 0 0 0 0\n' "$BAUD" >"$WORK/arm.scenario"
lib_start_armsim "$BUILD/armsim" "$WORK/armsim.out" "$WORK/armsim.err" \
    --scenario "$WORK/arm.scenario" --link "$WORK/com2" || exit 1

export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/armlink"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]\nCommParam=2 %s n 8 1\n' \
    "$BAUD" >"$XDG_CONFIG_HOME/armlink/settings.ini"
export ARMLINK_COM1="$WORK/no-port-1"
export ARMLINK_COM2="$WORK/com2"
export ARMLINK_COM3="$WORK/no-port-3"
export ARMLINK_COM4="$WORK/no-port-4"

# The floor, as derived above, from the rate.
nEchoBytes=$(printf '%s n 8 1\r\n' "$BAUD" | wc -c)
if [ "$nEchoBytes" -lt 14 ]; then
    nEchoWaitMs=$((10300000 / BAUD))
else
    nEchoWaitMs=0 # a 14-byte echo ends the wait as soon as it is in
fi
nTickMs=500
nNoticedMs=$(((nEchoWaitMs / nTickMs + 1) * nTickMs))
nEntryMs=$((2000 + 7 * 2000 + 1000))
nFloorMs=$((nNoticedMs + nEntryMs))

# Wall, user and system time of armlink alone (bash's time keyword, to the millisecond).
TIMEFORMAT='%3R %3U %3S'
nRc=0
{ time "$WORK/armlink" --plain >"$WORK/out" 2>"$WORK/err" </dev/null; } 2>"$WORK/times" || nRc=$?
read -r fWall fUser fSys <"$WORK/times"

if [ "$nRc" -ne 0 ] || ! grep -qx 'status: Done' "$WORK/out"; then
    echo "The run did not complete (exit status $nRc):" >&2
    cat "$WORK/out" "$WORK/err" >&2
    echo "FAIL"
    exit 1
fi

awk -v wall="$fWall" -v user="$fUser" -v sys="$fSys" -v echo_ms="$nEchoWaitMs" \
    -v noticed_ms="$nNoticedMs" -v entry_ms="$nEntryMs" -v floor_ms="$nFloorMs" 'BEGIN {
    cpu = user + sys
    cpu_ratio = cpu / wall
    wall_ratio = wall * 1000 / floor_ms
    printf "floor: echo wait %d ms, noticed on the tick at %d ms, entry reads %d ms: %d ms\n",
        echo_ms, noticed_ms, entry_ms, floor_ms
    printf "wall %.3f s, cpu %.3f s (user %.3f, sys %.3f)\n", wall, cpu, user, sys
    printf "cpu/wall   %.4f (at most 0.01)\n", cpu_ratio
    printf "wall/floor %.4f (at most 1.01)\n", wall_ratio
    if (cpu_ratio <= 0.01 && wall_ratio <= 1.01) {
        print "PASS"
        exit 0
    }
    print "FAIL"
    exit 1
}' || exit 1
