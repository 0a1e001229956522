#!/usr/bin/env bash
# Arms behind a network serial server: ser2net on the loopback in front of a simulated arm's pty.
# Through RFC 2217 the search steps the server's line as it steps a local one (the arm at 19200
# is found from 9600 stored and sees "_I" at both rates); through raw TCP the server keeps its
# own line, set to the arm's rate. Either way the entry and the status lines are byte for byte
# those of the same arm on a local pty, and --ports names the kind and that the server accepts.
# An address where nothing listens is named once and passed over. The server stopped and
# started again while /stats polls: the arm is lost, then back.
source "$(dirname "$0")/lib.sh"

SCENARIO="baud 19200
arm ARM-NET
error 80000104 2 0 1A 0 0 FFFFFFFF
error 00020008 1 10 0 0 0 0
counters 12345678 FFFFFFFF 0 1 2 3 4 5 A"

# The reference: the same arm on a local pty.
write_comm_param "2 9600 n 8 1"
start_sim local "$SCENARIO"
export ARMLINK_COM2="$SIM_LINK"
run_armlink 30 --plain
expect_rc 0
mv "$E2E_DIR/out" "$E2E_DIR/out.local"
normalised_log >"$E2E_DIR/log.local"
rm -f "$LOG_FILE"

# scheme, ser2net's accepter, the rate the server opens the line at, the rates of the four
# "_I" the arm sees, and the kind --ports names.
while read -r szScheme szAccepter nRate szTries szKind; do
    start_sim "$szScheme" "$SCENARIO"
    nPort=$(lib_free_port)
    lib_start_ser2net "$E2E_DIR/$szScheme-server" "$szAccepter" "$nPort" "$SIM_LINK" "$nRate"
    export ARMLINK_COM2="$szScheme://127.0.0.1:$nPort"
    write_comm_param "2 9600 n 8 1"
    run_armlink 30 --plain
    expect_rc 0
    normalised_log >"$E2E_DIR/log.$szScheme"
    expect_file_equals "$E2E_DIR/log.$szScheme" "$E2E_DIR/log.local" \
        "$szScheme: the entry of the local arm"
    expect_file_equals "$E2E_DIR/out" "$E2E_DIR/out.local" \
        "$szScheme: the status lines of the local arm"
    { tr ',' '\n' <<<"$szTries" | sed 's/$/ _I/' && tail -n +5 "$E2E_DIR/local.record"; } \
        >"$E2E_DIR/record.expected"
    expect_file_equals "$SIM_RECORD" "$E2E_DIR/record.expected" \
        "$szScheme: the tries at $szTries, then the entry"
    rm -f "$LOG_FILE"
    run_armlink 10 --ports
    if [ "$(grep -F "$ARMLINK_COM2" "$E2E_DIR/out" | grep -F "$szKind" | grep -cw accepts)" = 1 ]; then
        pass "$szScheme: --ports names $szKind, accepts"
    else
        fail "$szScheme: --ports: $(cat "$E2E_DIR/out")"
    fi
    lib_stop_ser2net
done <<'EOF'
rfc2217 telnet(rfc2217),tcp 9600 9600,4800,9600,19200 RFC 2217
tcp tcp 19200 19200,19200,19200,19200 raw TCP
EOF

# Nothing listens at COM2's address: named once, and the search goes on to COM3.
start_sim beside "baud 9600"
while read -r szScheme szCom3 nRc; do
    szAddress="$szScheme://127.0.0.1:$(lib_free_port)"
    ARMLINK_COM3=$szCom3 run_armlink 30 --plain --port "COM2=$szAddress"
    expect_rc "$nRc"
    if [ "$(grep -F COM2 "$E2E_DIR/err" | grep -F "$szAddress" | grep -c refused)" -eq 1 ] &&
        [ "$(grep -c COM2 "$E2E_DIR/err")" -eq 1 ]; then
        pass "$szAddress: refused, named once"
    else
        fail "$szAddress: $(cat "$E2E_DIR/err")"
    fi
done <<EOF
rfc2217 $SIM_LINK 0
tcp $E2E_DIR/no-such-port-3 1
EOF

# /stats through the server; the server stopped, then started again on the same port.
start_sim polled "baud 9600"
nPort=$(lib_free_port)
lib_start_ser2net "$E2E_DIR/polled-server" "telnet(rfc2217),tcp" "$nPort" "$SIM_LINK" 9600
export ARMLINK_COM2="rfc2217://127.0.0.1:$nPort"
write_comm_param "2 9600 n 8 1"
"$ARMLINK" --plain /stats >"$E2E_DIR/out" 2>"$E2E_DIR/err" </dev/null &
nPid=$!
LIB_PIDS+=("$nPid")
if wait_for_match "$E2E_DIR/out" '^sample: ' && lib_stop_ser2net &&
    wait_for_match "$E2E_DIR/out" '^lost: ' &&
    lib_start_ser2net "$E2E_DIR/polled-server" "telnet(rfc2217),tcp" "$nPort" "$SIM_LINK" 9600 &&
    wait_for_match "$E2E_DIR/out" '^back: '; then
    # Polled again once back (the polls are 2 s apart).
    for _ in $(seq 1 100); do
        [ "$(sed '1,/^back: /d' "$E2E_DIR/out" | grep -c '^sample: ')" -eq 0 ] || break
        sleep 0.05
    done
fi
kill -INT "$nPid" 2>/dev/null || true
RC=0
wait "$nPid" || RC=$?
expect_rc 0
if [ "$(grep -oE '^(lost|back):' "$E2E_DIR/out" | tr -d '\n')" = "lost:back:" ] &&
    [ "$(sed '1,/^back: /d' "$E2E_DIR/out" | grep -c '^sample: ')" -ge 1 ]; then
    pass "lost, back, polled again"
else
    fail "out: $(cat "$E2E_DIR/out")"
fi

finish
