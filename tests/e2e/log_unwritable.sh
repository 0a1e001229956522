#!/usr/bin/env bash
# The log file cannot be opened (its name is taken by a directory): nothing is sent to the arm
# after the search, the dialog says that the log was not written and why, with the path still
# shown; the reason goes to standard error and the exit status says the entry was not written.
source "$(dirname "$0")/lib.sh"

mkdir "$LOG_FILE"
write_comm_param "2 9600 n 8 1"
start_sim arm "baud 9600"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 3
printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
    "status: Logging Errors" "status: Log Not Written: Is a directory" "log: $LOG_FILE" \
    >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "not written, why, and the path still shown"
printf '%s\n' "9600 _I" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "nothing sent to the arm after the search"
if grep -qxF "armlink: the log entry was not written: cannot open $LOG_FILE: Is a directory" "$E2E_DIR/err"; then
    pass "the reason on standard error"
else
    fail "standard error: $(cat "$E2E_DIR/err")"
fi

# A log that opens but takes no byte (a full disk): never reported as done.
ln -s /dev/full "$E2E_DIR/full.zlg"
rmdir "$LOG_FILE"
ln -s "$E2E_DIR/full.zlg" "$LOG_FILE"
run_armlink 30 --plain
expect_rc 3
if grep -qxF "status: Log Not Written: No space left on device" "$E2E_DIR/out" &&
    ! grep -q "status: Done" "$E2E_DIR/out"; then
    pass "a full disk is not reported as done"
else
    fail "full disk: $(cat "$E2E_DIR/out")"
fi
if grep -qxF "armlink: the log entry was not written: cannot write $LOG_FILE: No space left on device" "$E2E_DIR/err"; then
    pass "the write failure on standard error"
else
    fail "standard error: $(cat "$E2E_DIR/err")"
fi

finish
