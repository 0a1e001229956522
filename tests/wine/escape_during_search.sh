#!/usr/bin/env bash
# Escape while the search runs on a silent device: the search worker stops within one try, the
# shutdown waits for it, and the program ends within the 5000 ms of that wait, with exit code 1
# (closed before the work was done).
. "$(dirname "$0")/lib.sh"

CAPTION="ZOLM Log"
start_armsim silent <<'SCENARIO' || { fail "armsim did not start"; finish; }
unanswered _I
SCENARIO
PTY=$SIM_PTY
map_ports "$(no_port 1)" "$PTY" "$(no_port 3)" "$(no_port 4)"
store_comm_param "2 4800 n 8 1"

start_armlink
if wait_status_like "$CAPTION" '^COM2: [0-9]+ [ne] [78] 1$' 15; then
    pass "the search is trying COM2"
else
    fail "no try on COM2 shown (status: $(control_text "$CAPTION" 1028))"
fi
# Into the slow tries at 4800 baud, with a wait for the echo of up to 416 ms each.
sleep 1
screenshot "$CAPTION" searching
nTries=$(record_of silent | wc -l)

nPressed=$(now_ms)
press "$CAPTION" Escape || fail "the dialog could not be given the key"
if nExit=$(wait_exit 8); then
    nTook=$(( $(now_ms) - nPressed ))
    echo "$W_NAME: ended ${nTook} ms after Escape" | tee "$W_ART/shutdown-ms.txt"
    check "exit code 1" test "$nExit" = 1
    check "ended within the 5000 ms shutdown wait (took ${nTook} ms)" test "$nTook" -lt 5000
else
    fail "the program did not end within 8 s of Escape"
fi
check "the search had tried settings before Escape ($nTries)" test "$nTries" -ge 1
nAfter=$(record_of silent | wc -l)
sleep 1
check "no try reached the line after the program ended" \
    test "$(record_of silent | wc -l)" -eq "$nAfter"
check "no log file is written" test ! -e "$LOG_FILE"
# Kept for the record: what the shutdown stored while the search held a port open.
comm_param >"$W_ART/comm-param-after.txt"
finish
