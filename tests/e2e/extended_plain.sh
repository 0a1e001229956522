#!/usr/bin/env bash
# /extended in plain line mode against an arm with records pending: two Checks print both blocks
# byte for byte as they are appended (CR LF and the decoder's lone LF unchanged), the report is
# appended to the chosen file line by line, and LastFile remembers it; a file in a missing
# folder gives "INVALID FILE", exit status 4 and leaves LastFile alone, before the arm is asked
# for anything; a FIFO is refused at once. The arm's escape bytes are shown, not obeyed.
source "$(dirname "$0")/lib.sh"

write_comm_param "2 9600 n 8 1"
# Records 1 and 3 pending: an I2C device time-out and a capture line that failed to latch.
start_sim arm "baud 9600
arm ARM-X"$'\e]2;t\a'"
calibrated YES
version 4.60
error 9001A 5 40DA991 4030102 5 0 0
error 0 0 0 0 0 0 0
error 1001A 0 5030201 4030102 7 0 0
counters FFFFFFFF 3 0 1 2 0 0 FA 0"
export ARMLINK_COM2="$SIM_LINK"

mkdir -p "$E2E_DIR/reports"
REPORT="$E2E_DIR/reports/report.txt"
printf 'earlier report\n' >"$REPORT"

run_armlink 100 --plain /extended --checks 2 --save "$REPORT"
expect_rc 0
if [ -s "$E2E_DIR/err" ]; then fail "unexpected standard error: $(cat "$E2E_DIR/err")"; else pass "standard error empty"; fi

# The blocks in their exact forms, written out by hand; the stamp's figures are replaced below.
RULE='#####################################################'
STAMP='MM/DD/YYY hh:mm:ss'
RECORD_1='0x9001a 0x5 0x40da991 0x4030102 0x5 0x0 0x0\r\n\r\n\r\n'"'"'I2C Device Time-Out'"'"'\r\n\r\nLast Error:\r\n\r\n  Error:26\r\n  Extended:9\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:9(0x9)\r\n  Error:17(0x11)\r\n  nDmaCount:2\r\n  I2cCount:3\r\n  I2cStatus:0xd\r\n     CAP:1\r\n     SCL:1\r\n     SDA:0\r\n     ACK:1\r\n     DSP CAP:0\r\n     SCL OUT:0\r\n     SDA OUT:1\r\n  I2cState:0xc\r\n\r\nFillQue:4\r\nSendQue:3\r\nReadQue:1\r\nCount:2\r\n\r\nbCapturing:1\r\nbPendingDMA:0\r\nAsync. Trigger:1\r\n-----\r\n\r\nLocation:5\r\n'
RECORD_3='0x1001a 0x0 0x5030201 0x4030102 0x7 0x0 0x0\r\n\r\n\r\n'"'"'Capture line failed to latch'"'"'\r\n\r\nLast Error:\r\n\r\n  Error:26\r\n  Extended:1\r\n\r\n----------\r\n\r\nI2C Extended Error:\r\n\r\n  Device:1(0x1)\r\n  Status:1(0x1)\r\n  nDmaCount:5\r\n  I2cCount:3\n  I2cStat:2\r\n     CAP:0\n     SCL:0\n     SDA:1\n     ACK:0\n\r\nFillQue:4\nSendQue:3\nReadQue:1\nCount:2\n\r\nbCapturing:1\nbPendingDMA:1\nAsync. Trigger:1\r\n-----\r\n\r\nLocation:0\r\n'
COUNTERS='------------------\r\nCURRENT STATS:\r\nCAPTURES       : -1     \r\nASYNC. CAPTURES: 3     \r\nCRC ERRORS     : 0     \r\nSTALL COUNT    : 1     \r\nRETRY COUNT    : 2     \r\nBOUNCES > 16ms : 0     \r\nUART ERRORS    : 0     \r\nADDRESS ERRORS : 0     \r\nPOINTS/SEC     : 400.00  \r\n'
{
    printf '%s\r\n%s\r\n' "$RULE" "$STAMP"
    printf -- '----------<1>----------\r\n'
    printf -- "$RECORD_1"
    printf -- '----------<2>----------\r\n'
    printf -- "$RECORD_3"
    printf -- "$COUNTERS"
    printf '%s\r\n%s\r\nNo Errors Detected\r\n' "$RULE" "$STAMP"
    printf -- "$COUNTERS"
} >"$E2E_DIR/report.expected"
{
    printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
        'status: Arm: ARM-X\x1B]2;t\x07, v4.60, Calibrated: YES'
    cat "$E2E_DIR/report.expected"
    printf 'saved: %s\n' "$REPORT"
} >"$E2E_DIR/out.expected"

