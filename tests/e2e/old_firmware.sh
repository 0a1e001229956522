#!/usr/bin/env bash
# Firmware 4.50 fails the version gate: the entry is the first line and the old-firmware line,
# and no record or counter is asked for. An arm that leaves "_G" unanswered gives a first line
# that ends right after the time, the same old-firmware line, appended after the first entry;
# that entry is incomplete, and the exit status and standard error say so.
source "$(dirname "$0")/lib.sh"

write_comm_param "2 9600 n 8 1"
start_sim old "baud 9600
arm ARM07
calibrated YES
version 4.50
error 104 2 0 1A 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 0
printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
    "status: Logging Errors" "status: Done" "log: $LOG_FILE" >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "status lines and log path"
printf '%s\n' "9600 _I" "9600 _G" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "only the echo and the identity exchanged"
printf 'STAMP: BY: Error Log, DATE: MM-DD-YY, TIME: hh:mm:ss, ARM: ARM07, CALIBRATED: YES, VERSION: 4.50\r\nVERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n' \
    >"$E2E_DIR/log.expected"
normalised_log >"$E2E_DIR/log.normalised"
expect_file_equals "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected" "the old-firmware entry"

start_sim mute "baud 9600
unanswered _G"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 5
if grep -qxF "armlink: not everything was read from the arm: the arm did not answer the identity request" "$E2E_DIR/err"; then
    pass "the unanswered identity request named"
else
    fail "standard error: $(cat "$E2E_DIR/err")"
fi
printf 'STAMP: BY: Error Log, DATE: MM-DD-YY, TIME: hh:mm:ss\r\nVERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n' \
    >>"$E2E_DIR/log.expected"
normalised_log >"$E2E_DIR/log.normalised"
expect_file_equals "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected" "no identity: bare stamp line, appended after the first entry"

finish
