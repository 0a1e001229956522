#!/usr/bin/env bash
# The log file cannot be opened (its name is taken by a directory): nothing is sent to the arm
# after the search, the dialog says that the log was not written, and the path field (labelled
# "Not Written:") the path and why; the reason goes to standard error and the exit status says the entry was not written.
# The same for a log under a file size limit it cannot take the entry within: that is known
# before anything is read, so the records stay on the arm for the next run. A log that takes no
# byte although it seems to have room (a full disk, /dev/full) is found out only as the entry is
# written: the entry read is then kept whole in the state directory. The line settings of the
# connection are stored all the same.
source "$(dirname "$0")/lib.sh"

# expect_stored WHAT: the shutdown stored the connection's line. Each run starts from
# "02 9600 n 8 1", which the search reads as 2 9600 n 8 1 and a store writes without the 0.
expect_stored() {
    if [ "$(stored_comm_param)" = "2 9600 n 8 1" ]; then pass "$1: CommParam stored"; else fail "$1: CommParam is \"$(stored_comm_param)\""; fi
    write_comm_param "02 9600 n 8 1"
}

mkdir "$LOG_FILE"
write_comm_param "02 9600 n 8 1"
start_sim arm "baud 9600
error 104 2 0 1A 0 0 0
error 20008 1 10 0 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 3
printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
    "status: Logging Errors" "status: Log Not Written" "not written: $LOG_FILE: Is a directory" \
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

# A log of 1012 bytes under a file size limit of 1024: the entry cannot fit, and that is
# known before anything is read from the arm (armlink ignores SIGXFSZ, so a write past the
# limit would fail with EFBIG rather than end the program in the middle of the entry).
rmdir "$LOG_FILE"
printf 'STAMP: BY: Error Log, DATE: 12-07-126, TIME: 09:05:33\r\nVERSION OF FIRMWARE DOES NOT SUPPORT EXTENDED ERROR REPORTING:\r\n%0891d\r\n' 0 >"$LOG_FILE"
cp "$LOG_FILE" "$E2E_DIR/log.before"
RC=0
(
    ulimit -f 1
    exec timeout -k 2 30 "$ARMLINK" --plain >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null
) || RC=$?
expect_rc 3
if grep -qxF "armlink: the log entry was not written: cannot write $LOG_FILE: File too large" "$E2E_DIR/err" &&
    grep -qxF "not written: $LOG_FILE: File too large" "$E2E_DIR/out"; then
    pass "a log that cannot take the entry is named as not written"
else
    fail "file size limit: $(cat "$E2E_DIR/out" "$E2E_DIR/err")"
fi
expect_file_equals "$LOG_FILE" "$E2E_DIR/log.before" "the log as it was"
if ! grep -q "_G\|_Y1" "$SIM_RECORD"; then pass "nothing asked of the arm"; else fail "sent: $(cat "$SIM_RECORD")"; fi
expect_stored "file size limit"

# The next run without the limit: the records were still on the arm.
run_armlink 30 --plain
expect_rc 0
if [ "$(grep -c '^ERROR: ' "$LOG_FILE")" = 2 ]; then pass "the records logged by the next run"; else fail "log: $(cat "$LOG_FILE")"; fi
expect_stored "the next run"

# A log that opens but takes no byte (a full disk): never reported as done, and the entry the
# arm gave (the arm forgets a record once sent) is kept in the state directory.
start_sim arm2 "baud 9600
error 30001 0 0 0 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain --log /dev/full
expect_rc 3
if grep -qxF "status: Log Not Written" "$E2E_DIR/out" &&
    ! grep -q "status: Done" "$E2E_DIR/out"; then
    pass "a full disk is not reported as done"
else
    fail "full disk: $(cat "$E2E_DIR/out")"
fi
KEPT=$(ls "$XDG_STATE_HOME"/armlink/ErrorLog-unsaved-*.zlg 2>/dev/null | head -n 1)
if [ -n "$KEPT" ] && grep -qxF "armlink: the log entry could not be written to /dev/full; it is kept in $KEPT" "$E2E_DIR/err" &&
    grep -qxF "kept: $KEPT" "$E2E_DIR/out"; then
    pass "the kept file named on standard error and in the dialog"
else
    fail "standard error: $(cat "$E2E_DIR/err"); kept: $KEPT"
fi
if [ -n "$KEPT" ] && head -n 1 "$KEPT" | grep -q "^STAMP: BY: Error Log, .*VERSION: 4.60"$'\r'"\$" &&
    grep -qxF "ERROR: 00030001 00000000 00000000 00000000 00000000 00000000 00000000"$'\r' "$KEPT" &&
    tail -n 1 "$KEPT" | grep -q "^STATS: .*"$'\r'"\$"; then
    pass "the entry kept whole, lines ending CR LF"
else
    fail "kept file: $(cat "$KEPT" 2>/dev/null)"
fi
expect_stored "full disk"

finish
