#!/usr/bin/env bash
# SIGTERM and SIGINT close the dialog as its button would. During the search: an orderly end
# well within the shutdown wait, "not found" as the outcome, the setting under trial stored
# (a port is open). During
# the entry: the worker finishes the exchange in progress and the counters, the entry is
# closed, and the negotiated settings are stored. During a long Check series: the series ends
# after the exchange under way, what was collected is saved, exit status 1 ("Interrupted").
# The stop comes inside the identity's read: the full waits.
E2E_FULL_WAITS=1
source "$(dirname "$0")/lib.sh"

# Wait until FILE holds the line TEXT (at most 10 s).
wait_for_line() {
    local i
    for _ in $(seq 1 200); do
        grep -qxF "$2" "$1" && return 0
        sleep 0.05
    done
    return 1
}

# An arm at 1200 baud answers none of the search's settings: the search goes on trying.
start_sim silent "baud 1200"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --plain >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
wait_for_line "$E2E_DIR/out" "status: COM2: 4800 n 8 1" || fail "the search did not reach COM2"
sleep 0.5
nSent=$(date +%s%N)
kill -TERM "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 1
if [ "$nWaited" -lt 5000 ]; then pass "ended ${nWaited} ms after SIGTERM"; else fail "ended only ${nWaited} ms after SIGTERM"; fi
if grep -qE '^status: (Connected|No Arm Found)$' "$E2E_DIR/out"; then fail "the search had an outcome before the signal"; else pass "stopped mid-search"; fi
# A port is open under trial when the signal comes: the shutdown saves Line as it stands, a
# complete setting of the search (never a torn or empty one).
if [[ "$(stored_comm_param)" =~ ^2\ (4800|9600|19200|38400|57600|115200)\ [ne]\ [78]\ 1$ ]]; then
    pass "the setting under trial stored: $(stored_comm_param)"
else
    fail "CommParam after a stop mid-search is \"$(stored_comm_param)\""
fi

# SIGINT while the entry is being written.
write_comm_param "2 19200 n 8 1"
start_sim arm "baud 9600"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --plain >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
wait_for_line "$E2E_DIR/out" "status: Logging Errors" || fail "the arm was not found"
sleep 0.5
nSent=$(date +%s%N)
kill -INT "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 1
# The identity read in progress (2000 ms) and the counters (1000 ms) are still exchanged.
if [ "$nWaited" -lt 5000 ]; then pass "ended ${nWaited} ms after SIGINT"; else fail "ended only ${nWaited} ms after SIGINT"; fi
if grep -qx 'status: Done' "$E2E_DIR/out"; then fail "Done shown after the dialog closed"; else pass "the dialog closed before Done"; fi
if [ "$(tail -n 1 "$E2E_DIR/out")" = "status: Interrupted" ]; then pass "the entry named as interrupted"; else fail "out: $(cat "$E2E_DIR/out")"; fi
printf 'STAMP: BY: Error Log, DATE: MM-DD-YY, TIME: hh:mm:ss, ARM: ARM01, CALIBRATED: YES, VERSION: 4.60\r\nSTATS: 00001F40 00000003 00000000 00000001 00000002 00000000 00000000 000000FA 00000000\r\n' \
    >"$E2E_DIR/log.expected"
normalised_log >"$E2E_DIR/log.normalised"
expect_file_equals "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected" "the entry ends with the counters"
# The signal came during the 2000 ms identity read: no record is asked for after it, the
# counters still are.
printf '%s\n' "19200 _I" "4800 _I" "9600 _I" "9600 _G" "9600 _G STATS" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "no record requested after the stop, counters still"
szStored=$(stored_comm_param)
if [ "$szStored" = "2 9600 n 8 1" ]; then pass "the negotiated CommParam stored"; else fail "CommParam is \"$szStored\""; fi

# SIGTERM during --checks 1000 with a save: the records of the Check under way are saved.
start_sim slow "baud 9600"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --checks 1000 --save "$E2E_DIR/r.txt" /extended >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
# Each record read waits out its 2000 ms: the signal comes during the second one.
wait_for_match "$E2E_DIR/out" '^status: Arm:' || fail "the arm was not found"
sleep 1.5
nSent=$(date +%s%N)
kill -TERM "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 1
# The record read under way ends at its 2000 ms deadline; nothing is asked after it (a further
# read would take 2000 ms more). The margin is for a loaded machine under a sanitizer.
if [ "$nWaited" -lt 3500 ]; then pass "ended ${nWaited} ms after SIGTERM"; else fail "ended only ${nWaited} ms after SIGTERM"; fi
if grep -qxF "saved: $E2E_DIR/r.txt" "$E2E_DIR/out" && grep -qx 'status: Interrupted' "$E2E_DIR/out" &&
    [ "$(grep -c '^#####' "$E2E_DIR/r.txt")" = "$(grep -c '^#####' "$E2E_DIR/out")" ] &&
    [ "$(grep -c '_Y1' "$SIM_RECORD")" -lt 7 ] && ! grep -q '_P' "$SIM_RECORD"; then
    pass "what was collected is saved, the status says Interrupted"
else
    fail "after SIGTERM: $(tail -n 3 "$E2E_DIR/out") / $(cat "$E2E_DIR/err")"
fi

finish
