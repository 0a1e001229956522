#!/usr/bin/env bash
# A second program on the port the arm is on: the first armlink holds it (the statistics
# poll), a second one cannot open it. The second searches the other ports, ends with "No Arm
# Found" (exit status 1) and names the port as in use by another program, once, on standard
# error; in the dialog drawn on the terminal the same line follows once the terminal is given
# back. Nothing of the second reaches the line, the log or the settings, and the first polls on
# undisturbed.
source "$(dirname "$0")/lib.sh"

export TERM=xterm

write_comm_param "2 9600 n 8 1"
start_sim arm "baud 9600"
export ARMLINK_COM2="$SIM_LINK"
"$ARMLINK" --plain /stats >"$E2E_DIR/first.out" 2>"$E2E_DIR/first.err" </dev/null &
nFirst=$!
wait_for_match "$E2E_DIR/first.out" '^sample: ' || fail "the first program shows no sample"
cp "$SETTINGS_FILE" "$E2E_DIR/settings.before"

szBusy="armlink: COM2 ($SIM_LINK): in use by another program"
run_armlink 30 --plain
expect_rc 1
if [ "$(tail -n 1 "$E2E_DIR/out")" = "status: No Arm Found" ]; then pass "the second program: No Arm Found"; else fail "out: $(cat "$E2E_DIR/out")"; fi
if [ "$(grep -cxF "$szBusy" "$E2E_DIR/err")" -eq 1 ]; then pass "the busy port named once"; else fail "stderr: $(cat "$E2E_DIR/err")"; fi
if [ ! -e "$LOG_FILE" ]; then pass "no log entry"; else fail "a log file was written: $(od -c "$LOG_FILE" | head -5)"; fi
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.before" "the settings untouched by the second program"

# The same in the dialog drawn on a terminal: closed with q on "No Arm Found".
RC=0
(sleep 1; printf q; sleep 1) |
    timeout -k 2 30 script -q -e -c "stty cols 80 rows 24; exec '$ARMLINK'" "$E2E_DIR/dialog.tty" \
        >/dev/null 2>&1 || RC=$?
expect_rc 1
if tr -d '\r' <"$E2E_DIR/dialog.tty" | grep -aqxF "$szBusy"; then
    pass "the dialog names the busy port once the terminal is given back"
else
    fail "dialog: $(tr -d '\r' <"$E2E_DIR/dialog.tty" | tail -n 8)"
fi

if "$ARMLINK" --ports | grep -qE "^COM2 .*busy \(held by another program\)$"; then pass "--ports: COM2 busy"; else fail "--ports: $("$ARMLINK" --ports)"; fi

# The first program never noticed: its line carried only its own commands, and it goes on.
nSamples=$(grep -c '^sample: ' "$E2E_DIR/first.out")
wait_for_match "$E2E_DIR/first.out" "^sample: " || true
sleep 2.5
if [ "$(grep -c '^sample: ' "$E2E_DIR/first.out")" -gt "$nSamples" ]; then pass "the first program polls on"; else fail "the first program stopped: $(tail -n 3 "$E2E_DIR/first.out")"; fi
if [ "$(grep -c ' _I$' "$SIM_RECORD")" -eq 1 ] && ! grep -qv ' _I$\| _G$\| _G STATS$' "$SIM_RECORD"; then
    pass "the line carried the first program's commands only"
else
    fail "record: $(sort "$SIM_RECORD" | uniq -c)"
fi
kill -TERM "$nFirst"
RC=0
wait "$nFirst" || RC=$?
expect_rc 0
if [ ! -s "$E2E_DIR/first.err" ]; then pass "the first program named nothing"; else fail "first stderr: $(cat "$E2E_DIR/first.err")"; fi

finish
