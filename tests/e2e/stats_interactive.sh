#!/usr/bin/env bash
# STATS_DLG drawn in a terminal (a pty made by script(1)): at 80 x 24 every control of the
# template shows with the values of the polls and the plot of the point rate below the table;
# Enter closes it (exit status 0) and the last sample stays printed. A terminal too small says
# so, and Esc still closes it.
source "$(dirname "$0")/lib.sh"

export TERM=xterm

# run_dialog NAME COLS ROWS SCRIPT_OF_KEYS: armlink /stats on a pty of that size, fed by the keys
# script; the terminal's output is kept in $E2E_DIR/NAME.tty.
run_dialog() {
    local szName=$1 nCols=$2 nRows=$3 szKeys=$4
    RC=0
    (eval "$szKeys"; sleep 1) |
        timeout -k 2 40 script -q -e -c "stty cols $nCols rows $nRows; exec '$ARMLINK' /stats" \
            "$E2E_DIR/$szName.tty" >/dev/null 2>&1 || RC=$?
}

expect_drawn() {  # expect_drawn NAME TEXT...
    local szName=$1 szText
    shift
    for szText in "$@"; do
        if grep -aqF -- "$szText" "$E2E_DIR/$szName.tty"; then
            pass "$szName: \"$szText\" drawn"
        else
            fail "$szName: \"$szText\" not drawn"
        fi
    done
}

expect_terminal_restored() {
    local szSequence
    szSequence=$(grep -aoE $'\033\\[\\?1004[hl]|\033\\[\\?1049[hl]' "$E2E_DIR/$1.tty" | tr -d '\033' | tr '\n' ' ')
    if [ "$szSequence" = "[?1049h [?1004h [?1004l [?1049l " ]; then
        pass "$1: terminal given back"
    else
        fail "$1: terminal modes in this order: $szSequence"
    fi
}

write_comm_param "2 9600 n 8 1"
start_sim arm "baud 9600
counters 100 3 0 1 2 0 0 FA 0
counter_step 7 0 0 0 0 0 0 10 0"
export ARMLINK_COM2="$SIM_LINK"
# The search and the identity take well under a second; the polls start 2 s and 4 s later.
run_dialog full 80 24 "sleep 5.3; printf '\\r'"
expect_rc 0
expect_drawn full " Statistics" "Current" "Change" "CAPTURES:" "ASYNC. CAPTURES:" "CRC ERRORS:" \
    "STALL COUNT:" "RETRY COUNT:" "BOUNCES > 16ms:" "SDA/SCL ERRORS:" "ADDRESS ERRORS:" \
    "POINTS/SECOND:" "MIN:" "MAX:" "ERRORS LOGGED" "Error:" "Ext:" "[ Close ]" \
    "Arm: ARM01, v4.60, Calibrated: YES" "POINTS/SECOND over the last" "(+7)" "384.62"
expect_terminal_restored full
# The last sample stays in the terminal's history after the dialog.
szLast=$(tr -d '\r' <"$E2E_DIR/full.tty" | grep -a '^sample: ' | tail -n 1)
if [ "$szLast" = "sample: captures=263 (+7) async=3 (+0) crc=0 (+0) stall=1 (+0) retry=2 (+0) bounces=0 (+0) sda_scl=0 (+0) address=0 (+0) rate=384.62 min=384.62 max=400.00" ]; then
    pass "the last sample printed after the dialog"
else
    fail "after the dialog: $szLast"
fi

export ARMLINK_COM2="$E2E_DIR/no-such-port-2"
run_dialog small 40 15 "sleep 1; printf '\\033'"
expect_rc 1
expect_drawn small "The terminal is too small for the" "51 x 19 (51 x 22"
expect_terminal_restored small

finish
