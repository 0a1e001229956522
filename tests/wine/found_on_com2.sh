#!/usr/bin/env bash
# The arm on COM2 at 19200 baud while the stored settings say 9600: the search finds it on the
# fourth try, the log entry is appended in its exact line forms, the dialog shows "Done" and the
# log path, and the settings the arm answered at are stored on closing. Then the same run with
# fast replies (FastReplies=1) against an arm with the same records on COM3, sending at the
# pace of its line: "Done" within 3 s of the search's end, the same entry, the same commands.
. "$(dirname "$0")/lib.sh"

CAPTION="ZOLM Log"
start_armsim arm <<'SCENARIO' || { fail "armsim did not start"; finish; }
baud 19200
arm ARM07
calibrated YES
version 4.60
error 104 2 0 1A 0 0 0
error 3 FFFFFFFF 0 0 0 0 7
counters FFFFFFFF 3 0 1 2 0 0 FA 0
SCENARIO
PTY=$SIM_PTY
start_armsim again --pace <"$W_ART/arm.scenario" || { fail "armsim did not start"; finish; }
map_ports "$(no_port 1)" "$PTY" "$SIM_PTY" "$(no_port 4)"
store_comm_param "2 9600 n 8 1"

start_armlink
if wait_status "$CAPTION" "Logging Errors" 30; then
    pass "the search connects and the log worker starts"
else
    fail "no \"Logging Errors\" (status: $(control_text "$CAPTION" 1028))"
fi
screenshot "$CAPTION" logging
check "the log path label is hidden while logging" \
    has_control_line "$CAPTION" "1031 0 1 Log Saved In:"
check "the log path is hidden and empty while logging" has_control_line "$CAPTION" "1030 0 1 "

if wait_status "$CAPTION" "Done" 60; then
    pass "the entry is written and the dialog shows \"Done\""
else
    fail "no \"Done\" (status: $(control_text "$CAPTION" 1028))"
fi
screenshot "$CAPTION" done
dialog_state "$CAPTION" >"$W_ART/dialog-done.txt"
check "the button reads \"Close\"" test "$(control_text "$CAPTION" 1)" = "Close"
check "the label \"Log Saved In:\" is shown" \
    test "$(control_text "$CAPTION" 1031)" = "Log Saved In:"
check "the log path beside the program is shown" \
    test "$(control_text "$CAPTION" 1030)" = "$W_WINDIR\\ErrorLog.zlg"

# The entry: the stamp completed by the identity, one line per pending record, the counters;
# every line ends with CR LF.
if [ -f "$LOG_FILE" ]; then
    mapfile -t aLines < <(sed 's/\r$/<CR>/' "$LOG_FILE")
    check "four lines in the log" test "${#aLines[@]}" -eq 4
    check "every line ends with CR LF" test "$(grep -c $'\r$' "$LOG_FILE")" -eq 4
    check "the stamp and identity line" grep -Eq \
        '^STAMP: BY: Error Log, DATE: [0-9]{2}-[0-9]{2}-[0-9]{2,3}, TIME: [0-9]{2}:[0-9]{2}:[0-9]{2}, ARM: ARM07, CALIBRATED: YES, VERSION: 4\.60<CR>$' \
        <<<"${aLines[0]:-}"
    check "the first error record" \
        test "${aLines[1]:-}" = "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000<CR>"
    check "the second error record, with a word of all ones" \
        test "${aLines[2]:-}" = "ERROR: 00000003 FFFFFFFF 00000000 00000000 00000000 00000000 00000007<CR>"
    check "the counters" \
        test "${aLines[3]:-}" = "STATS: FFFFFFFF 00000003 00000000 00000001 00000002 00000000 00000000 000000FA 00000000<CR>"
else
    fail "no log file beside the program"
fi

# What the arm saw: the stored 9600 first, then the rates from 4800 up to its own; then the
# identity, seven record requests and the counters, all at 19200.
EXPECTED="9600 _I
4800 _I
9600 _I
19200 _I
19200 _G
19200 _Y1
19200 _Y1
19200 _Y1
19200 _Y1
19200 _Y1
19200 _Y1
19200 _Y1
19200 _G STATS"
check "the arm saw the tries and the commands in order" test "$(record_of arm)" = "$EXPECTED"

press "$CAPTION" Return || fail "the dialog could not be given Enter"
if nExit=$(wait_exit 10); then
    check "exit code 0" test "$nExit" = 0
else
    fail "the program did not end after Enter"
fi
check "the settings the arm answered at are stored" test "$(comm_param)" = "2 19200 n 8 1"

store_comm_param "3 9600 n 8 1"
store_fast_replies
start_armlink
# The search ends with the echo at 19200 that the arm answers.
nEnd=$(( $(now_ms) + 30000 ))
while [ "$(now_ms)" -lt "$nEnd" ] && ! grep -qx '19200 _I' "$W_ART/again.record"; do
    sleep 0.05
done
nFound=$(now_ms)
if wait_status "$CAPTION" "Done" 30; then
    nTook=$(( $(now_ms) - nFound ))
    if [ "$nTook" -le 3000 ]; then pass "fast replies: \"Done\" ${nTook} ms after the search's end"; else fail "fast replies: \"Done\" only ${nTook} ms after the search's end"; fi
else
    fail "fast replies: no \"Done\" (status: $(control_text "$CAPTION" 1028))"
fi
check "fast replies: the arm saw the same commands" test "$(record_of again)" = "$EXPECTED"
stamp_free() {  # the log's lines FIRST to LAST with the stamp's date and time taken out
    sed -n "$1,$2p" "$LOG_FILE" | sed -E 's/DATE: [0-9-]+, TIME: [0-9:]+/DATE, TIME/'
}
check "fast replies: the same entry, byte for byte" test "$(stamp_free 5 8 | od -c)" = "$(stamp_free 1 4 | od -c)"
press "$CAPTION" Return || fail "the dialog could not be given Enter"
if nExit=$(wait_exit 10); then
    check "fast replies: exit code 0" test "$nExit" = 0
else
    fail "fast replies: the program did not end after Enter"
fi
check "fast replies: the settings stored" test "$(comm_param)" = "3 19200 n 8 1"
finish
