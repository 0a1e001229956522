#!/usr/bin/env bash
# "/stats" when things go wrong. The log file cannot be written: the error numbers are still
# printed, nothing is sent for the pass, polling goes on, the reason is named once and the exit
# status is 3. A poll without a good reply prints nothing and still counts. SIGTERM closes the
# statistics as the button would (exit status 0). The arm hangs up while polled: the loss is
# named, later polls show nothing, without burning the processor, the arm started again on the
# same link is taken back, and SIGINT still closes the program in order.
source "$(dirname "$0")/lib.sh"

# The CPU time of a process in clock ticks (user + system).
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

write_comm_param "2 9600 n 8 1"
mkdir "$LOG_FILE"
start_sim arm "baud 9600
stats_status 0x20C
error 104 2 0 1A 0 0 0"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 60 --plain /stats --polls 2
expect_rc 3
nErrors=$(grep -cx 'errors: error=3 ext=2 logged=0' "$E2E_DIR/out")
nSamples=$(grep -c '^sample: ' "$E2E_DIR/out")
if [ "$nErrors" -eq 2 ] && [ "$nSamples" -eq 2 ]; then pass "both polls printed their sample and error numbers"; else fail "out: $(cat "$E2E_DIR/out")"; fi
if [ "$(cat "$E2E_DIR/err")" = "armlink: the log entry was not written: cannot open $LOG_FILE: Is a directory" ]; then
    pass "the reason named once on standard error"
else
    fail "stderr: $(cat "$E2E_DIR/err")"
fi
printf '%s\n' "9600 _I" "9600 _G" "9600 _G STATS" "9600 _G STATS" >"$E2E_DIR/record.expected"
expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" "no \"_Y1\" or \"_P\" without the log"
rmdir "$LOG_FILE"

# A garbage reply to the first poll shows nothing, and that poll still counts for --polls.
start_sim garbled "baud 9600
stats_reply ##garbage##"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 60 --plain /stats --polls 2
expect_rc 0
if [ "$(grep -c '^sample: ' "$E2E_DIR/out")" -eq 1 ]; then pass "one sample line for two polls"; else fail "out: $(cat "$E2E_DIR/out")"; fi
if [ "$(grep -c ' _G STATS$' "$SIM_RECORD")" -eq 2 ]; then pass "closed after the second poll"; else fail "record: $(cat "$SIM_RECORD")"; fi

# SIGTERM while polling.
start_sim quiet "baud 9600"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --plain /stats >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
wait_for_match "$E2E_DIR/out" '^sample: ' || fail "no sample within 20 s"
nSent=$(date +%s%N)
kill -TERM "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 0
if [ "$nWaited" -lt 5000 ]; then pass "closed ${nWaited} ms after SIGTERM"; else fail "closed only ${nWaited} ms after SIGTERM"; fi
if [ "$(stored_comm_param)" = "2 9600 n 8 1" ]; then pass "CommParam stored"; else fail "CommParam is \"$(stored_comm_param)\""; fi

# The arm serves "_I", "_G" and the first "_G STATS", then hangs up: contact is lost at once,
# named once, and a run that ends so exits 5.
start_sim dying "baud 9600
hangup_after 3"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 60 --plain --fast /stats --polls 3
expect_rc 5
if [ "$(grep -c '^lost: no reply since [0-9][0-9]:[0-9][0-9]:[0-9][0-9]$' "$E2E_DIR/out")" -eq 1 ] &&
    grep -q '^status: No Reply Since [0-9:]*$' "$E2E_DIR/out"; then
    pass "the lost arm named once"
else
    fail "out: $(cat "$E2E_DIR/out")"
fi

# The same hang-up: later polls show nothing, without burning the processor; the arm started
# again on the same link is opened again and polled ("back:"), and SIGINT still closes the
# program in order, with exit status 0.
start_sim dying "baud 9600
hangup_after 3"
"$ARMLINK" --plain --fast /stats >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
wait_for_match "$E2E_DIR/out" '^lost: ' || fail "no loss named after the hang-up"
sleep 1
nTicks0=$(cpu_ticks "$nPid")
sleep 4
nTicks1=$(cpu_ticks "$nPid")
if [ "$(grep -c '^sample: ' "$E2E_DIR/out")" -eq 1 ]; then pass "no sample after the hang-up"; else fail "out: $(cat "$E2E_DIR/out")"; fi
start_sim dying "baud 9600"
wait_for_match "$E2E_DIR/out" '^back: [0-9]{2}:[0-9]{2}:[0-9]{2}$' || fail "not back: $(cat "$E2E_DIR/out")"
wait_for_match "$E2E_DIR/out" '^sample: ' || true
nSent=$(date +%s%N)
kill -INT "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 0
nTickHz=$(getconf CLK_TCK)
# 4 s of dead polls: well under 5% of one core.
if [ $(((nTicks1 - nTicks0) * 100)) -lt $((nTickHz * 4 * 5)) ]; then
    pass "$((nTicks1 - nTicks0)) ticks of CPU in 4 s after the hang-up"
else
    fail "$((nTicks1 - nTicks0)) ticks of CPU in 4 s after the hang-up"
fi
if [ "$nWaited" -lt 5000 ]; then pass "closed ${nWaited} ms after SIGINT"; else fail "closed only ${nWaited} ms after SIGINT"; fi
if [ "$(grep -B1 '^back: ' "$E2E_DIR/out" | head -n 1)" = "status: Arm: ARM01, v4.60, Calibrated: YES" ] &&
    [ "$(grep -c '^sample: ' "$E2E_DIR/out")" -ge 2 ] && grep -q ' _G STATS$' "$SIM_RECORD"; then
    pass "polled again on the same link"
else
    fail "out: $(cat "$E2E_DIR/out")"
fi

finish
