#!/usr/bin/env bash
# The Linux port options. --ports names each COM number's device, where the mapping comes from,
# and whether the device is there, a terminal, allowed to this user (with the group to join, as
# the device names it) or busy, and changes no line setting; --port maps a port for one run and
# bad values are bad usage; --version prints the build's version; --log and --verbose; without
# any mapping the console is never opened; a program directory that may not be written sends
# the log to the user's state directory.
source "$(dirname "$0")/lib.sh"

start_sim arm "baud 9600"
ARM_LINK=$SIM_LINK
touch "$E2E_DIR/plain-file"
export ARMLINK_COM2="$E2E_DIR/plain-file"
unset ARMLINK_COM3
mkdir -p "$(dirname "$SETTINGS_FILE")"
printf '[Ports]\nCOM3=%s\n' "$ARM_LINK" >"$SETTINGS_FILE"
szLineBefore=$(stty -F "$ARM_LINK" -g)

# The listing: a pty from the settings file, a missing path, a regular file, one from --port.
run_armlink 10 --ports --port "COM4=$ARM_LINK"
expect_rc 0
expect_line() {  # expect_line REGEX WHAT
    if grep -qE -- "$1" "$E2E_DIR/out"; then pass "$2"; else fail "$2: $(cat "$E2E_DIR/out")"; fi
}
expect_line "^COM1  $E2E_DIR/no-such-port-1  \(from ARMLINK_COM1\)  does not exist$" "a missing path"
expect_line "^COM2  $E2E_DIR/plain-file  \(from ARMLINK_COM2\)  not a terminal device$" "a regular file"
expect_line "^COM3  $ARM_LINK  \(from the settings file\)  terminal device, free$" "a free pty"
expect_line "^COM4  $ARM_LINK  \(from --port\)  terminal device, free$" "--port above the rest"
if [ "$(stty -F "$ARM_LINK" -g)" = "$szLineBefore" ]; then pass "the listing changed no line setting"; else fail "the line changed"; fi

# Busy: another program holds the port with a lock.
flock "$ARM_LINK" sleep 3 &
nHolder=$!
sleep 0.3
run_armlink 10 --ports
expect_line "^COM3  $ARM_LINK  \(from the settings file\)  terminal device, busy \(held by another program\)$" "a busy device"
wait "$nHolder" || true

# A device this user may not open: the advice names the device's own group.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null 2>&1; then
    szDevice=$(readlink -f "$ARM_LINK")
    chgrp dialout "$szDevice" && chmod 0660 "$szDevice"
    chmod 0755 "$E2E_DIR"
    RC=0
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$ARMLINK" --ports \
        >"$E2E_DIR/out" 2>"$E2E_DIR/err" || RC=$?
    expect_rc 0
    expect_line "^COM3  $ARM_LINK  \(from the settings file\)  terminal device, no permission \(join the group \"dialout\"\)$" \
        "no permission: the device's group named"
else
    echo "linux_ports: not root: the no-permission case is left out"
fi

# Bad values of --port are bad usage.
for szBad in "COM2" "COM5=/dev/null" "COM0=/dev/null" "COM2=" "ttyS0=/dev/null"; do
    run_armlink 10 --port "$szBad" --ports
    expect_rc 2
    if grep -qF -- "--port takes COMn=PATH" "$E2E_DIR/err"; then pass "--port $szBad refused"; else fail "--port $szBad: $(cat "$E2E_DIR/err")"; fi
done

# A device named for the run that is not there, a link to nowhere, or no terminal.
ln -s "$E2E_DIR/nowhere" "$E2E_DIR/dangling"
for szBad in "COM2=$E2E_DIR/missing" "COM2=$E2E_DIR/dangling" "COM2=$E2E_DIR/plain-file"; do
    run_armlink 10 --plain --port "$szBad"
    expect_rc 2
    if [ "$(wc -l <"$E2E_DIR/err")" -eq 1 ] && grep -qE -- "^armlink: --port $szBad: (does not exist|a link to nowhere|not a terminal device)$" "$E2E_DIR/err"; then
        pass "--port $szBad named in one line"
    else
        fail "--port $szBad: $(cat "$E2E_DIR/err")"
    fi
