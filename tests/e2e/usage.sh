#!/usr/bin/env bash
# --help describes the switches, the port map, the settings file and the log file in use;
# a bad option is bad usage (exit status 2).
source "$(dirname "$0")/lib.sh"

mkdir -p "$(dirname "$SETTINGS_FILE")"
printf '[Ports]\nCOM3 = %s/from-ports-section\n' "$E2E_DIR" >"$SETTINGS_FILE"
unset ARMLINK_COM3

for szOption in --help -h; do
    run_armlink 10 "$szOption"
    expect_rc 0
    for szWanted in "/stats" "--polls N" "sample: captures=" "errors: error=" "/extended" "ARMLINK_COM1" "ARMLINK_COM4" "[Ports]" \
        "Settings file: $SETTINGS_FILE" "Log file: $LOG_FILE" \
        "  COM2  $E2E_DIR/no-such-port-2" "  COM3  $E2E_DIR/from-ports-section"; do
        if grep -qF -- "$szWanted" "$E2E_DIR/out"; then
            pass "$szOption names $szWanted"
        else
            fail "$szOption does not name \"$szWanted\""
        fi
    done
done
if [ ! -e "$LOG_FILE" ]; then pass "--help touches no log"; else fail "--help wrote a log"; fi

# Nothing made that nobody asked for: no probe file beside the program (a file made and removed
# still changes the directory's time), no state directory.
export XDG_STATE_HOME="$E2E_DIR/state"
szBefore=$(stat -c %y "$E2E_DIR")
sleep 0.01
for szOption in --version --help --ports; do "$ARMLINK" "$szOption" >/dev/null 2>&1 </dev/null; done
if [ "$(stat -c %y "$E2E_DIR")" = "$szBefore" ] && [ ! -e "$XDG_STATE_HOME" ]; then pass "nothing made"; else fail "made: $(ls -A "$E2E_DIR")"; fi

# Standard output that cannot be written is a failure, named.
RC=0
"$ARMLINK" --help >/dev/full 2>"$E2E_DIR/err" </dev/null || RC=$?
expect_rc 1
if grep -qxF "armlink: standard output: No space left on device" "$E2E_DIR/err"; then pass "--help > /dev/full named"; else fail "--help > /dev/full: $(cat "$E2E_DIR/err")"; fi

run_armlink 10 --x
expect_rc 2
if grep -qF -- '--x' "$E2E_DIR/err" && [ ! -s "$E2E_DIR/out" ]; then pass "--x named on standard error"; else fail "--x: out=$(cat "$E2E_DIR/out") err=$(cat "$E2E_DIR/err")"; fi

run_armlink 10 --plain -v
expect_rc 2


# --polls counts polls from 1, and only for the live statistics.
for szArgs in "--polls 0 /stats" "--polls x /stats" "--polls 4294967296 /stats" "--polls 3" \
    "--polls"; do
    # shellcheck disable=SC2086
    run_armlink 10 --plain $szArgs
    expect_rc 2
    if grep -qF -- '--polls' "$E2E_DIR/err" && [ ! -s "$E2E_DIR/out" ]; then
        pass "$szArgs: named on standard error"
    else
        fail "$szArgs: out=$(cat "$E2E_DIR/out") err=$(cat "$E2E_DIR/err")"
    fi
done

finish
