#!/usr/bin/env bash
# No arm: COM1 to COM3 lead nowhere (under Wine they open, and every comm call then fails) and
# a silent device sits on COM4. Three searches run, "No Arm Found" follows, nothing is stored.
. "$(dirname "$0")/lib.sh"

CAPTION="ZOLM Log"
start_armsim silent <<'SCENARIO' || { fail "armsim did not start"; finish; }
unanswered _I
SCENARIO
PTY=$SIM_PTY
map_ports "$(no_port 1)" "$(no_port 2)" "$(no_port 3)" "$PTY"

# Wine's comm trace names the thread of every port call: each search worker is a thread of its
# own that sizes the queues of every port it opens.
W_WINEDEBUG=+comm start_armlink
if wait_status_like "$CAPTION" '^(Searching|COM[1-4]: )' 15; then
    pass "the dialog shows the search"
else
    fail "no search shown (status: $(control_text "$CAPTION" 1028))"
fi
if wait_status_like "$CAPTION" '^COM4: [0-9]+ [ne] [78] 1$' 10; then
    pass "the tries on COM4 are shown"
    screenshot "$CAPTION" searching
else
    fail "no try on COM4 shown"
fi

if wait_status "$CAPTION" "No Arm Found" 40; then
    pass "\"No Arm Found\" after the third search"
else
    fail "no \"No Arm Found\" (status: $(control_text "$CAPTION" 1028))"
fi
screenshot "$CAPTION" no-arm-found
dialog_state "$CAPTION" >"$W_ART/dialog-no-arm.txt"
check "the button still reads \"Cancel\"" test "$(control_text "$CAPTION" 1)" = "Cancel"
check "no log path is shown" has_control_line "$CAPTION" "1030 0 1 "

# Three searches, each one a worker that opens COM1 to COM4 once.
szSearchThreads=$(grep 'IOCTL_SERIAL_SET_QUEUE_SIZE' "$W_ART/wine.out" | cut -d: -f1 || true)
check "three search workers ran" test "$(sort -u <<<"$szSearchThreads" | grep -c .)" -eq 3
check "each search opened the four ports once" test "$(grep -c . <<<"$szSearchThreads")" -eq 12

# What the silent device saw: the first search tries the initial 9600, then the six rates from
# 4800 at 8 data bits without parity, then the first try at 7 data bits, even parity. A pty
# cannot carry parity: glibc's tcsetattr reports EINVAL when the pty drops it (from the second
# such request on), so the port refuses the line, is given up, and the later searches cannot
# program it at all. The framing half of the search is proven in the unit tests.
EXPECTED="9600 _I
4800 _I
9600 _I
19200 _I
38400 _I
57600 _I
115200 _I
4800 _I"
check "the silent device saw the tries in order until it refused the parity" \
    test "$(record_of silent)" = "$EXPECTED"
check "no log file is written" test ! -e "$LOG_FILE"

press "$CAPTION" Escape || fail "the dialog could not be given Escape"
if nExit=$(wait_exit 10); then
    check "exit code 1 (no arm found)" test "$nExit" = 1
else
    fail "the program did not end after Escape"
fi
check "no CommParam is stored" test -z "$(comm_param)"
check "the settings key exists after the run" settings_key_exists
finish
