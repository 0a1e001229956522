#!/usr/bin/env bash
# The arm hangs up in the middle of the entry: every later exchange fails at once, the entry is
# closed with what it has, and the program ends in order (bounded by a timeout: no hang),
# saying which request went unanswered, with the exit status of an incomplete entry.
source "$(dirname "$0")/lib.sh"

write_comm_param "2 9600 n 8 1"
# Four commands are served (_I, _G and two _Y1), then the line goes dead.
start_sim arm "baud 9600
hangup_after 4
error 104 2 0 1A 0 0 0
error 20008 1 10 0 0 0 0
error 30001 0 0 0 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 5
if grep -qE "^armlink: not everything was read from the arm: the arm did not answer the request for error record [23] of 7 \(and [0-9]+ later\)$" "$E2E_DIR/err"; then
    pass "the unanswered requests named"
else
    fail "standard error: $(cat "$E2E_DIR/err")"
fi
if [ "$RC" -ne 124 ] && [ "$ELAPSED" -lt 12000 ]; then pass "ended in ${ELAPSED} ms"; else fail "took ${ELAPSED} ms"; fi
if [ "$(tail -n 2 "$E2E_DIR/out" | head -n 1)" = "status: Entry Incomplete" ]; then pass "Entry Incomplete shown"; else fail "no Entry Incomplete: $(cat "$E2E_DIR/out")"; fi
printf '%s\n' "9600 _I" "9600 _G" "9600 _Y1" "9600 _Y1" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "the commands served before the hang-up"
# The entry: the first line and the records read before the line went dead, no counters. The
# reply to the command served last may go down with the line (the arm drops it before the
# host's 2000 ms wait has ended), so the second record may be missing.
szFirst='STAMP: BY: Error Log, DATE: MM-DD-YY, TIME: hh:mm:ss, ARM: ARM01, CALIBRATED: YES, VERSION: 4.60\r\n'
szError1='ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\n'
szError2='ERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\n'
printf "$szFirst$szError1" >"$E2E_DIR/log.expected1"
printf "$szFirst$szError1$szError2" >"$E2E_DIR/log.expected2"
normalised_log >"$E2E_DIR/log.normalised"
if cmp -s "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected1" ||
    cmp -s "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected2"; then
    pass "the entry closed with what it has"
else
    fail "the entry differs: $(od -c "$E2E_DIR/log.normalised" | head -20)"
fi
szStored=$(stored_comm_param)
if [ "$szStored" = "2 9600 n 8 1" ]; then pass "the line settings of the connection stored"; else fail "CommParam is \"$szStored\""; fi

finish
