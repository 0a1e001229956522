#!/usr/bin/env bash
# "/stats" in plain mode against an arm whose counters move every poll: one "sample:" line per
# poll with the dialog's texts (a wrap through FFFFFFFF, a decrease, the rate with MIN and MAX),
# a logging pass when the arm reports an error (its "Error Stat" entry in the log, "_P" on the
# line), and --polls closing as the button would. Then an arm with firmware 4.50: the version
# message ends the run by itself with exit status 6.
source "$(dirname "$0")/lib.sh"

write_comm_param "2 9600 n 8 1"
start_sim arm "baud 9600
counters FFFFFFFE 10 5 0 0 0 0 FA 0
counter_step 1 2 -1 0 0 0 0 5 0
stats_status_seq 0 4
error_after_poll 2 104 2 0 1A 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 60 --plain /stats --polls 3
expect_rc 0
printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
    "status: Current Statistics" "status: Arm: ARM01, v4.60, Calibrated: YES" \
    "sample: captures=-2 (+0) async=16 (+0) crc=5 (+0) stall=0 (+0) retry=0 (+0) bounces=0 (+0) sda_scl=0 (+0) address=0 (+0) rate=400.00 min=400.00 max=400.00" \
    "sample: captures=-1 (+1) async=18 (+2) crc=4 (-1) stall=0 (+0) retry=0 (+0) bounces=0 (+0) sda_scl=0 (+0) address=0 (+0) rate=392.16 min=392.16 max=400.00" \
    "errors: error=1 ext=0 logged=1" \
    "sample: captures=0 (+2) async=20 (+4) crc=3 (-2) stall=0 (+0) retry=0 (+0) bounces=0 (+0) sda_scl=0 (+0) address=0 (+0) rate=384.62 min=384.62 max=400.00" \
    >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "status, sample and errors lines"
if [ ! -s "$E2E_DIR/err" ]; then pass "nothing on standard error"; else fail "stderr: $(cat "$E2E_DIR/err")"; fi
printf '%s\n' "9600 _I" "9600 _G" "9600 _G STATS" "9600 _G STATS" "9600 _Y1" "9600 _Y1" \
    "9600 _Y1" "9600 _Y1" "9600 _Y1" "9600 _Y1" "9600 _Y1" "9600 _P" "9600 _G STATS" \
    >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "the arm saw the polls, seven record requests and \"_P\""
printf 'STAMP: BY: Error Stat, DATE: MM-DD-YY, TIME: hh:mm:ss, ARM: ARM01, CALIBRATED: YES, VERSION: 4.60\r\nERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000\r\nSTATS: FFFFFFFF 00000012 00000004 00000000 00000000 00000000 00000000 000000FF 00000000\r\n' \
    >"$E2E_DIR/log.expected"
normalised_log >"$E2E_DIR/log.normalised"
expect_file_equals "$E2E_DIR/log.normalised" "$E2E_DIR/log.expected" "the entry of the logging pass"
szStored=$(stored_comm_param)
if [ "$szStored" = "2 9600 n 8 1" ]; then pass "CommParam stored on closing"; else fail "CommParam is \"$szStored\""; fi

# Firmware 4.50: the identity, then the version message; nothing more is asked of the arm.
rm -f "$LOG_FILE"
start_sim old "baud 9600
version 4.50"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain /stats
expect_rc 6
printf '%s\n' "status: Searching" "status: COM2: 9600 n 8 1" "status: Connected" \
    "status: Current Statistics" "status: Arm: ARM01, v4.50, Calibrated: YES" \
    "status: >>VERSION NOT SUPPORTED<<" >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "the version message ends the run"
if grep -qx "armlink: the arm's firmware is too old for this run mode" "$E2E_DIR/err"; then
    pass "said on standard error"
else
    fail "stderr: $(cat "$E2E_DIR/err")"
fi
printf '%s\n' "9600 _I" "9600 _G" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "no \"_G STATS\" for old firmware"
if [ ! -e "$LOG_FILE" ]; then pass "no log entry"; else fail "a log was written"; fi

finish
