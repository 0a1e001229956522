# Shared set-up of the end-to-end runs of ArmLink.exe under Wine. scripts/test_windows.sh makes
# one fresh Wine prefix and one virtual X display per suite run and passes them in:
#   WINEPREFIX, DISPLAY       the prefix (booted) and the Xvfb display
#   ARMLINK_EXE DLGPROBE_EXE  the program under test and the dialog probe (cross-built)
#   ARMSIM                    the simulated arm (native)
#   WINE_ARTIFACTS            where each test keeps its screenshots, logs and records
# Each test gets a clean directory in drive_c holding only ArmLink.exe (so its ErrorLog.zlg
# starts clean and nothing lies beside the program), no stored settings, and COM1 to COM4 mapped
# only to armsim ptys or to paths that do not exist.
# shellcheck shell=bash

set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"

: "${WINEPREFIX:?}" "${DISPLAY:?}" "${ARMLINK_EXE:?}" "${DLGPROBE_EXE:?}" "${ARMSIM:?}"
: "${WINE_ARTIFACTS:?}"
export WINEPREFIX DISPLAY
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

W_NAME=$(basename "$0" .sh)
W_ART="$WINE_ARTIFACTS/$W_NAME"
rm -rf "$W_ART"
mkdir -p "$W_ART"
W_DIR_NAME="armlink-$W_NAME"
W_DIR="$WINEPREFIX/drive_c/$W_DIR_NAME"
W_WINDIR="C:\\$W_DIR_NAME"
LOG_FILE="$W_DIR/ErrorLog.zlg"
W_APP_PID=""
W_FAILURES=0
W_SHOT=0
SETTINGS_KEY='HKLM\SOFTWARE\ZOLM Technologies\ZOLM Error Log'
PORTS_KEY='HKLM\Software\Wine\Ports'

w_cleanup() {
    if [ -n "$W_APP_PID" ] && kill -0 "$W_APP_PID" 2>/dev/null; then
        # A program left running by a failed check: end the prefix's processes.
        wineserver -k >/dev/null 2>&1 || true
        wait "$W_APP_PID" 2>/dev/null || true
    fi
    lib_stop_pids
    if [ -f "$LOG_FILE" ]; then
        cp "$LOG_FILE" "$W_ART/ErrorLog.zlg" || true
    fi
    rm -rf "$W_DIR"
}
lib_on_exit w_cleanup

fail() {
    echo "FAIL: $W_NAME: $*" >&2
    W_FAILURES=$((W_FAILURES + 1))
}

pass() {
    echo "ok: $W_NAME: $*"
}

check() {  # check WHAT COMMAND...: passes when the command succeeds
    local szWhat=$1
    shift
    if "$@"; then pass "$szWhat"; else fail "$szWhat"; fi
}

# A command that fails outside a check ends the test (set -e): it counts as a failed check.
lib_on_error fail

finish() {
    if [ "$W_FAILURES" -ne 0 ]; then
        echo "$W_NAME: $W_FAILURES check(s) failed; artifacts in $W_ART" >&2
        exit 1
    fi
    echo "$W_NAME: passed"
    exit 0
}

