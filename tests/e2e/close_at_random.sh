#!/usr/bin/env bash
# Closes armlink at random moments (SIGTERM, SIGINT, and SIGKILL now and then) while it searches
# and while it writes the entry; every third run is a SIGKILL aimed at the entry's write: the arm
# there has firmware that ends the entry after the identity, and the signal comes 1.7 to 2.4 s
# after the identity is asked for, around the end of its 2000 ms read, when the entry goes to
# the file. Whatever the moment: the program ends in order within the shutdown wait, each run
# adds a whole entry to the log or none (never half a line, never half an entry), and a stored
# "CommParam" is always a whole setting (never 7 data bits without parity, never 8 with).
# ARMLINK_CLOSE_RUNS sets how many runs (default 6; the thread-sanitizer stage runs 20).
# The signals aim at moments inside the reads: the full waits.
E2E_FULL_WAITS=1
source "$(dirname "$0")/lib.sh"

nRuns=${ARMLINK_CLOSE_RUNS:-6}
RANDOM=$$
for nRun in $(seq 1 "$nRuns"); do
    rm -f "$SETTINGS_FILE"
    write_comm_param "2 19200 n 8 1"
    # The runs aimed at the write use an arm whose firmware ends the entry after the identity,
    # so the moment comes within seconds, not after seven record reads.
    bAimed=$((nRun % 3 == 0))
    szFirmware="version 4.60"
    [ "$bAimed" -eq 0 ] || szFirmware="version 4.50"
    start_sim "arm$nRun" "baud 9600
$szFirmware
error 104 2 0 1A 0 0 0
error 20008 1 10 0 0 0 0"
    export ARMLINK_COM2="$SIM_LINK"
    nLogBefore=$(stat -c %s "$LOG_FILE" 2>/dev/null || echo 0)
    "$ARMLINK" --plain --verbose >"$E2E_DIR/out.$nRun" 2>"$E2E_DIR/err.$nRun" </dev/null &
    nPid=$!
    szAt=""
    if [ "$bAimed" -eq 1 ]; then
        szSignal=KILL
        szAt=" of the identity request"
        # The identity takes its 2000 ms read; the entry is written just after.
        nDelayMs=$((1700 + RANDOM % 700))
        for _ in $(seq 1 200); do
            grep -qx 'progress: identity' "$E2E_DIR/out.$nRun" && break
            sleep 0.05
        done
    else
        nDelayMs=$((RANDOM % 6000))
        case $((RANDOM % 5)) in
            0) szSignal=INT ;;
            1) szSignal=KILL ;;
            *) szSignal=TERM ;;
        esac
    fi
    sleep "$(printf '%d.%03d' $((nDelayMs / 1000)) $((nDelayMs % 1000)))"
    nSent=$(date +%s%N)
    kill -"$szSignal" "$nPid" 2>/dev/null || true
    RC=0
    wait "$nPid" || RC=$?
    nWaited=$((($(date +%s%N) - nSent) / 1000000))
    szWhat="run $nRun: SIG$szSignal ${nDelayMs} ms after the start$szAt"
    if [ "$szSignal" = KILL ]; then
        # 0: the run had ended before the signal came.
        case "$RC" in
            0 | 137) pass "$szWhat: exit status $RC" ;;
            *) fail "$szWhat: exit status $RC" ;;
        esac
    else
        # 0: the entry was done before the signal; 1: closed before it was done; 5: the arm
        # was cut off in the middle (never here). A signal that comes while the program is still
        # being loaded, before it has said anything, ends it as the signal's default does
        # (128 + its number); later that would be wrong, as is anything else.
        nDefault=$((128 + $(kill -l "$szSignal")))
        case "$RC" in
            0 | 1) pass "$szWhat: exit status $RC" ;;
            "$nDefault") if [ -s "$E2E_DIR/out.$nRun" ]; then
                fail "$szWhat: ended by the signal's default after: $(head -n 1 "$E2E_DIR/out.$nRun")"
            else pass "$szWhat: ended while it was being loaded"; fi ;;
            *) fail "$szWhat: exit status $RC ($(head -c 300 "$E2E_DIR/err.$nRun"))" ;;
        esac
        if [ "$nWaited" -lt 5500 ]; then pass "$szWhat: ended ${nWaited} ms later"; else fail "$szWhat: ended only ${nWaited} ms later"; fi
    fi
    if grep -q 'Sanitizer' "$E2E_DIR/err.$nRun"; then
        fail "$szWhat: a sanitizer reported: $(head -c 600 "$E2E_DIR/err.$nRun")"
    fi
    # Every line of the log ends with CR LF, the last one included.
    if [ -s "$LOG_FILE" ]; then
        if [ "$(tail -c 2 "$LOG_FILE" | od -An -c | tr -d ' ')" != '\r\n' ] ||
            tr -d '\n' <"$LOG_FILE" | grep -q $'\r[^SEV]'; then
            fail "$szWhat: the log holds half a line: $(od -c "$LOG_FILE" | tail -5)"
        fi
    fi
    # The run's part of the log: nothing, or one whole entry, from its stamp to its counters
    # (the arm answers everything, and a stop still asks for the counters) or to the line of
    # the old firmware.
    tail -c +$((nLogBefore + 1)) "$LOG_FILE" 2>/dev/null | tr -d '\r' >"$E2E_DIR/entry.$nRun" || true
    if [ ! -s "$E2E_DIR/entry.$nRun" ]; then
        pass "$szWhat: no entry"
    elif [ "$(grep -c '^STAMP: ' "$E2E_DIR/entry.$nRun")" -eq 1 ] &&
        head -n 1 "$E2E_DIR/entry.$nRun" | grep -q '^STAMP: BY: Error Log, ' &&
        tail -n 1 "$E2E_DIR/entry.$nRun" | grep -qE '^(STATS: |VERSION OF FIRMWARE DOES NOT)'; then
        pass "$szWhat: one whole entry"
    else
        fail "$szWhat: the run left part of an entry: $(cat "$E2E_DIR/entry.$nRun")"
    fi
    kill -TERM "$LIB_SIM_PID" 2>/dev/null || true
    szStored=$(stored_comm_param)
    if [ -n "$szStored" ] && ! [[ "$szStored" =~ ^[1-4]\ (4800|9600|19200|38400|57600|115200)\ (n\ 8|e\ 7)\ 1$ ]]; then
        fail "$szWhat: CommParam is \"$szStored\""
    fi
done
# Every entry in the log, however many runs wrote one, starts with its stamp.
if [ -s "$LOG_FILE" ] && grep -v -E '^(STAMP: |ERROR: |STATS: |VERSION OF FIRMWARE)' "$LOG_FILE" | grep -q .; then
    fail "the log holds a line of no known form: $(grep -v -E '^(STAMP: |ERROR: |STATS: |VERSION)' "$LOG_FILE" | head -3)"
else
    pass "every line of the log has a known form"
fi

finish