normalise_stamps() {
    sed -E 's#^[0-9]{2}/[0-9]{2}/[0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}(\r?)$#MM/DD/YYY hh:mm:ss\1#' "$1"
}
normalise_stamps "$E2E_DIR/out" >"$E2E_DIR/out.normalised"
expect_file_equals "$E2E_DIR/out.normalised" "$E2E_DIR/out.expected" "status lines and both blocks, byte for byte"
if [ "$(grep -cE '^[0-9]{2}/[0-9]{2}/1[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}'$'\r''$' "$E2E_DIR/out")" -eq 2 ]; then
    pass "two stamps, the year counted from 1900"
else
    fail "the stamps are not month/day/years-since-1900: $(grep -a '/' "$E2E_DIR/out" | head -3)"
fi

# The file: the old content, then every line of the report but the last empty one, each on a
# line of its own (the decoder's lone LF ends a line too) with the platform's line end.
{
    printf 'earlier report\n'
    sed 's/\r$//' "$E2E_DIR/report.expected"
} >"$E2E_DIR/file.expected"
normalise_stamps "$REPORT" >"$E2E_DIR/file.normalised"
expect_file_equals "$E2E_DIR/file.normalised" "$E2E_DIR/file.expected" "the saved report, appended after the old content"

{
    printf '%s\n' "9600 _I" "9600 _G"
    for _ in 1 2; do
        for _ in 1 2 3 4 5 6 7; do echo "9600 _Y1"; done
        printf '%s\n' "9600 _G STATS" "9600 _P"
    done
} >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "the commands the arm received, in order"

szLastFile=$(sed -n 's/^LastFile=//p' "$SETTINGS_FILE")
if [ "$szLastFile" = "$REPORT" ]; then pass "LastFile holds the saved path"; else fail "LastFile is \"$szLastFile\""; fi

# A file in a missing folder: nothing written or asked of the arm, LastFile as it was, exit 4.
MISSING="$E2E_DIR/no-such-folder/report.txt"
nAsked=$(wc -l <"$SIM_RECORD")
run_armlink 30 --plain /extended --checks 1 --save "$MISSING"
expect_rc 4
if [ "$(wc -l <"$SIM_RECORD")" = "$nAsked" ]; then pass "the arm was asked nothing"; else fail "the arm was asked: $(tail -n 3 "$SIM_RECORD")"; fi
if grep -qxF "INVALID FILE: $MISSING" "$E2E_DIR/err"; then pass "INVALID FILE with the path on standard error"; else fail "standard error: $(cat "$E2E_DIR/err")"; fi
if grep -q "^armlink: the report was not saved: cannot open $MISSING: No such file or directory$" "$E2E_DIR/err"; then
    pass "the reason on standard error"
else
    fail "no reason on standard error: $(cat "$E2E_DIR/err")"
fi
if [ ! -e "$E2E_DIR/no-such-folder" ]; then pass "nothing created"; else fail "the missing folder was created"; fi
szLastFile=$(sed -n 's/^LastFile=//p' "$SETTINGS_FILE")
if [ "$szLastFile" = "$REPORT" ]; then pass "LastFile unchanged"; else fail "LastFile is now \"$szLastFile\""; fi

# A FIFO that nobody reads: refused at once as not a plain file.
mkfifo "$E2E_DIR/fifo"
run_armlink 5 --plain /extended --checks 1 --save "$E2E_DIR/fifo"
expect_rc 4
if grep -qxF "armlink: the report was not saved: cannot open $E2E_DIR/fifo: not a plain file" "$E2E_DIR/err"; then pass "FIFO refused"; else fail "the FIFO: $(cat "$E2E_DIR/err")"; fi

# No arm: the search gives up, nothing is checked or saved, exit status 1.
ARMLINK_COM2="$E2E_DIR/no-such-port-2" run_armlink 30 --plain /extended --checks 1 --save "$REPORT.2"
expect_rc 1
if [ "$(tail -n 1 "$E2E_DIR/out")" = "status: No Arm Found" ] && ! grep -q '^#' "$E2E_DIR/out" &&
    [ ! -e "$REPORT.2" ]; then
    pass "No Arm Found ends the run without a Check or a save"
else
    fail "after No Arm Found: $(tail -n 3 "$E2E_DIR/out")"
fi

# Bad usage.
for aArgs in "--checks x /extended" "--checks -1 /extended" "--save $REPORT" "/extended --save"; do
    # shellcheck disable=SC2086
    run_armlink 10 $aArgs
    expect_rc 2
done
run_armlink 10 --help
if grep -q -- '--checks N' "$E2E_DIR/out" && grep -q -- '--save FILE' "$E2E_DIR/out" &&
    grep -q '4  the report could not be saved' "$E2E_DIR/out"; then
    pass "--help describes /extended, its options and the exit statuses"
else
    fail "--help lacks the extended display"
fi
finish
