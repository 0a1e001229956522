#!/usr/bin/env bash
# Times the default run with fast replies through ser2net (RFC 2217, on the loopback) against
# the same run on a local pty, both against a fresh simulated arm that sends its bytes at the
# pace of a 9600 baud line, found from 9600 stored. The runs take turns, three each; goal: the
# median through the server at most 10% above the local median.
#
# The server's accepter asks for nodelay: without it the server's TCP holds each later piece
# of a reply until this side has acknowledged the one before (Nagle), and this side delays
# its acknowledgements, which costs milliseconds on every reply. The same run through a
# server with ser2net's own defaults is shown beside it, outside the goal.
#
# Usage: scripts/bench_network_run.sh [BUILD_DIR]   (default build-bench/, built when missing)
set -euo pipefail

cd "$(dirname "$0")/.."
source scripts/lib.sh
lib_bench_start network "$@"
cleanup() {
    lib_stop_pids
    rm -rf "$WORK"
}
lib_on_exit cleanup

# A copy of armlink, so that its log beside it is its own.
cp "$BUILD/armlink" "$WORK/armlink"
export XDG_CONFIG_HOME="$WORK/config"
export XDG_STATE_HOME="$WORK/state"
mkdir -p "$XDG_CONFIG_HOME/armlink"
export ARMLINK_COM1="$WORK/no-port-1"
export ARMLINK_COM3="$WORK/no-port-3"
export ARMLINK_COM4="$WORK/no-port-4"
# The arm of bench_fast_run.sh: two records pending.
printf 'baud 9600\nerror 104 2 0 1A 0 0 0\nerror 20008 1 10 0 0 0 0\n' >"$WORK/arm.scenario"
nPort=$(lib_free_port)
lib_start_ser2net "$WORK/nodelay" "telnet(rfc2217),tcp(nodelay)" "$nPort" "$WORK/arm" 9600
nPlainPort=$(lib_free_port)
lib_start_ser2net "$WORK/plain" "telnet(rfc2217),tcp" "$nPlainPort" "$WORK/arm" 9600

# run_ms COM2: one default run with COM2 mapped so, against a fresh arm; sets RUN_MS to its
# wall time in ms.
run_ms() {
    local nStart nEnd nRc=0
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]\nCommParam=2 9600 n 8 1\n' \
        >"$XDG_CONFIG_HOME/armlink/settings.ini"
    lib_start_armsim "$BUILD/armsim" "$WORK/armsim.out" "$WORK/armsim.err" --pace \
        --scenario "$WORK/arm.scenario" --link "$WORK/arm" || exit 1
    nStart=${EPOCHREALTIME/./}
    ARMLINK_COM2=$1 timeout -k 2 60 "$WORK/armlink" --plain --fast >"$WORK/out" 2>"$WORK/err" \
        </dev/null || nRc=$?
    nEnd=${EPOCHREALTIME/./}
    lib_stop_pid "$LIB_SIM_PID"
    if [ "$nRc" -ne 0 ] || ! grep -qx 'status: Done' "$WORK/out"; then
        echo "The run on $1 did not complete (exit status $nRc):" >&2
        cat "$WORK/out" "$WORK/err" >&2
        exit 1
    fi
    RUN_MS=$(((nEnd - nStart) / 1000))
}

szLocal="" szNetwork="" szPlain=""
for _ in 1 2 3; do
    run_ms "$WORK/arm"
    szLocal+="$RUN_MS "
    run_ms "rfc2217://127.0.0.1:$nPort"
    szNetwork+="$RUN_MS "
    run_ms "rfc2217://127.0.0.1:$nPlainPort"
    szPlain+="$RUN_MS "
done
median() { tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort -n | sed -n 2p; }
awk -v ml="$(median "$szLocal")" -v mn="$(median "$szNetwork")" -v mp="$(median "$szPlain")" \
    -v l="$szLocal" -v n="$szNetwork" -v p="$szPlain" 'BEGIN {
    ratio = mn / ml
    printf "local pty                         wall %5d ms  (runs: %s)\n", ml, l
    printf "ser2net, nodelay                  wall %5d ms  (runs: %s) ser2net/local %.3f\n", mn, n, ratio
    printf "ser2net, its defaults (no goal)   wall %5d ms  (runs: %s) ser2net/local %.3f\n", mp, p, mp / ml
    printf "goal: ser2net, nodelay / local <= 1.10  %s\n", ratio <= 1.10 ? "PASS" : "FAIL"
    exit ratio > 1.10
}' || exit 1
