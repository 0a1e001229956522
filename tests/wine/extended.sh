#!/usr/bin/env bash
# "/extended" against an arm on COM2 with two records pending: the identity line and both
# buttons enabled; Check (Enter, the default button) fills the report, read back from the edit
# control line by line and compared with the core's text (every decoded line on its own line);
# Save through the save-file dialog appends the lines with CR LF, cut at 127 characters, and
# stores LastFile; a path in a missing folder gives "INVALID FILE"; Escape then ends with exit
# code 4 (the report could not be saved).
# With fast replies: the dialog is the subject here, not the waits.
. "$(dirname "$0")/lib.sh"

CAPTION="Extended Error Display"
DECODE_EXE="$(dirname "$ARMLINK_EXE")/armlink-decode.exe"
start_armsim arm <<'SCENARIO' || { fail "armsim did not start"; finish; }
baud 9600
arm ARM07
calibrated YES
version 4.60
error 9001A 5 40DA991 4030102 5 0 0
error 0 0 0 0 0 0 0
error 1001A 0 5030201 4030102 7 0 0
counters FFFFFFFF 3 0 1 2 0 0 FA 0
SCENARIO
PTY=$SIM_PTY
map_ports "$(no_port 1)" "$PTY" "$(no_port 3)" "$(no_port 4)"
store_comm_param "2 9600 n 8 1"
store_fast_replies

# The report's lines as the edit control gives them, stamps replaced by placeholders.
report_lines() {
    wine "$DLGPROBE_EXE" --lines "$CAPTION" 1053 2>/dev/null |
        sed -E 's#^[0-9]{2}/[0-9]{2}/[0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}$#MM/DD/YYY hh:mm:ss#'
}

# Waits until the save-file dialog or the message box (by caption) is up.
wait_window() {  # wait_window CAPTION SECONDS
    local i
    for i in $(seq 1 $(($2 * 10))); do
        [ -n "$(window_of "$1")" ] && return 0
        sleep 0.1
    done
    return 1
}

start_armlink /extended
if wait_status_like "$CAPTION" '^Arm: ARM07, v4\.60, Calibrated: YES' 30; then
    pass "the identity line is shown"
else
    fail "no identity line (status: $(control_text "$CAPTION" 1028))"
fi
check "Check is enabled" has_control_line "$CAPTION" "1 1 1 &Check"
check "Save is enabled" has_control_line "$CAPTION" "1054 1 1 &Save"
check "Close is enabled" has_control_line "$CAPTION" "2 1 1 &Close"

# Check with the keyboard: Enter presses the default button. The block takes about a second.
press "$CAPTION" Return
nEnd=$(($(now_ms) + 40000))
while [ "$(now_ms)" -lt "$nEnd" ] && ! report_lines | grep -q '^POINTS/SEC'; do
    sleep 0.5
done
sleep 0.5
screenshot "$CAPTION" report
report_lines >"$W_ART/report-lines.txt"

# The core's text: the rule, the stamp, each record's header and its report as the decoder
# renders it, the counters; split into lines at CR LF and at a lone LF.
{
    printf '%s\r\n%s\r\n' '#####################################################' 'MM/DD/YYY hh:mm:ss'
    printf -- '----------<1>----------\r\n'
    wine "$DECODE_EXE" 9001A 5 40DA991 4030102 5 0 0 2>/dev/null
    printf -- '----------<2>----------\r\n'
    wine "$DECODE_EXE" 1001A 0 5030201 4030102 7 0 0 2>/dev/null
    printf -- '------------------\r\nCURRENT STATS:\r\nCAPTURES       : -1     \r\nASYNC. CAPTURES: 3     \r\nCRC ERRORS     : 0     \r\nSTALL COUNT    : 1     \r\nRETRY COUNT    : 2     \r\nBOUNCES > 16ms : 0     \r\nUART ERRORS    : 0     \r\nADDRESS ERRORS : 0     \r\nPOINTS/SEC     : 400.00  \r\n'
} >"$W_ART/core-text.txt"
{
    sed 's/\r$//' "$W_ART/core-text.txt"
    echo ""  # the empty line after the final line end
} >"$W_ART/core-lines.txt"
if cmp -s "$W_ART/report-lines.txt" "$W_ART/core-lines.txt"; then
    pass "the report's lines are the core's text, line for line ($(wc -l <"$W_ART/core-lines.txt") lines)"
