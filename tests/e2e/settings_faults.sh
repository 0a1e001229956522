#!/usr/bin/env bash
# The settings file when it is damaged or cannot be used: missing, unreadable, a directory, a
# FIFO, lone CR line ends, binary bytes, a "CommParam" of 300 bytes, a configuration directory
# that cannot be written. Each time the arm on COM2 is still found and its entry written (exit
# status 0); a store that failed is named once on standard error at the shutdown, and the
# settings file is left as it was; a "CommParam" stored without complaint reads back: the next
# run tries it first. (Root reads and writes past mode bits: as root, an unreadable file is one
# whose read fails, and a configuration directory that cannot be written is one that cannot be
# made.)
source "$(dirname "$0")/lib.sh"

szHeader='[HKEY_LOCAL_MACHINE\SOFTWARE\ZOLM Technologies\ZOLM Error Log]'
szConfigDir=$(dirname "$SETTINGS_FILE")

# One run of armlink against a fresh arm: RC, the status lines in out, standard error without
# the lines of the ports that do not exist in err.named. The arm's firmware is too old for the
# record requests, so an entry takes one exchange, not nine.
run_with_arm() {
    start_sim "arm" "baud 9600
version 4.50"
    export ARMLINK_COM2="$SIM_LINK"
    run_armlink 30 --plain
    kill -TERM "$LIB_SIM_PID" 2>/dev/null || true
    wait "$LIB_SIM_PID" 2>/dev/null || true
    grep -v ': no such device$' "$E2E_DIR/err" >"$E2E_DIR/err.named" || true
}

# check_case NAME FIRST_TRY NAMED: the run found the arm and wrote its entry; its first try was
# FIRST_TRY ("COM2: 19200 n 8 1" when the stored value was read, "COM1: 9600 n 8 1" when not);
# standard error named NAMED (an extended regular expression for the one line, "" for none).
check_case() {
    local szName=$1 szFirstTry=$2 szNamed=$3
    [ "$RC" -eq 0 ] || fail "$szName: exit status $RC ($(head -c 300 "$E2E_DIR/err"))"
    if [ "$(sed -n 2p "$E2E_DIR/out")" = "status: $szFirstTry" ] &&
        [ "$(tail -n 2 "$E2E_DIR/out" | head -n 1)" = "status: Done" ]; then
        pass "$szName: first try $szFirstTry, Done"
    else
        fail "$szName: out: $(cat "$E2E_DIR/out")"
    fi
    if [ -z "$szNamed" ]; then
        if [ ! -s "$E2E_DIR/err.named" ]; then pass "$szName: nothing named"; else fail "$szName: named: $(cat "$E2E_DIR/err.named")"; fi
    elif [ "$(wc -l <"$E2E_DIR/err.named")" -eq 1 ] && grep -qE "^armlink: the line settings were not saved: $szNamed$" "$E2E_DIR/err.named"; then
        pass "$szName: named once: $(cat "$E2E_DIR/err.named")"
    else
        fail "$szName: standard error: $(cat "$E2E_DIR/err.named")"
    fi
}

# expect_read_back NAME: the "CommParam" stored is the connection's, and the next run tries it
# first.
expect_read_back() {
    if [ "$(stored_comm_param)" = "2 9600 n 8 1" ]; then pass "$1: CommParam 2 9600 n 8 1 stored"; else fail "$1: CommParam \"$(stored_comm_param)\""; fi
    run_with_arm
    if [ "$(sed -n 2p "$E2E_DIR/out")" = "status: COM2: 9600 n 8 1" ] && [ "$RC" -eq 0 ]; then
        pass "$1: the stored CommParam reads back"
    else
        fail "$1: the next run: $(head -n 3 "$E2E_DIR/out")"
    fi
}

fresh() {
    chmod -R u+rwx "$XDG_CONFIG_HOME" 2>/dev/null || true
    rm -rf "$XDG_CONFIG_HOME"
    mkdir -p "$szConfigDir"
}

# Missing: the directory and the file are made at the shutdown.
rm -rf "$XDG_CONFIG_HOME"
run_with_arm
check_case missing "COM1: 9600 n 8 1" ""
printf '%s\nCommParam=2 9600 n 8 1\n' "$szHeader" >"$E2E_DIR/settings.expected"
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.expected" "missing: the file made"
expect_read_back missing

# Unreadable: the stored value cannot be read, nothing is stored, the file stays.
fresh
if [ "$(id -u)" -eq 0 ]; then
    ln -s /proc/self/mem "$SETTINGS_FILE" # opens, but reading its start fails
    szReason='cannot read /proc/[0-9]+/mem: Input/output error'
