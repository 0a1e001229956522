#!/usr/bin/env bash
# The log file cannot be opened (its name is taken by a directory): nothing is sent to the arm
# after the search, the dialog says that the log was not written and why, with the path still
# shown; the reason goes to standard error and the exit status says the entry was not written.
# The same for a log that takes no byte (a full disk), and for one that takes only part of the
# entry (a file size limit): that part is taken back, the log stays as it was. The line
# settings of the connection are stored all the same.
source "$(dirname "$0")/lib.sh"

# expect_stored WHAT: the shutdown stored the connection's line. Each run starts from
# "02 9600 n 8 1", which the search reads as 2 9600 n 8 1 and a store writes without the 0.
expect_stored() {
    if [ "$(stored_comm_param)" = "2 9600 n 8 1" ]; then pass "$1: CommParam stored"; else fail "$1: CommParam is \"$(stored_comm_param)\""; fi
    write_comm_param "02 9600 n 8 1"
}

mkdir "$LOG_FILE"
write_comm_param "02 9600 n 8 1"
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
expect_stored "log cannot be opened"

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
expect_stored "full disk"

# A log of 1012 bytes under a file size limit of 1024: 12 bytes of the entry fit, then the
# write fails. Those 12 bytes are taken back (armlink ignores SIGXFSZ, so the write fails
# with EFBIG rather than the signal ending the program in the middle of the entry).
rm -f "$LOG_FILE"
printf 'STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33\r\nVERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n%0891d\r\n' 0 >"$LOG_FILE"
cp "$LOG_FILE" "$E2E_DIR/log.before"
RC=0
(
    ulimit -f 1
    exec timeout -k 2 30 "$ARMLINK" --plain >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null
) || RC=$?
expect_rc 3
if grep -qxF "armlink: the log entry was not written: cannot write $LOG_FILE: File too large" "$E2E_DIR/err" &&
    grep -qxF "status: Log Not Written: File too large" "$E2E_DIR/out"; then
    pass "a log that takes part of the entry is named as not written"
else
    fail "file size limit: $(cat "$E2E_DIR/out" "$E2E_DIR/err")"
fi
expect_file_equals "$LOG_FILE" "$E2E_DIR/log.before" "the part of the entry that fitted taken back"
expect_stored "file size limit"

finish
