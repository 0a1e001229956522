#!/usr/bin/env bash
# Measures what a statistics run ("armlink --plain /stats") costs while it polls the simulated
# arm: the CPU time of armlink over a window of polls, as a share of the window's wall time (at
# most 2%), and the time per poll against the floor that the protocol sets.
#
# Usage: scripts/bench_stats_run.sh [BUILD_DIR] [POLLS]   (default build-bench/, 10 polls)
#
# The window runs from the first "sample:" line to the sample POLLS polls later, so the start-up
# and the search are not in it. The floor of one poll: the "_G STATS" read runs to its 1000 ms
# deadline (the reply is shorter than its 89-byte limit), then the 2000 ms wait on StopEvent:
# 3000 ms. A second run of three polls, with an arm that reports an error at every poll, is
# shown for information: each poll then adds a logging pass of seven 2000 ms "_Y1" reads and a
# 1000 ms "_P" read (18000 ms a poll); like every read of the serial layer, those reads sleep
# until more of the reply comes or their deadline passes, so the pass costs time, not CPU.
set -euo pipefail

cd "$(dirname "$0")/.."
source scripts/lib.sh
POLLS=${2:-10}
lib_bench_start stats "${1:-}"
# armlink is ended here, not with the library's processes: its exit status is checked.
APP_PID=
cleanup() {
    if [ -n "$APP_PID" ]; then
        kill -TERM "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
    fi
    lib_stop_pids
    rm -rf "$WORK"
}
lib_on_exit cleanup

cp "$BUILD/armlink" "$WORK/armlink"
export XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/armlink"
printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]\nCommParam=2 9600 n 8 1\n' \
    >"$XDG_CONFIG_HOME/armlink/settings.ini"
export ARMLINK_COM1="$WORK/no-port-1"
export ARMLINK_COM2="$WORK/com2"
export ARMLINK_COM3="$WORK/no-port-3"
export ARMLINK_COM4="$WORK/no-port-4"
TICK_HZ=$(getconf CLK_TCK)

cpu_ticks() {  # user + system time of a process, in clock ticks
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# Reads armlink's lines from descriptor 3, blocking (so that the watch itself costs nothing),
# until the sample line numbered N; then notes armlink's CPU ticks and the moment.
SAMPLES=0
wait_for_sample() {  # wait_for_sample N TIMEOUT_S
    local szLine
    while [ "$SAMPLES" -lt "$1" ]; do
        IFS= read -r -t "$2" szLine <&3 || return 1
        printf '%s\n' "$szLine" >>"$WORK/out"
        case "$szLine" in
            sample:*) SAMPLES=$((SAMPLES + 1)) ;;
        esac
    done
    MARK_TICKS=$(cpu_ticks "$APP_PID")
    MARK_NS=$(date +%s%N)
}

# measure NAME POLLS SCENARIO_TEXT POLL_FLOOR_MS: writes "<cpu/wall> <ms per poll>" over that
# many polls to $WORK/NAME.result.
measure() {
    local szName=$1 nPolls=$2 szScenario=$3 nFloorMs=$4
    printf '%s\n' "$szScenario" >"$WORK/$szName.scenario"
    lib_start_armsim "$BUILD/armsim" "$WORK/armsim.out" "$WORK/armsim.err" \
        --scenario "$WORK/$szName.scenario" --link "$WORK/com2" || exit 1
    rm -f "$WORK/lines" "$WORK/out"
    mkfifo "$WORK/lines"
    "$WORK/armlink" --plain /stats >"$WORK/lines" 2>"$WORK/err" </dev/null &
    APP_PID=$!
    exec 3<"$WORK/lines"
    SAMPLES=0
    local nTimeout=$((30 + nFloorMs / 1000))
    wait_for_sample 1 30 || { echo "$szName: no first sample:" >&2; cat "$WORK/out" "$WORK/err" >&2; exit 1; }
    local nTicks0=$MARK_TICKS nNs0=$MARK_NS
    wait_for_sample $((nPolls + 1)) "$nTimeout" || { echo "$szName: polls missing:" >&2; cat "$WORK/out" "$WORK/err" >&2; exit 1; }
    local nTicks1=$MARK_TICKS nNs1=$MARK_NS
    kill -TERM "$APP_PID" 2>/dev/null || true
    cat <&3 >>"$WORK/out"
    exec 3<&-
    local nRc=0
    wait "$APP_PID" || nRc=$?
    APP_PID=
    lib_stop_pids
    if [ "$nRc" -ne 0 ]; then
        echo "$szName: armlink ended with status $nRc after SIGTERM" >&2
        exit 1
    fi
    awk -v ticks=$((nTicks1 - nTicks0)) -v hz="$TICK_HZ" -v ns=$((nNs1 - nNs0)) \
        -v polls="$nPolls" 'BEGIN { wall = ns / 1e9; printf "%.4f %.0f\n", ticks / hz / wall, wall * 1000 / polls }' \
        >"$WORK/$szName.result"
}

measure quiet "$POLLS" "baud 9600
counter_step 1 0 0 0 0 0 0 0 0" 3000
measure passes 3 "baud 9600
counter_step 1 0 0 0 0 0 0 0 0
stats_status 4" 18000
read -r fQuiet nQuietMs <"$WORK/quiet.result"
read -r fPasses nPassesMs <"$WORK/passes.result"

awk -v q="$fQuiet" -v qms="$nQuietMs" -v p="$fPasses" -v pms="$nPassesMs" -v polls="$POLLS" 'BEGIN {
    printf "polling, %d polls: cpu/wall %.4f (at most 0.02), %d ms a poll (floor 3000)\n",
        polls, q, qms
    printf "a logging pass at every poll, 3 polls: cpu/wall %.4f (for information), %d ms a poll (floor 18000)\n",
        p, pms
    if (q <= 0.02) {
        print "PASS"
        exit 0
    }
    print "FAIL"
    exit 1
}' || exit 1