else
    printf '%s\nCommParam=2 19200 n 8 1\n' "$szHeader" >"$SETTINGS_FILE"
    chmod 000 "$SETTINGS_FILE"
    szReason="cannot read $SETTINGS_FILE: Permission denied"
fi
ls -l "$SETTINGS_FILE" >"$E2E_DIR/settings.before"
run_with_arm
check_case unreadable "COM1: 9600 n 8 1" "$szReason"
ls -l "$SETTINGS_FILE" >"$E2E_DIR/settings.after"
expect_file_equals "$E2E_DIR/settings.after" "$E2E_DIR/settings.before" "unreadable: left as it was"

# A directory, and a FIFO (never opened for good: the run ends).
for szKind in directory fifo; do
    fresh
    if [ "$szKind" = directory ]; then
        mkdir "$SETTINGS_FILE"
        szReason="cannot read $SETTINGS_FILE: Is a directory"
    else
        mkfifo "$SETTINGS_FILE"
        szReason="cannot read $SETTINGS_FILE: not a plain file"
    fi
    run_with_arm
    check_case "$szKind" "COM1: 9600 n 8 1" "$szReason"
    if [ "$szKind" = directory ] && [ -d "$SETTINGS_FILE" ] && [ -z "$(ls -A "$SETTINGS_FILE")" ]; then
        pass "$szKind: left as it was"
    elif [ "$szKind" = fifo ] && [ -p "$SETTINGS_FILE" ]; then
        pass "$szKind: left as it was"
    else
        fail "$szKind: $(ls -la "$szConfigDir")"
    fi
done

# Lone CR line ends, and binary bytes around the section: the value is read and replaced, every
# other byte stays.
fresh
printf '%s\rCommParam=2 19200 n 8 1\rLastFile=/home/tech/report.txt\r' "$szHeader" >"$SETTINGS_FILE"
run_with_arm
check_case "lone CR" "COM2: 19200 n 8 1" ""
printf '%s\rCommParam=2 9600 n 8 1\rLastFile=/home/tech/report.txt\r' "$szHeader" >"$E2E_DIR/settings.expected"
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.expected" "lone CR: the value replaced, the CR line ends kept"
expect_read_back "lone CR"

fresh
printf '\000\377\001binary\n%s\nCommParam=2 19200 n 8 1\n\376\000tail' "$szHeader" >"$SETTINGS_FILE"
run_with_arm
check_case binary "COM2: 19200 n 8 1" ""
printf '\000\377\001binary\n%s\nCommParam=2 9600 n 8 1\n\376\000tail' "$szHeader" >"$E2E_DIR/settings.expected"
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.expected" "binary: the value replaced, the other bytes kept"
expect_read_back binary

# A value of 300 bytes does not fit the 128 bytes it is read into: it is not read, and the
# shutdown replaces it.
fresh
printf '%s\nCommParam=2 19200 n 8 1%0287d\n' "$szHeader" 0 >"$SETTINGS_FILE"
if [ "$(stored_comm_param | tr -d '\n' | wc -c)" -eq 300 ]; then pass "300 bytes stored"; else fail "the value has $(stored_comm_param | wc -c) bytes"; fi
run_with_arm
check_case "300-byte value" "COM1: 9600 n 8 1" ""
printf '%s\nCommParam=2 9600 n 8 1\n' "$szHeader" >"$E2E_DIR/settings.expected"
expect_file_equals "$SETTINGS_FILE" "$E2E_DIR/settings.expected" "300-byte value: replaced"
expect_read_back "300-byte value"

# A configuration directory that cannot be written: a settings file that cannot be written is
# not read either, and nothing changes.
fresh
if [ "$(id -u)" -eq 0 ]; then
    rm -rf "$XDG_CONFIG_HOME"
    echo "a file where the directory goes" >"$XDG_CONFIG_HOME"
    szReason="cannot create $szConfigDir: Not a directory"
    cp "$XDG_CONFIG_HOME" "$E2E_DIR/settings.before"
    szKept=$XDG_CONFIG_HOME
else
    printf '%s\nCommParam=2 19200 n 8 1\n' "$szHeader" >"$SETTINGS_FILE"
    chmod 500 "$szConfigDir"
    szReason="cannot write $SETTINGS_FILE: Permission denied"
    cp "$SETTINGS_FILE" "$E2E_DIR/settings.before"
    szKept=$SETTINGS_FILE
fi
run_with_arm
check_case "read-only configuration directory" "COM1: 9600 n 8 1" "$szReason"
expect_file_equals "$szKept" "$E2E_DIR/settings.before" "read-only configuration directory: nothing changed"
rm -f "$XDG_CONFIG_HOME" 2>/dev/null || true
fresh

finish
