#!/usr/bin/env bash
# "ArmLink.exe /stats" against the arm on COM2: after two polls the dialog shows the counters
# (one with its top bit set), their changes since the first poll (up, down), the point rate with
# MIN and MAX, and the error numbers and logged count of the logging pass that the second poll's
# error status brought; the pass's entry is in the log, "_P" on the line; the arm killed is
# named ("No Reply Since"), started again on the same link it is polled again; Escape ends the
# program with exit code 0 and the line settings stored. With fast replies: the dialog is the
# subject here, not the waits.
. "$(dirname "$0")/lib.sh"

CAPTION="Statistics"
# The counters settle after the second poll, so that the dialog can be read at leisure.
# COM2 is a link that an arm started again takes over.
LINK="$W_ART/com2"
start_arm() {  # start_arm NAME <scenario
    cat >"$W_ART/$1.scenario"
    : >"$W_ART/$1.record"
    lib_start_armsim "$ARMSIM" "$W_ART/$1.pty" "$W_ART/$1.err" --scenario "$W_ART/$1.scenario" \
        --record "$W_ART/$1.record" --link "$LINK"
}
start_arm arm <<'SCENARIO' || { fail "armsim did not start"; finish; }
baud 9600
counters_at 1 FFFFFFFE 10 5 0 0 0 0 FA 0
counters_at 2 FFFFFFFF 12 4 0 0 0 0 FF 0
stats_status_seq 0 4
error_after_poll 2 104 2 0 1A 0 0 0
SCENARIO
nArmPid=$LIB_SIM_PID
map_ports "$(no_port 1)" "$LINK" "$(no_port 3)" "$(no_port 4)"
store_comm_param "2 9600 n 8 1"
store_fast_replies

start_armlink /stats
if wait_status "$CAPTION" "Arm: ARM01, v4.60, Calibrated: YES" 30; then
    pass "the identity in the status line"
else
    fail "no identity (status: $(control_text "$CAPTION" 1028))"
fi
# The second poll's logging pass ends with "_P" (seven "_Y1" before it).
nEnd=$(( $(now_ms) + 40000 ))
while [ "$(now_ms)" -lt "$nEnd" ] && ! grep -q ' _P$' "$W_ART/arm.record"; do
    sleep 0.2
done
check "the arm saw \"_P\"" grep -q ' _P$' "$W_ART/arm.record"
sleep 0.5
dialog_state "$CAPTION" >"$W_ART/dialog-two-polls.txt"
screenshot "$CAPTION" two-polls

has() {  # has ID TEXT: the control shows exactly TEXT
    grep -Fxq -- "$1 1 1 $2" "$W_ART/dialog-two-polls.txt"
}
check "the button reads \"Close\"" has 1 "Close"
check "the status line keeps the identity" has 1028 "Arm: ARM01, v4.60, Calibrated: YES"
for szLine in "1032 -1" "1033 18" "1034 4" "1035 0" "1036 0" "1037 0" "1038 0" "1039 0" \
    "1044 (+1)" "1045 (+2)" "1046 (-1)" "1047 (+0)" "1048 (+0)" "1049 (+0)" "1050 (+0)" \
    "1051 (+0)" "1040 392.16" "1052 392.16" "1053 400.00" "1042 1" "1043 0" "1041 1"; do
    check "control ${szLine%% *} shows \"${szLine#* }\"" has "${szLine%% *}" "${szLine#* }"
done

# The pass closes the log only after "_P" has had its read and the purge: the entry
# is complete once the file holds its "STATS:" line.
nEnd=$(( $(now_ms) + 5000 ))
while [ "$(now_ms)" -lt "$nEnd" ] && ! grep -q '^STATS: ' "$LOG_FILE" 2>/dev/null; do
    sleep 0.2
done
if [ -f "$LOG_FILE" ]; then
    mapfile -t aLines < <(sed 's/\r$/<CR>/' "$LOG_FILE")
    check "three lines in the log" test "${#aLines[@]}" -eq 3
    check "the stamp of the statistics and the identity" grep -Eq \
        '^STAMP: BY: Error Stat, DATE: [0-9]{2}-[0-9]{2}-[0-9]{2,3}, TIME: [0-9]{2}:[0-9]{2}:[0-9]{2}, ARM: ARM01, CALIBRATED: YES, VERSION: 4\.60<CR>$' \
        <<<"${aLines[0]:-}"
    check "the record that turned up" \
        test "${aLines[1]:-}" = "ERROR: 00000104 00000002 00000000 0000001A 00000000 00000000 00000000<CR>"
    check "the counters of that poll" \
        test "${aLines[2]:-}" = "STATS: FFFFFFFF 00000012 00000004 00000000 00000000 00000000 00000000 000000FF 00000000<CR>"
else
    fail "no log file beside the program"
fi

EXPECTED="9600 _I
9600 _G
9600 _G STATS
9600 _G STATS
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _P"
check "the arm saw the polls, the record requests and \"_P\" in order" \
    test "$(head -n 12 "$W_ART/arm.record")" = "$EXPECTED"

# The arm killed: its line hangs up, and the status line says since when no reply came. Started
# again on the same link, it is opened again and polled: the identity line and the counters
# come back, their changes still against the first baseline (captures FFFFFFFE).
kill "$nArmPid"
if wait_status_like "$CAPTION" '^No Reply Since [0-9]{2}:[0-9]{2}:[0-9]{2}$' 20; then
    pass "the lost arm named: $(control_text "$CAPTION" 1028)"
else
    fail "no loss named (status: $(control_text "$CAPTION" 1028))"
fi
screenshot "$CAPTION" no-reply
start_arm again <<'SCENARIO' || fail "armsim did not start again"
baud 9600
counters 5 12 4 0 0 0 0 FF 0
SCENARIO
if wait_status "$CAPTION" "Arm: ARM01, v4.60, Calibrated: YES" 30 && sleep 3 &&
    [ "$(control_text "$CAPTION" 1044)" = "(+7)" ]; then
    pass "back on the same COM2, against the first baseline"
else
    fail "not back (status: $(control_text "$CAPTION" 1028), change: $(control_text "$CAPTION" 1044))"
fi
screenshot "$CAPTION" back

press "$CAPTION" Escape || fail "the dialog could not be given the key"
if nExit=$(wait_exit 8); then
    check "exit code 0" test "$nExit" = 0
else
    fail "the program did not end within 8 s of Escape"
fi
check "the line settings are stored" test "$(comm_param)" = "2 9600 n 8 1"
finish
