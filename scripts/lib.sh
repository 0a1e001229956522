# The pieces the scripts share: the Debian packages a script needs (installed through apt-get
# when it runs as root), armlink and armsim built where a script wants them, a simulated arm
# started on a pty and waited for, ser2net serving it on the loopback, and the processes a
# script started, ended on its way out, however it ends.
# shellcheck shell=bash disable=SC2034
#
# Sourced by scripts/*.sh, tests/e2e/lib.sh and tests/wine/lib.sh, under set -euo pipefail.

# --- packages ------------------------------------------------------------------------------

# The packages found missing so far, by lib_need_command and lib_need_file.
LIB_MISSING=()

# lib_need_command COMMAND PACKAGE...: notes the packages when COMMAND is not on the PATH.
lib_need_command() {
    command -v "$1" >/dev/null 2>&1 || LIB_MISSING+=("${@:2}")
}

# lib_need_file PATH PACKAGE...: notes the packages when PATH does not exist.
lib_need_file() {
    [ -e "$1" ] || LIB_MISSING+=("${@:2}")
}

# lib_install_missing WHO: installs the packages in LIB_MISSING through apt-get, quietly, when
# the script runs as root; the log is shown only when the install fails. Returns 0 when
# nothing is missing (any more), 1 when something is missing and this is not root (or there is
# no apt-get): nothing was tried; 2 when the install failed.
lib_install_missing() {
    local szWho=$1 szLog
    if [ ${#LIB_MISSING[@]} -eq 0 ]; then
        return 0
    fi
    if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null 2>&1; then
        return 1
    fi
    echo "$szWho: installing ${LIB_MISSING[*]}"
    szLog=$(mktemp "${TMPDIR:-/tmp}/armlink-apt.XXXXXX")
    if { apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${LIB_MISSING[@]}"; } \
        >"$szLog" 2>&1; then
        rm -f "$szLog"
        LIB_MISSING=()
        return 0
    fi
    cat "$szLog" >&2
    rm -f "$szLog"
    echo "$szWho: could not install ${LIB_MISSING[*]}" >&2
    return 2
}

# --- processes -----------------------------------------------------------------------------

# The background processes this script started and ends on its way out.
LIB_PIDS=()

# lib_stop_pids: ends every process of LIB_PIDS (SIGTERM) and waits for each.
lib_stop_pids() {
    local nPid
    for nPid in "${LIB_PIDS[@]}"; do
        kill -TERM "$nPid" 2>/dev/null || true
    done
    for nPid in "${LIB_PIDS[@]}"; do
        wait "$nPid" 2>/dev/null || true
    done
    LIB_PIDS=()
}

# lib_stop_pid PID: ends one process of LIB_PIDS (SIGTERM), waits for it, and drops it there.
lib_stop_pid() {
    local nPid aKept=()
    kill -TERM "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    for nPid in "${LIB_PIDS[@]}"; do
        [ "$nPid" = "$1" ] || aKept+=("$nPid")
    done
    LIB_PIDS=("${aKept[@]}")
}

# lib_on_exit FUNCTION: runs FUNCTION when the script ends, however it ends (a failing command
# inside it does not change the script's exit status); SIGINT and SIGTERM end the script with
# 130 and 143.
lib_on_exit() {
    # shellcheck disable=SC2064
    trap "$1 || true" EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

# lib_on_error HANDLER [WORD...]: a command that fails outside an if, || or && ends the script
# (set -e); first HANDLER is called with the words and one text more that names the command,
# its line and its status. Failures inside a command substitution or a subshell are named by
# the command that runs it, once.
lib_on_error() {
    set -E
    # One line: $LINENO counts the lines of the trap's text too.
    # shellcheck disable=SC2064,SC2154
    trap "nLibStatus=\$?; [ \"\$BASH_SUBSHELL\" -ne 0 ] || $* \"stopped at line \$LINENO: \$BASH_COMMAND (status \$nLibStatus)\"" ERR
}

# lib_complain WORD...: the words on standard error, as one line.
lib_complain() {
    echo "$*" >&2
}

# --- builds --------------------------------------------------------------------------------

# lib_build_when_missing ROOT BUILD: builds armlink and armsim from ROOT into BUILD (release
# with debug information, no tests) unless both are there already.
lib_build_when_missing() {
    if [ -x "$2/armlink" ] && [ -x "$2/armsim" ]; then
        return 0
    fi
    # The network ports need the gensio headers; installed as root, else named.
    lib_need_file /usr/include/gensio/gensio.h libgensio-dev
    if ! lib_install_missing build; then
        echo "The build needs: ${LIB_MISSING[*]}" >&2
        return 1
    fi
    echo "Building armlink and armsim in $2 ..."
    cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARMLINK_TESTS=OFF >/dev/null
    cmake --build "$2" -j2 --target armlink armsim >/dev/null
}

# lib_bench_start NAME [BUILD_DIR]: what every benchmark sets up first, run from the top of the
# tree: ROOT (the tree), BUILD (BUILD_DIR, default build-bench/, where armlink and armsim are
# built when missing), WORK (an empty folder of its own, armlink-bench-NAME.*); a failing
# command ends the script with a line that names it.
lib_bench_start() {
    ROOT=$(pwd)
    lib_on_error lib_complain bench:
    BUILD=${2:-"$ROOT/build-bench"}
    lib_build_when_missing "$ROOT" "$BUILD"
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/armlink-bench-$1.XXXXXX")
}

# --- the simulated arm ---------------------------------------------------------------------

# lib_start_armsim ARMSIM OUT ERR ARG...: starts the simulated arm in the background with the
# arguments, its standard output in OUT and its standard error in ERR, and waits until it is
# ready: it prints its pty's path (after making its --link) as the first line. Sets
# LIB_SIM_PTY and LIB_SIM_PID (also kept in LIB_PIDS). Returns 1, with armsim's own message on
# standard error, when it ends or is not ready within 5 s.
lib_start_armsim() {
    local szArmsim=$1 szOut=$2 szErr=$3
    shift 3
    "$szArmsim" "$@" >"$szOut" 2>"$szErr" &
    LIB_SIM_PID=$!
    LIB_PIDS+=("$LIB_SIM_PID")
    LIB_SIM_PTY=""
    for _ in $(seq 1 100); do
        if [ -s "$szOut" ]; then
            LIB_SIM_PTY=$(head -n 1 "$szOut")
            return 0
        fi
        kill -0 "$LIB_SIM_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "armsim did not start: $(cat "$szErr")" >&2
    return 1
}

# --- a network serial server in front of the simulated arm ---------------------------------

# lib_port_taken PORT [STATE]: true when a TCP socket has PORT as its local port (in STATE, a
# /proc/net/tcp state such as 0A for listening, when given); read from /proc, nothing sent.
lib_port_taken() {
    awk -v p="$(printf ':%04X' "$1")" -v s="${2:-}" \
        'substr($2, length($2) - 4) == p && (s == "" || $4 == s) { f = 1 } END { exit !f }' \
        /proc/net/tcp*
}

# lib_free_port: prints a port below the kernel's ephemeral range on which no socket sits now.
lib_free_port() {
    local nPort
    for _ in $(seq 1 100); do
        nPort=$((20000 + RANDOM % 12000))
        if ! lib_port_taken "$nPort"; then
            echo "$nPort"
            return 0
        fi
    done
    return 1
}

# lib_start_ser2net FILES ACCEPTER PORT LINK RATE: starts ser2net in the foreground, serving
# the arm on LINK at RATE (n 8 1, modem lines ignored) on 127.0.0.1:PORT, ACCEPTER being
# "telnet(rfc2217),tcp" or "tcp"; its configuration, output and pid in FILES.yaml, FILES.out,
# FILES.pid; no system file read or written (-u: no UUCP lock). Returns once it listens (at
# most 5 s). Sets LIB_SER2NET_PID (also kept in LIB_PIDS). Started again with the same
# arguments, it serves the same port.
lib_start_ser2net() {
    local szFiles=$1 szAccepter=$2 nPort=$3 szLink=$4 nRate=$5
    if ! command -v ser2net >/dev/null; then
        echo "ser2net is not installed" >&2
        return 1
    fi
    printf '%%YAML 1.1\n---\nconnection: &arm\n  accepter: %s,127.0.0.1,%s\n  connector: serialdev,%s,%sn81,local\n' \
        "$szAccepter" "$nPort" "$szLink" "$nRate" >"$szFiles.yaml"
    ser2net -n -d -u -c "$szFiles.yaml" -P "$szFiles.pid" >>"$szFiles.out" 2>&1 &
    LIB_SER2NET_PID=$!
    LIB_PIDS+=("$LIB_SER2NET_PID")
    for _ in $(seq 1 100); do
        lib_port_taken "$nPort" 0A && return 0
        kill -0 "$LIB_SER2NET_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "ser2net does not listen on $nPort: $(cat "$szFiles.out")" >&2
    return 1
}

# lib_stop_ser2net: ends the ser2net of the last lib_start_ser2net and waits for it.
lib_stop_ser2net() {
    lib_stop_pid "$LIB_SER2NET_PID"
}
