#!/usr/bin/env bash
# "/extended" is not in this version yet: the program says so in a message box, opens no
# dialog, touches no port and ends with exit code 0 once the box is closed.
. "$(dirname "$0")/lib.sh"

start_armsim arm <<'SCENARIO' || { fail "armsim did not start"; finish; }
baud 9600
SCENARIO
PTY=$SIM_PTY
map_ports "$PTY" "$(no_port 2)" "$(no_port 3)" "$(no_port 4)"

for szSwitch in /extended; do
    start_armlink "$szSwitch"
    nFound=""
    for i in $(seq 1 100); do
        nFound=$(window_of ArmLink)
        [ -n "$nFound" ] && break
        sleep 0.1
    done
    if [ -n "$nFound" ]; then
        pass "$szSwitch: the message box is shown"
        sleep 0.3
        screenshot ArmLink "message-${szSwitch#/}"
        dialog_state ArmLink >"$W_ART/message-${szSwitch#/}.txt"
        check "$szSwitch: the box names the missing mode" \
            grep -q "does not yet have the" "$W_ART/message-${szSwitch#/}.txt"
    else
        fail "$szSwitch: no message box"
    fi
    check "$szSwitch: no status dialog" test -z "$(window_of "ZOLM Log")$(window_of Statistics)"
    press ArmLink Return
    if nExit=$(wait_exit 10); then
        check "$szSwitch: exit code 0" test "$nExit" = 0
    else
        fail "$szSwitch: the program did not end after Enter"
    fi
done
check "no port was touched" test ! -s "$W_ART/arm.record"
check "the settings key was not made" test -z "$(settings_key_exists && echo made)"
finish
