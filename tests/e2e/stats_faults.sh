#!/usr/bin/env bash
# "/stats" when things go wrong. The log file cannot be written: the error numbers are still
# printed, nothing is sent for the pass, polling goes on, the reason is named once and the exit
# status is 3. A poll without a good reply prints nothing and still counts. SIGTERM closes the statistics as the button would (exit status 0). The arm hangs
# up while polled: later polls show nothing, without burning the processor, and SIGINT still
# closes the program in order.
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

# The arm serves "_I", "_G" and the first "_G STATS", then hangs up.
start_sim dying "baud 9600
hangup_after 3"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --plain /stats >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
wait_for_match "$E2E_DIR/out" '^sample: ' || fail "no sample before the hang-up"
sleep 1
nTicks0=$(cpu_ticks "$nPid")
sleep 6
nTicks1=$(cpu_ticks "$nPid")
nSent=$(date +%s%N)
kill -INT "$nPid"
RC=0
wait "$nPid" || RC=$?
nWaited=$((($(date +%s%N) - nSent) / 1000000))
expect_rc 0
nTickHz=$(getconf CLK_TCK)
# 6 s of dead polls: well under 5% of one core.
if [ $(((nTicks1 - nTicks0) * 100)) -lt $((nTickHz * 6 * 5)) ]; then
    pass "$((nTicks1 - nTicks0)) ticks of CPU in 6 s after the hang-up"
else
    fail "$((nTicks1 - nTicks0)) ticks of CPU in 6 s after the hang-up"
fi
if [ "$nWaited" -lt 5000 ]; then pass "closed ${nWaited} ms after SIGINT"; else fail "closed only ${nWaited} ms after SIGINT"; fi
if [ "$(grep -c '^sample: ' "$E2E_DIR/out")" -eq 1 ]; then pass "no sample after the hang-up"; else fail "out: $(cat "$E2E_DIR/out")"; fi
if [ "$(tail -n 2 "$E2E_DIR/out" | head -n 1)" = "status: Arm: ARM01, v4.60, Calibrated: YES" ]; then
    pass "the status line kept its text"
else
    fail "out: $(cat "$E2E_DIR/out")"
fi

finish
