#!/usr/bin/env bash
# The three dialog templates as ArmLink.exe carries them, shown with their initial texts: the
# status dialog of the default run mode, and the two that later run modes open (STATS_DLG and
# ERROR_DISPLAY_DLG), so that every dialog has its screenshot.
. "$(dirname "$0")/lib.sh"

show_template() {  # show_template TEMPLATE CAPTION
    rm -f "$W_ART/show-exit"
    ( nRc=0
      wine "$DLGPROBE_EXE" --show "$W_WINDIR\\ArmLink.exe" "$1" >"$W_ART/show-$1.out" 2>&1 ||
          nRc=$?
      echo "$nRc" >"$W_ART/show-exit" ) &
    local nShow=$! i
    for i in $(seq 1 100); do
        [ -n "$(window_of "$2")" ] && break
        sleep 0.1
    done
    sleep 0.3
    screenshot "$2" "$1"
    dialog_state "$2" >"$W_ART/$1.txt"
    press "$2" Escape || fail "$1: the dialog could not be given Escape"
    for i in $(seq 1 100); do
        [ -f "$W_ART/show-exit" ] && break
        sleep 0.1
    done
    wait "$nShow" 2>/dev/null || true
}

# "<id> <shown> <enabled> <text>" lines, compared as a user sees them.
has_control() {  # has_control FILE LINE
    grep -Fxq -- "$2" "$1"
}

show_template VOLUME_DLG "ZOLM Log"
f="$W_ART/VOLUME_DLG.txt"
check "VOLUME_DLG: four controls" test "$(grep -c . "$f")" -eq 4
check "VOLUME_DLG: status line" has_control "$f" "1028 1 1  "
check "VOLUME_DLG: Cancel" has_control "$f" "1 1 1 Cancel"
check "VOLUME_DLG: hidden label" has_control "$f" "1031 0 1 Log Saved In:"
check "VOLUME_DLG: hidden path" has_control "$f" "1030 0 1 "

show_template STATS_DLG "Statistics"
f="$W_ART/STATS_DLG.txt"
check "STATS_DLG: 40 controls" test "$(grep -c . "$f")" -eq 40
for szLabel in "CAPTURES:" "ASYNC. CAPTURES:" "CRC ERRORS:" "STALL COUNT:" "RETRY COUNT:" \
    "BOUNCES > 16ms:" "SDA/SCL ERRORS:" "ADDRESS ERRORS:" "POINTS/SECOND:" "ERRORS LOGGED" \
    "Error:" "Ext:" "Current" "Change" "MIN:" "MAX:"; do
    check "STATS_DLG: \"$szLabel\"" has_control "$f" "65535 1 1 $szLabel"
done
for nId in $(seq 1032 1053); do
    check "STATS_DLG: value $nId reads 0" has_control "$f" "$nId 1 1 0"
done
check "STATS_DLG: Cancel" has_control "$f" "1 1 1 Cancel"

show_template ERROR_DISPLAY_DLG "Extended Error Display"
f="$W_ART/ERROR_DISPLAY_DLG.txt"
check "ERROR_DISPLAY_DLG: five controls" test "$(grep -c . "$f")" -eq 5
check "ERROR_DISPLAY_DLG: Check" has_control "$f" "1 1 1 &Check"
check "ERROR_DISPLAY_DLG: Close" has_control "$f" "2 1 1 &Close"
check "ERROR_DISPLAY_DLG: Save" has_control "$f" "1054 1 1 &Save"
check "ERROR_DISPLAY_DLG: status line" has_control "$f" "1028 1 1 Error Display"
check "ERROR_DISPLAY_DLG: empty report" has_control "$f" "1053 1 1 "
finish
