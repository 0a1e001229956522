#!/usr/bin/env bash
# No arm on any port (all four map to paths that do not exist): three searches, then
# "No Arm Found", exit status 1, no line settings stored, each port's reason named once.
# A second run starts from stored settings that are garbage and treats them safely; its "/Stats"
# is named as no switch and runs the error-log retrieval.
# The ticks between the searches are this run's subject: the full waits.
E2E_FULL_WAITS=1
source "$(dirname "$0")/lib.sh"

run_armlink 20 --plain
expect_rc 1
{
    for _ in 1 2 3; do
        echo "status: Searching"
        for nPort in 1 2 3 4; do echo "status: COM$nPort: 9600 n 8 1"; done
    done
    echo "status: No Arm Found"
} >"$E2E_DIR/out.expected"
expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.expected" "three searches over four ports, then No Arm Found"
for nPort in 1 2 3 4; do
    echo "armlink: COM$nPort ($E2E_DIR/no-such-port-$nPort): no such device"
done >"$E2E_DIR/err.expected"
expect_file_equals "$E2E_DIR/err" "$E2E_DIR/err.expected" "each missing port named once on standard error"
if [ -z "$(stored_comm_param)" ]; then pass "no CommParam stored"; else fail "CommParam stored: $(stored_comm_param)"; fi
if [ ! -e "$LOG_FILE" ]; then pass "no log file written"; else fail "a log file was written"; fi
# Three searches end on the third 500 ms tick.
if [ "$ELAPSED" -ge 1400 ] && [ "$ELAPSED" -lt 4000 ]; then pass "ended after ${ELAPSED} ms"; else fail "took ${ELAPSED} ms"; fi

# Stored settings that cannot be used: a port of 0, a rate of 0 (the echo wait divides by the
# rate), a parity letter x; lines of garbage around them. The search starts from COM1 at
# 9600 8N1 and the file is left as it was.
mkdir -p "$(dirname "$SETTINGS_FILE")"
printf '\001\002garbage without an equals sign\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZOLM Technologies\\ZOLM Error Log]\nCommParam=0 0 x 0 0\nLastFile=%0300d\n' 7 >"$SETTINGS_FILE"
cp "$SETTINGS_FILE" "$E2E_DIR/settings.before"
run_armlink 20 --plain /Stats
expect_rc 1
if grep -qxF 'armlink: "/Stats" is not a switch; running the error-log retrieval' "$E2E_DIR/err"; then pass "/Stats named"; else fail "/Stats: $(head -n 1 "$E2E_DIR/err")"; fi
if [ "$(sed -n 2p "$E2E_DIR/out")" = "status: COM1: 9600 n 8 1" ]; then pass "garbage settings: the search starts at COM1 9600 n 8 1"; else fail "garbage settings: first try was $(sed -n 2p "$E2E_DIR/out")"; fi
if [ "$(tail -n 1 "$E2E_DIR/out")" = "status: No Arm Found" ]; then pass "garbage settings: No Arm Found"; else fail "garbage settings: ended with $(tail -n 1 "$E2E_DIR/out")"; fi
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.before" "garbage settings left as they were"

finish
