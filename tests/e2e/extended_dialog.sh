#!/usr/bin/env bash
# /extended drawn in a terminal (a pty made by script(1)): Check and Save are ignored while no
# arm is found; with the arm, c runs a Check that shows which exchange is under way, s asks
# for the path on a prompt line that starts with LastFile (Esc cancels it), the report is
# appended to the file, and a path in a missing folder shows "INVALID FILE" until a key.
source "$(dirname "$0")/lib.sh"

export TERM=xterm

# run_dialog NAME SCRIPT_OF_KEYS: armlink /extended on a pty fed by the keys script; the
# terminal's output is kept in $E2E_DIR/NAME.tty.
run_dialog() {
    local szName=$1 szKeys=$2
    RC=0
    (eval "$szKeys"; sleep 1) |
        timeout -k 2 60 script -q -e -c "stty cols 100 rows 30; exec '$ARMLINK' /extended" \
            "$E2E_DIR/$szName.tty" >/dev/null 2>&1 || RC=$?
    SUMMARY=$(tr -d '\r' <"$E2E_DIR/$szName.tty" | grep -a '^.*status: ' | tail -n 1 | sed 's/.*status: /status: /')
}

tty_has() {  # tty_has NAME TEXT
    grep -aqF -- "$2" "$E2E_DIR/$1.tty"
}

# No arm: the buttons are disabled, so c and s do nothing; q closes.
run_dialog no_arm "sleep 0.8; printf c; sleep 0.3; printf s; sleep 0.3; printf q"
expect_rc 1
if [ "$SUMMARY" = "status: No Arm Found" ]; then pass "q closed the dialog on No Arm Found"; else fail "last status: $SUMMARY"; fi
if tty_has no_arm "Extended Error Display" && tty_has no_arm "Check" && tty_has no_arm "Close"; then
    pass "caption and buttons drawn"
else
    fail "the dialog was not drawn"
fi
if ! tty_has no_arm "#####" && ! tty_has no_arm "Save to:"; then pass "disabled Check and Save ignored"; else fail "a disabled button ran"; fi

# The arm: Check; Esc on the save prompt; Save to a file; Save with the prompt as it starts
# (LastFile, the same file); then Save to a missing folder.
write_comm_param "2 9600 n 8 1"
mkdir -p "$E2E_DIR/reports"
GOOD="$E2E_DIR/reports/check.txt"
MISSING="$E2E_DIR/no-such-folder/check.txt"
start_sim arm "baud 9600
version 4.60
error 17 7 4C04 2004 7004 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_dialog arm "sleep 1.5; printf c; sleep 2.5; printf s; sleep 0.4; printf '\\033'; sleep 0.4;
    printf s; sleep 0.4; printf '%s\\r' '$GOOD'; sleep 0.8; printf s; sleep 0.4; printf '\\r'; sleep 0.8;
    printf s; sleep 0.4; printf '\\025%s\\r' '$MISSING'; sleep 0.8; printf x; sleep 0.4; printf q"
expect_rc 4
if tty_has arm "Arm: ARM01, v4.60, Calibrated: YES"; then pass "identity line shown"; else fail "no identity line"; fi
# ncurses redraws only what changed: the first progress text whole, then the changed parts.
if tty_has arm "Checking: record 1 of 7" && tty_has arm "counters"; then
    pass "the exchange under way is shown"
else
    fail "no progress of the Check on the screen"
fi
if tty_has arm "Temperature Deviated" && tty_has arm "CURRENT STATS:"; then pass "the decoded block is in view"; else fail "the block was not drawn"; fi
if tty_has arm "Save to:" && tty_has arm "INVALID FILE"; then pass "prompt and INVALID FILE drawn"; else fail "prompt or message missing"; fi
if [ -f "$GOOD" ] && [ "$(head -n 1 "$GOOD")" = "#####################################################" ] &&
    grep -qx "Temperature MIN:20.000000" "$GOOD" && grep -qx "POINTS/SEC     : 400.00  " "$GOOD" &&
    [ "$(grep -c '^####' "$GOOD")" -eq 2 ] && [ "$(grep -c '^CURRENT STATS:$' "$GOOD")" -eq 2 ]; then
    pass "the report saved twice, the second time to LastFile as proposed (Esc cancelled the first prompt)"
else
    fail "the saved report: $(head -c 300 "$GOOD" 2>/dev/null)"
fi
if [ ! -e "$E2E_DIR/no-such-folder" ]; then pass "nothing created for the missing folder"; else fail "the missing folder was created"; fi
szLastFile=$(sed -n 's/^LastFile=//p' "$SETTINGS_FILE")
if [ "$szLastFile" = "$GOOD" ]; then pass "LastFile holds the good path"; else fail "LastFile is \"$szLastFile\""; fi
finish
