#!/usr/bin/env bash
# The arm answers on COM2 at 19200 while 9600 is stored: the search finds it, the entry is
# appended in the log's line forms, the negotiated settings are stored, a second armlink
# meanwhile finds COM2 held by the first, and the line is left as it was found. The first run
# keeps the full waits (the second needs the port held); the same run with fast replies against
# a fresh arm gives the same entry, byte for byte, and the same commands.
source "$(dirname "$0")/lib.sh"

write_comm_param "2 9600 n 8 1"
SCENARIO="baud 19200
arm ARM-E2E
calibrated NO
version 4.75
error 80000104 2 0 1A 0 0 FFFFFFFF
error 0000FF00 1 2 3 4 5 6
error 00020008 1 10 0 0 0 0
counters 12345678 FFFFFFFF 0 1 2 3 4 5 A"
start_sim arm "$SCENARIO"
export ARMLINK_COM2="$SIM_LINK"
# The line as another program left it: 38400 baud and flags of its own. The run puts it back.
stty -F "$SIM_LINK" 38400 cstopb crtscts ixoff || fail "stty cannot set the pty"
szLineBefore=$(stty -F "$SIM_LINK" -g)

szBefore=$(date +%m-%d-%Y-%H-%M-%S)
timeout -k 2 60 "$ARMLINK_FULL_WAITS" --plain >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nFirst=$!

# While the first run holds COM2 for its entry, a second one cannot open it.
for _ in $(seq 1 100); do
    grep -q '^status: Logging Errors$' "$E2E_DIR/out" && break
    sleep 0.05
done
nSecondRc=0
timeout -k 2 20 "$ARMLINK" --plain >"$E2E_DIR/out2" 2>"$E2E_DIR/err2" </dev/null || nSecondRc=$?
if [ "$nSecondRc" -eq 1 ]; then pass "second armlink: exit status 1"; else fail "second armlink: exit status $nSecondRc, expected 1"; fi
if grep -qx 'status: No Arm Found' "$E2E_DIR/out2"; then pass "second armlink: No Arm Found"; else fail "second armlink did not end with No Arm Found: $(cat "$E2E_DIR/out2")"; fi
if [ "$(grep -c "^armlink: COM2 ($SIM_LINK): in use by another program$" "$E2E_DIR/err2")" -eq 1 ]; then
    pass "second armlink: COM2 reported in use, once"
else
    fail "second armlink: COM2 not reported in use exactly once: $(cat "$E2E_DIR/err2")"
fi

RC=0
wait "$nFirst" || RC=$?
szAfter=$(date +%m-%d-%Y-%H-%M-%S)
expect_rc 0
if [ "$(stty -F "$SIM_LINK" -g)" = "$szLineBefore" ]; then
    pass "the line is as it was before the run"
else
    fail "the line changed: $(stty -F "$SIM_LINK" -a | head -n 2)"
fi

printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: COM2: 4800 n 8 1" \
    "status: COM2: 9600 n 8 1" "status: COM2: 19200 n 8 1" "status: Connected" \
    "status: Logging Errors" "status: Done" "log: $LOG_FILE" >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "status lines and log path"
if [ -s "$E2E_DIR/err" ]; then fail "unexpected standard error: $(cat "$E2E_DIR/err")"; else pass "standard error empty"; fi

# The tries in their order: the stored rate, then the table from 4800 up to the arm's rate;
# then the entry's exchanges, all at the negotiated rate.
{
    printf '%s\n' "9600 _I" "4800 _I" "9600 _I" "19200 _I" "19200 _G"
    for _ in 1 2 3 4 5 6 7; do echo "19200 _Y1"; done
    echo "19200 _G STATS"
} >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "the commands the arm received, in order"

# The entry, byte for byte with CR LF line ends; the record with only bits 8-15 of its first
# word set counts as empty and is not written.
printf 'STAMP: BY: Error Log, DATE: MM-DD-YY, TIME: hh:mm:ss, ARM: ARM-E2E, CALIBRATED: NO, VERSION: 4.75\r\nERROR: 80000104 00000002 00000000 0000001A 00000000 00000000 FFFFFFFF\r\nERROR: 00020008 00000001 00000010 00000000 00000000 00000000 00000000\r\nSTATS: 12345678 FFFFFFFF 00000000 00000001 00000002 00000003 00000004 00000005 0000000A\r\n' \
    >"$E2E_DIR/log.expected"
normalised_log >"$E2E_DIR/log.normalised"
expect_file_equals "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected" "the log entry"
expect_stamp_between "$szBefore" "$szAfter"

szStored=$(stored_comm_param)
if [ "$szStored" = "2 19200 n 8 1" ]; then pass "CommParam=2 19200 n 8 1 stored"; else fail "CommParam is \"$szStored\", expected \"2 19200 n 8 1\""; fi

mv "$LOG_FILE" "$E2E_DIR/log.full"
write_comm_param "2 9600 n 8 1"
start_sim again "$SCENARIO"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 0
normalised_log >"$E2E_DIR/log.fast"
expect_file_equals "$E2E_DIR/log.fast" "$E2E_DIR/log.normalised" "fast replies: the same entry"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "fast replies: the same commands"
if [ "$ELAPSED" -lt 5000 ]; then pass "fast replies: done in ${ELAPSED} ms"; else fail "fast replies: took ${ELAPSED} ms"; fi

finish
