#!/usr/bin/env bash
# Builds armlink and the simulated arm, and runs armlink against the arm on COM2 (at 19200 8N1):
# by default one error-log retrieval (two pending error records), then the entry it appended to
# the log; with "/stats" the live statistics of an arm whose counters move (one wraps through
# FFFFFFFF, one goes down) and that reports two errors while it is watched, then the entries of
# its logging passes; with "/extended" the extended error display of the arm with two records.
#
# Usage: scripts/demo.sh [/stats | /extended]
set -euo pipefail

MODE=${1:-}
case "$MODE" in
    "" | /stats | /STATS | /extended | /EXTENDED) ;;
    *)
        echo "usage: scripts/demo.sh [/stats | /extended]" >&2
        exit 2
        ;;
esac

cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="$ROOT/build-demo"
source "$ROOT/scripts/lib.sh"
lib_on_error lib_complain demo:

# What the build needs: a compiler, CMake with make, the ncurses and gensio headers. Installed with
# apt-get when run as root and something is missing; otherwise named.
lib_need_command cmake cmake
lib_need_command make make
lib_need_command g++ g++
[ -f /usr/include/curses.h ] || lib_need_file /usr/include/ncurses.h libncurses-dev
lib_need_file /usr/include/gensio/gensio.h libgensio-dev
nInstall=0
lib_install_missing demo || nInstall=$?
if [ "$nInstall" -eq 1 ]; then
    echo "The build needs: ${LIB_MISSING[*]}" >&2
    echo "Install them (for example: sudo apt-get install ${LIB_MISSING[*]}) or run this as root." >&2
    exit 1
elif [ "$nInstall" -ne 0 ]; then
    exit 1
fi

echo "Building armlink and armsim in build-demo/ ..."
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARMLINK_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target armlink armsim >/dev/null

WORK=$(mktemp -d "${TMPDIR:-/tmp}/armlink-demo.XXXXXX")
cleanup() {
    lib_stop_pids
    rm -rf "$WORK"
}
lib_on_exit cleanup

cat >"$WORK/arm.scenario" <<'SCENARIO'
# The demo arm: COM2 at 19200 8N1, firmware 4.60.
baud 19200
framing 8n1
arm ARM01
calibrated YES
version 4.60
SCENARIO
if [ "$MODE" = /stats ] || [ "$MODE" = /STATS ]; then
    cat >>"$WORK/arm.scenario" <<'SCENARIO'
# Watched: captures wrap through FFFFFFFF at the fifth poll, CRC errors go down, the point
# period grows; errors at the fourth and ninth poll, each with a record that turns up then.
counters FFFFFFF0 10 8 0 0 0 0 FA 0
counter_step 3 2 -1 0 1 0 0 4 0
stats_status_seq 0 0 0 4 0 0 0 0 0x20C
error_after_poll 4 104 2 0 1A 0 0 0
error_after_poll 9 20008 1 10 0 0 0 0
SCENARIO
else
    cat >>"$WORK/arm.scenario" <<'SCENARIO'
# Two pending error records.
error 104 2 0 1A 0 0 0
error 20008 1 10 0 0 0 0
counters 1F40 3 0 1 2 0 0 FA 0
SCENARIO
fi
if ! lib_start_armsim "$BUILD/armsim" "$WORK/armsim.out" "$WORK/armsim.err" \
    --scenario "$WORK/arm.scenario" --link "$WORK/com2"; then
    echo "The simulated arm did not start." >&2
    exit 1
fi

# COM2 is the simulated arm; the other ports lead nowhere; the settings live in a throw-away
# directory, so the demo leaves the user's own settings alone.
export ARMLINK_COM1="$WORK/no-port-1"
export ARMLINK_COM2="$WORK/com2"
export ARMLINK_COM3="$WORK/no-port-3"
export ARMLINK_COM4="$WORK/no-port-4"
export XDG_CONFIG_HOME="$WORK/config"

LOG="$BUILD/ErrorLog.zlg"
nBefore=0
if [ -f "$LOG" ]; then
    nBefore=$(stat -c %s "$LOG")
fi

echo "Simulated arm on $LIB_SIM_PTY, mapped as COM2."
status=0
if [ "$MODE" = /extended ] || [ "$MODE" = /EXTENDED ]; then
    if [ -t 0 ] && [ -t 1 ]; then
        echo "The search takes a few seconds. Then c (or Enter) runs a Check (about 17 s),"
        echo "s saves the report (type the path, Enter), Esc or q closes the dialog."
        sleep 2
        "$BUILD/armlink" /extended || status=$?
    else
        "$BUILD/armlink" --plain /extended --checks 1 || status=$?
    fi
    exit "$status"
fi
if [ -n "$MODE" ] && [ -t 0 ] && [ -t 1 ]; then
    echo "The counters come every 3 s; the errors at the fourth and ninth poll each bring a"
    echo "logging pass of about 15 s. Press Enter (or Esc, or q) to close the dialog."
    sleep 2
    "$BUILD/armlink" /stats || status=$?
elif [ -n "$MODE" ]; then
    "$BUILD/armlink" --plain /stats --polls 10 || status=$?
elif [ -t 0 ] && [ -t 1 ]; then
    echo "The search takes a few seconds, the entry about 17 s more."
    echo "When the dialog shows Done, press Enter (or Esc, or q) to close it."
    sleep 2
    "$BUILD/armlink" || status=$?
else
    "$BUILD/armlink" --plain || status=$?
fi

echo
if [ -f "$LOG" ] && [ "$(stat -c %s "$LOG")" -gt "$nBefore" ]; then
    echo "What was appended to $LOG:"
    tail -c +"$((nBefore + 1))" "$LOG" | tr -d '\r'
else
    echo "No entry was appended to $LOG (armlink ended with status $status)."
fi
exit "$status"
