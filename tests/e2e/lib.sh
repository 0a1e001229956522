# Shared set-up of the end-to-end runs: a fresh directory per test with its own copy of armlink
# shellcheck shell=bash
# (so its ErrorLog.zlg starts clean), its own settings, ports mapped only to simulated arms or to
# paths that do not exist, and every simulated arm stopped on the way out.
#
# A test script sources this file with the paths of armlink and armsim as its two arguments.

set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

E2E_ARMLINK_BIN=${1:?usage: $0 ARMLINK ARMSIM}
E2E_ARMSIM_BIN=${2:?usage: $0 ARMLINK ARMSIM}
E2E_NAME=$(basename "$0" .sh)
E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/armlink-e2e-$E2E_NAME.XXXXXX")
E2E_FAILURES=0

e2e_cleanup() {
    lib_stop_pids
    if [ "$E2E_FAILURES" -eq 0 ] && [ -z "${E2E_KEEP:-}" ]; then
        rm -rf "$E2E_DIR"
    else
        echo "$E2E_NAME: files kept in $E2E_DIR" >&2
    fi
}
lib_on_exit e2e_cleanup

cp "$E2E_ARMLINK_BIN" "$E2E_DIR/armlink"
# The runs use fast replies (--fast): each read ends once its reply is complete, so a run takes
# the time its bytes take. A script whose subject is the full waits (the deadlines, or a moment
# inside a read) sets E2E_FULL_WAITS=1 before it sources this file; ARMLINK_FULL_WAITS starts
# one run with the full waits in a script that otherwise uses fast replies.
ARMLINK_FULL_WAITS="$E2E_DIR/armlink"
ARMLINK=$ARMLINK_FULL_WAITS
if [ -z "${E2E_FULL_WAITS:-}" ]; then
    # A starter that execs the program with --fast first: the pid, the signals and the exit
    # status are the program's own, and the program still lives beside its log.
    mkdir "$E2E_DIR/with-fast-replies"
    printf '#!/bin/sh\nexec '"'"'%s'"'"' --fast "$@"\n' "$ARMLINK_FULL_WAITS" >"$E2E_DIR/with-fast-replies/armlink"
    chmod +x "$E2E_DIR/with-fast-replies/armlink"
    ARMLINK="$E2E_DIR/with-fast-replies/armlink"
fi
LOG_FILE="$E2E_DIR/ErrorLog.zlg"
export XDG_CONFIG_HOME="$E2E_DIR/config"
# An entry the log could not take is kept here, never in the machine's own state directory.
export XDG_STATE_HOME="$E2E_DIR/state"
mkdir -p "$XDG_CONFIG_HOME"
SETTINGS_FILE="$XDG_CONFIG_HOME/armlink/settings.ini"
# Never the machine's own ports: every COMn points into the test directory.
export ARMLINK_COM1="$E2E_DIR/no-such-port-1"
export ARMLINK_COM2="$E2E_DIR/no-such-port-2"
export ARMLINK_COM3="$E2E_DIR/no-such-port-3"
export ARMLINK_COM4="$E2E_DIR/no-such-port-4"

fail() {
    echo "FAIL: $E2E_NAME: $*" >&2
    E2E_FAILURES=$((E2E_FAILURES + 1))
}

pass() {
    echo "ok: $*"
}

# A command that fails outside a check ends the test (set -e): it counts as a failed check.
lib_on_error fail

# Ends the script with the verdict.
finish() {
    if [ "$E2E_FAILURES" -ne 0 ]; then
        echo "$E2E_NAME: $E2E_FAILURES check(s) failed" >&2
        exit 1
    fi
    echo "$E2E_NAME: all checks passed"
    exit 0
}

# wait_for_match FILE ERE: waits until FILE holds a line matching ERE (at most 20 s).
wait_for_match() {
    for _ in $(seq 1 400); do
        grep -qE "$2" "$1" && return 0
        sleep 0.05
    done
    return 1
}

# write_comm_param "2 9600 n 8 1": the stored line settings, as the program itself writes them.
write_comm_param() {
    mkdir -p "$(dirname "$SETTINGS_FILE")"
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]\nCommParam=%s\n' \
        "$1" >"$SETTINGS_FILE"
}

