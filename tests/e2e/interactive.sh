#!/usr/bin/env bash
# The dialog drawn in a terminal (a pty made by script(1)): q, Esc and Enter close it; r and the
# terminal's focus-in report start a search again after it gave up; the terminal is given back
# (focus reports off, the screen restored) and the last status and the log path stay printed.
source "$(dirname "$0")/lib.sh"

export TERM=xterm

# run_dialog NAME SCRIPT_OF_KEYS [PROGRAM]: runs armlink (or PROGRAM) on a pty fed by the keys
# script (a shell snippet that sleeps and prints); the terminal's output is kept in
# $E2E_DIR/NAME.tty.
run_dialog() {
    local szName=$1 szKeys=$2 szProgram=${3:-$ARMLINK}
    RC=0
    (eval "$szKeys"; sleep 1) |
        timeout -k 2 30 script -q -e -c "stty cols 80 rows 24; exec '$szProgram'" "$E2E_DIR/$szName.tty" \
            >/dev/null 2>&1 || RC=$?
    # What the program printed after giving the terminal back: the line after the last reset
    # of the screen.
    SUMMARY=$(tr -d '\r' <"$E2E_DIR/$szName.tty" | { grep -a '^.*status: ' || true; } | tail -n 1 |
        sed 's/.*status: /status: /')
}

expect_terminal_restored() {
    local szTty="$E2E_DIR/$1.tty"
    # Focus reports switched off after they were switched on, and the screen restored last.
    local szSequence
    szSequence=$({ grep -aoE $'\033\\[\\?1004[hl]|\033\\[\\?1049[hl]' "$szTty" || true; } | tr -d '\033' | tr '\n' ' ')
    if [ "$szSequence" = "[?1049h [?1004h [?1004l [?1049l " ]; then
        pass "$1: terminal given back"
    else
        fail "$1: terminal modes in this order: $szSequence"
    fi
}

# No arm: the series gives up at once; q then closes the dialog on "No Arm Found".
run_dialog quit "sleep 0.8; printf q"
expect_rc 1
if [ "$SUMMARY" = "status: No Arm Found" ]; then pass "q closed the dialog on No Arm Found"; else fail "last status: $SUMMARY"; fi
expect_terminal_restored quit
if grep -aq 'ZOLM' "$E2E_DIR/quit.tty" && grep -aq 'Cancel' "$E2E_DIR/quit.tty"; then pass "caption and button drawn"; else fail "the dialog was not drawn"; fi

# r after the search gave up starts a new series: Esc closes it while it runs (the full waits:
# the series then takes its three 500 ms ticks).
run_dialog again "sleep 2.3; printf r; sleep 0.4; printf '\\033'" "$ARMLINK_FULL_WAITS"
expect_rc 1
case "$SUMMARY" in
    "status: Searching" | "status: COM"*) pass "r started a new search ($SUMMARY)" ;;
    *) fail "after r the last status was: $SUMMARY" ;;
esac
expect_terminal_restored again

# The terminal's focus-in report counts as an activation too.
run_dialog focus "sleep 2.3; printf '\\033[I'; sleep 0.4; printf '\\033'" "$ARMLINK_FULL_WAITS"
expect_rc 1
case "$SUMMARY" in
    "status: Searching" | "status: COM"*) pass "focus-in started a new search ($SUMMARY)" ;;
    *) fail "after focus-in the last status was: $SUMMARY" ;;
esac

# An arm with old firmware: the entry is done within a second; the label, the path and the
# renamed button appear; Enter closes the dialog.
write_comm_param "2 9600 n 8 1"
start_sim arm "baud 9600
version 4.50"
export ARMLINK_COM2="$SIM_LINK"
run_dialog finished "sleep 1.5; printf '\\r'"
expect_rc 0
if [ "$SUMMARY" = "status: Done" ]; then pass "Enter closed the dialog on Done"; else fail "last status: $SUMMARY"; fi
if tr -d '\r' <"$E2E_DIR/finished.tty" | grep -aqxF "log: $LOG_FILE"; then pass "log path printed after the dialog"; else fail "no log path after the dialog"; fi
if grep -aq 'Saved' "$E2E_DIR/finished.tty" && grep -aq 'lose' "$E2E_DIR/finished.tty"; then pass "label and Close button drawn"; else fail "label or Close button missing"; fi
expect_terminal_restored finished
if [ -s "$LOG_FILE" ]; then pass "the entry was written"; else fail "no log entry"; fi

finish