# Milliseconds of the monotonic clock.
now_ms() {
    local szUp
    read -r szUp _ </proc/uptime
    echo $(( ${szUp%.*} * 1000 + 10#${szUp#*.} * 10 ))
}

# The stored settings start absent in every test; the program's own directory starts empty.
rm -rf "$W_DIR"
mkdir -p "$W_DIR"
cp "$ARMLINK_EXE" "$W_DIR/ArmLink.exe"
wine reg delete "$SETTINGS_KEY" /f >/dev/null 2>&1 || true # absent already: fine

# Starts an armsim with the scenario text given on stdin (and armsim's options, such as --pace)
# and puts its pty path in SIM_PTY (it runs in this shell, not in a command substitution, so
# that the clean-up knows its pid). Its commands are recorded in $W_ART/<name>.record as
# "<baud> <command>" lines.
start_armsim() {  # start_armsim NAME [OPTION...] <scenario
    local szName=$1
    shift
    SIM_PTY=""
    cat >"$W_ART/$szName.scenario"
    : >"$W_ART/$szName.record"
    lib_start_armsim "$ARMSIM" "$W_ART/$szName.pty" "$W_ART/$szName.err" "$@" \
        --scenario "$W_ART/$szName.scenario" --record "$W_ART/$szName.record" || return 1
    SIM_PTY=$LIB_SIM_PTY
}

# A Wine command tried up to three times, a second apart, for commands that may be repeated: on
# a loaded machine a Wine program started just after map_ports restarted the server has failed
# now and then (a reg add once, a winepath once, in clean-clone runs).
wine_try() {
    local n
    for n in 1 2 3; do
        "$@" && return 0
        [ "$n" = 3 ] || sleep 1
    done
    return 1
}

# Maps COM1 to COM4 through the prefix's port table: each argument is a unix path (an armsim
# pty, or a path that does not exist). Wine reads the table when its server starts, so the
# server is restarted to take it up; the other devices of the machine (/dev/ttyS*) then get
# numbers above COM4.
map_ports() {  # map_ports PATH1 PATH2 PATH3 PATH4
    local n=1 szPath
    for szPath in "$@"; do
        wine_try wine reg add "$PORTS_KEY" /v "COM$n" /d "$szPath" /f >/dev/null 2>&1 ||
            { fail "could not map COM$n"; return 1; }
        n=$((n + 1))
    done
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    # The next Wine start makes the dosdevices links from the table; kept for the record.
    wine reg query "$PORTS_KEY" >"$W_ART/ports.txt" 2>&1 || true
    ls -l "$WINEPREFIX/dosdevices/" >>"$W_ART/ports.txt" 2>&1 || true
}

no_port() {  # a path that does not exist, for COMn
    echo "$W_ART/no-such-port-$1"
}

store_comm_param() {  # store_comm_param "2 9600 n 8 1"
    wine_try wine reg add "$SETTINGS_KEY" /v CommParam /t REG_SZ /d "$1" /f >/dev/null 2>&1 ||
        fail "could not store CommParam=$1"
}

# Fast replies for every later run (each read ends once its reply is complete), turned on as a
# technician does it: by importing the zip's fast-replies-on.reg.
store_fast_replies() {
    local szReg
    szReg="$(dirname "${BASH_SOURCE[0]}")/../../docs/windows/fast-replies-on.reg"
    szReg=$(wine_try winepath -w "$szReg")
    wine_try wine regedit /S "$szReg" >/dev/null 2>&1 || true # judged by the value it leaves
    { wine reg query "$SETTINGS_KEY" /v FastReplies 2>/dev/null || true; } | tr -d '\r' |
        grep -Eq '^ *FastReplies +REG_SZ +1$' || fail "fast-replies-on.reg did not store FastReplies=1"
}

settings_key_exists() {
    wine reg query "$SETTINGS_KEY" >/dev/null 2>&1
}

# The stored CommParam, or nothing when there is none.
comm_param() {
    { wine reg query "$SETTINGS_KEY" /v CommParam 2>/dev/null || true; } | tr -d '\r' |
        sed -n 's/^ *CommParam *REG_SZ *//p'
}

# Starts ArmLink.exe from its own directory, in the background. Wine's own trace channels
# (W_WINEDEBUG, e.g. +comm) go to $W_ART/wine.out.
start_armlink() {  # start_armlink [ARGS...]
    rm -f "$W_ART/exit-code"
    (
        cd "$W_DIR" || exit 1
        nRc=0
        WINEDEBUG=${W_WINEDEBUG:-$WINEDEBUG} wine ArmLink.exe "$@" >"$W_ART/wine.out" 2>&1 ||
            nRc=$?
        echo "$nRc" >"$W_ART/exit-code.tmp"
        mv "$W_ART/exit-code.tmp" "$W_ART/exit-code"
    ) &
    W_APP_PID=$!
}

# What the user sees in the dialog: one line "<id> <shown> <enabled> <text>" per control.
dialog_state() {  # dialog_state CAPTION
    # No dialog of that caption: no lines.
    { wine "$DLGPROBE_EXE" "$1" 2>/dev/null || true; } | tr -d '\r'
}

# The text of one control of the dialog, when it is shown ("" otherwise).
control_text() {  # control_text CAPTION ID
    dialog_state "$1" | awk -v id="$2" '$1 == id && $2 == 1 { sub(/^[^ ]+ [^ ]+ [^ ]+ ?/, ""); print; exit }'
}

# Waits until the status line (1028) shows the text; false after the time-out.
wait_status() {  # wait_status CAPTION TEXT SECONDS
    local nEnd=$(( $(now_ms) + $3 * 1000 ))
    while [ "$(now_ms)" -lt "$nEnd" ]; do
        if [ "$(control_text "$1" 1028)" = "$2" ]; then
            return 0
        fi
        if [ -f "$W_ART/exit-code" ]; then
            return 1
        fi
        sleep 0.2
    done
    return 1
}

# Waits until the status line shows a text matching the extended regular expression.
wait_status_like() {  # wait_status_like CAPTION REGEX SECONDS
    local nEnd=$(( $(now_ms) + $3 * 1000 ))
    while [ "$(now_ms)" -lt "$nEnd" ]; do
        if control_text "$1" 1028 | grep -Eq "$2"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# True when the dialog shows the control line exactly ("<id> <shown> <enabled> <text>").
has_control_line() {  # has_control_line CAPTION LINE
    dialog_state "$1" | grep -Fxq -- "$2"
}

window_of() {  # window_of CAPTION: the X window of the dialog, nothing when there is none
    { xdotool search --name "^$1\$" 2>/dev/null || true; } | head -n 1
}

# A screenshot of the dialog as the user sees it, kept as an artifact; the whole screen when
# the window cannot be found.
screenshot() {  # screenshot CAPTION LABEL
    W_SHOT=$((W_SHOT + 1))
    local szFile
    szFile=$(printf '%s/%02d-%s.png' "$W_ART" "$W_SHOT" "$2")
    local nWindow
    nWindow=$(window_of "$1")
    if [ -n "$nWindow" ]; then
        import -window "$nWindow" "$szFile" 2>/dev/null && return 0
    fi
    import -window root "$szFile" 2>/dev/null || echo "$W_NAME: no screenshot $szFile" >&2
}

# A key as the user presses it in the dialog. Without a window manager nothing gives the dialog
# the keyboard focus, so it is given explicitly first.
press() {  # press CAPTION KEY
    local nWindow
    nWindow=$(window_of "$1")
    [ -n "$nWindow" ] || return 1
    # Keys go through the XTEST extension, as from the keyboard, to the focused window.
    xdotool windowfocus --sync "$nWindow" 2>/dev/null || true
    xdotool key "$2"
}

# Waits for ArmLink.exe to end; prints its exit code. False after the time-out.
wait_exit() {  # wait_exit SECONDS
    local nEnd=$(( $(now_ms) + $1 * 1000 ))
    while [ "$(now_ms)" -lt "$nEnd" ]; do
        if [ -f "$W_ART/exit-code" ]; then
            wait "$W_APP_PID" 2>/dev/null || true
            W_APP_PID=""
            cat "$W_ART/exit-code"
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# The commands an armsim received, one "<baud> <command>" per line.
record_of() {  # record_of NAME
    cat "$W_ART/$1.record"
}