else
    fail "the report's lines differ from the core's text:"
    diff "$W_ART/core-lines.txt" "$W_ART/report-lines.txt" | head -20 >&2
fi
check "a decoded line that ends with a lone LF is a line of its own" \
    grep -qx '  I2cCount:3' "$W_ART/report-lines.txt"
check "no line holds two decoded lines" test -z "$(awk 'length($0) > 80' "$W_ART/report-lines.txt")"

# One line longer than 127 characters at the end of the report, for the cut of Save.
LONG_LINE=$(printf 'L%.0s' $(seq 1 200))
wine "$DLGPROBE_EXE" --append "$CAPTION" 1053 "$LONG_LINE" 2>/dev/null

# Save through the save-file dialog, to a new file beside the program.
press "$CAPTION" alt+s
if wait_window "Save Error Log" 15; then
    pass "the save-file dialog \"Save Error Log\" opens"
    screenshot "Save Error Log" save-dialog
    sleep 0.5
    xdotool type --delay 20 "$W_WINDIR\\saved.txt"
    xdotool key Return
else
    fail "no save-file dialog"
fi
for _ in $(seq 1 50); do
    [ -z "$(window_of "Save Error Log")" ] && [ -s "$W_DIR/saved.txt" ] && break
    sleep 0.1
done
if [ -f "$W_DIR/saved.txt" ]; then
    cp "$W_DIR/saved.txt" "$W_ART/saved.txt"
    check "every saved line ends with CR LF" \
        test "$(grep -c $'\r$' "$W_DIR/saved.txt")" -eq "$(wc -l <"$W_DIR/saved.txt")"
    {
        sed '$d' "$W_ART/core-lines.txt"
        printf 'L%.0s' $(seq 1 127)
        echo ""
    } >"$W_ART/saved.expected"
    tr -d '\r' <"$W_DIR/saved.txt" |
        sed -E 's#^[0-9]{2}/[0-9]{2}/[0-9]{3} [0-9]{2}:[0-9]{2}:[0-9]{2}$#MM/DD/YYY hh:mm:ss#' \
            >"$W_ART/saved.normalised"
    if cmp -s "$W_ART/saved.normalised" "$W_ART/saved.expected"; then
        pass "the saved lines are the report's, the long one cut to 127 characters"
    else
        fail "the saved file differs:"
        diff "$W_ART/saved.expected" "$W_ART/saved.normalised" | head -20 >&2
    fi
else
    fail "no saved file"
fi
LAST_FILE=$(wine reg query "$SETTINGS_KEY" /v LastFile 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *LastFile *REG_SZ *//p')
check "LastFile holds the saved path" test "$LAST_FILE" = "$W_WINDIR\\saved.txt"

# A path in a missing folder: "INVALID FILE" with the path, nothing written, LastFile kept.
press "$CAPTION" alt+s
if wait_window "Save Error Log" 15; then
    sleep 0.5
    xdotool key ctrl+a
    xdotool type --delay 20 'C:\no-such-folder\report.txt'
    xdotool key Return
else
    fail "no save-file dialog the second time"
fi
if wait_window "INVALID FILE" 15; then
    pass "the message box \"INVALID FILE\" is shown"
    screenshot "INVALID FILE" invalid-file
    check "the box shows the chosen path" \
        grep -qF 'C:\no-such-folder\report.txt' <(dialog_state "INVALID FILE")
    press "INVALID FILE" Return
else
    fail "no \"INVALID FILE\" box ($(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
fi
LAST_FILE=$(wine reg query "$SETTINGS_KEY" /v LastFile 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *LastFile *REG_SZ *//p')
check "LastFile unchanged" test "$LAST_FILE" = "$W_WINDIR\\saved.txt"
check "the report is still shown" grep -q '^POINTS/SEC' <(report_lines)

press "$CAPTION" Escape
if nExit=$(wait_exit 10); then
    check "exit code 4" test "$nExit" = 4
else
    fail "the program did not end after Escape"
fi
EXPECTED="9600 _I
9600 _G
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _Y1
9600 _G STATS
9600 _P"
check "the arm saw the identity, seven record requests, the counters and _P" \
    test "$(record_of arm)" = "$EXPECTED"
finish