done

run_armlink 10 --version
expect_rc 0
if grep -qxE 'armlink [0-9]+\.[0-9]+\.[0-9]+' "$E2E_DIR/out"; then pass "version $(cat "$E2E_DIR/out")"; else fail "--version: $(cat "$E2E_DIR/out")"; fi

# --log and --verbose: the entry goes to the chosen file, one progress line per exchange.
write_comm_param "3 9600 n 8 1"
export ARMLINK_COM3="$ARM_LINK"
run_armlink 60 --plain --verbose --log "$E2E_DIR/chosen.zlg"
expect_rc 0
{
    echo "progress: identity"
    for n in 1 2 3 4 5 6 7; do echo "progress: record $n of 7"; done
    echo "progress: counters"
} >"$E2E_DIR/progress.expected"
grep '^progress: ' "$E2E_DIR/out" >"$E2E_DIR/progress" || true
expect_file_equals "$E2E_DIR/progress" "$E2E_DIR/progress.expected" "progress lines in the order of the exchanges"
if grep -q '^STAMP: BY: Error Log' "$E2E_DIR/chosen.zlg" 2>/dev/null && [ ! -e "$LOG_FILE" ]; then
    pass "the entry went to the --log file"
else
    fail "--log: $(ls "$E2E_DIR")"
fi
if grep -qxF "log: $E2E_DIR/chosen.zlg" "$E2E_DIR/out"; then pass "the chosen path shown"; else fail "out: $(cat "$E2E_DIR/out")"; fi

# Nothing mapped at all: the default map, which never holds the console.
szConsoles=$(cat /sys/class/tty/console/active 2>/dev/null || true)
unset ARMLINK_COM1 ARMLINK_COM2 ARMLINK_COM3 ARMLINK_COM4
rm -f "$SETTINGS_FILE"
szConsoleLine=""
for szLine in $szConsoles; do
    if [ -c "/dev/$szLine" ] && [ "${szLine#ttyS}" != "$szLine" ]; then
        szConsoleLine=$(stty -F "/dev/$szLine" -g 2>/dev/null || true)
        szConsole=/dev/$szLine
    fi
done
run_armlink 30 --ports
if [ -n "$szConsoleLine" ]; then
    expect_line "^  $szConsole: the system console$" "the console left out of the default map"
    if grep -qE "^COM[1-4]  $szConsole " "$E2E_DIR/out"; then fail "the console is mapped"; else pass "no COM number stands for the console"; fi
    run_armlink 30 --plain
    if [ "$(stty -F "$szConsole" -g)" = "$szConsoleLine" ]; then pass "the console's line untouched"; else fail "the console's line changed"; fi
    if grep -q "^armlink: COM[1-4] ($szConsole)" "$E2E_DIR/err"; then fail "the console was opened: $(cat "$E2E_DIR/err")"; else pass "the console was not opened"; fi
else
    echo "linux_ports: no serial console on this machine: the console case is left out"
fi

# A program directory that may not be written: the log goes to the state directory.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null 2>&1; then
    mkdir -p "$E2E_DIR/ro/bin" "$E2E_DIR/state"
    cp "$ARMLINK_FULL_WAITS" "$E2E_DIR/ro/bin/armlink"
    chmod 0755 "$E2E_DIR/ro" "$E2E_DIR/ro/bin"
    chmod 0777 "$E2E_DIR/state"
    RC=0
    XDG_STATE_HOME="$E2E_DIR/state" setpriv --reuid=nobody --regid=nogroup --clear-groups \
        "$E2E_DIR/ro/bin/armlink" --help >"$E2E_DIR/out" 2>"$E2E_DIR/err" || RC=$?
    expect_rc 0
    expect_line "^Log file: $E2E_DIR/state/armlink/ErrorLog.zlg$" "the log path falls back to the state directory"
fi

finish