# The CommParam value stored now, empty when there is none; lines may end in LF, CR LF or CR.
stored_comm_param() {
    [ -f "$SETTINGS_FILE" ] || return 0
    tr '\r' '\n' <"$SETTINGS_FILE" | sed -n 's/^CommParam=//p'
}

# start_sim NAME SCENARIO_TEXT: starts a simulated arm linked at $E2E_DIR/NAME, recording into
# $E2E_DIR/NAME.record; sets SIM_LINK and SIM_RECORD. The arm sends its bytes at the pace of
# its line, as a real one does, so a fast reply is read as it trickles in.
start_sim() {
    local szName=$1 szScenario=$2
    printf '%s\n' "$szScenario" >"$E2E_DIR/$szName.scenario"
    SIM_LINK="$E2E_DIR/$szName"
    SIM_RECORD="$E2E_DIR/$szName.record"
    : >"$SIM_RECORD"
    lib_start_armsim "$E2E_ARMSIM_BIN" "$E2E_DIR/$szName.out" "$E2E_DIR/$szName.err" \
        --pace --scenario "$E2E_DIR/$szName.scenario" --link "$SIM_LINK" --record "$SIM_RECORD" ||
        exit 1
}

# run_armlink LIMIT_SECONDS ARGS...: runs the copy of armlink with stdout and stderr kept in
# $E2E_DIR/out and $E2E_DIR/err; RC is its exit status, ELAPSED its wall time in ms.
run_armlink() {
    local nLimit=$1
    shift
    local nStart nEnd
    nStart=$(date +%s%N)
    RC=0
    timeout -k 2 "$nLimit" "$ARMLINK" "$@" >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null || RC=$?
    nEnd=$(date +%s%N)
    ELAPSED=$(((nEnd - nStart) / 1000000))
}

expect_rc() {
    if [ "$RC" -eq "$1" ]; then
        pass "exit status $1"
    else
        fail "exit status $RC, expected $1 (stderr: $(head -c 400 "$E2E_DIR/err"))"
    fi
}

# expect_file_equals FILE EXPECTED_FILE WHAT
expect_file_equals() {
    if cmp -s "$1" "$2"; then
        pass "$3"
    else
        fail "$3 differs:"
        diff <(od -c "$2") <(od -c "$1") | head -20 >&2 || true
    fi
}

# The log with each stamp's date and time replaced by placeholders, for byte comparison.
normalised_log() {
    [ -f "$LOG_FILE" ] || return 0 # no log: nothing to compare, the check says so
    sed -E 's/DATE: [0-9]{2}-[0-9]{2}-[0-9]{2,3}, TIME: [0-9]{2}:[0-9]{2}:[0-9]{2}/DATE: MM-DD-YY, TIME: hh:mm:ss/' \
        "$LOG_FILE"
}

# Checks that the stamp of the log's first line lies between two moments taken with
# `date +%m-%d-%Y-%H-%M-%S` before and after the run.
expect_stamp_between() {
    local szBefore=$1 szAfter=$2
    local szStamp
    szStamp=$(sed -nE '1s/.*DATE: ([0-9]{2})-([0-9]{2})-([0-9]{2,3}), TIME: ([0-9]{2}):([0-9]{2}):([0-9]{2}).*/\1 \2 \3 \4 \5 \6/p' "$LOG_FILE" 2>/dev/null || true)
    if [ -z "$szStamp" ]; then
        fail "no stamp on the first line of the log"
        return
    fi
    # month day years-since-1900 hour minute second, compared as one number.
    local nStamp nBefore nAfter
    nStamp=$(echo "$szStamp" | awk '{ printf "%d%02d%02d%02d%02d%02d\n", $3, $1, $2, $4, $5, $6 }')
    nBefore=$(echo "$szBefore" | awk -F- '{ printf "%d%s%s%s%s%s\n", $3 - 1900, $1, $2, $4, $5, $6 }')
    nAfter=$(echo "$szAfter" | awk -F- '{ printf "%d%s%s%s%s%s\n", $3 - 1900, $1, $2, $4, $5, $6 }')
    if [ "$nStamp" -ge "$nBefore" ] && [ "$nStamp" -le "$nAfter" ]; then
        pass "the stamp ($szStamp) lies within the run"
    else
        fail "the stamp ($szStamp) is not within the run ($szBefore .. $szAfter)"
    fi
}
