#!/usr/bin/env bash
# Runs every test of ArmLink: the native suite (unit tests, the checks of the tree, the
# end-to-end runs over ptys), then the Windows suites (cross-built, under Wine). Installs what
# it needs when run as root.
# Exit status: 0 when every suite ran and passed; 1 when a suite failed or could not run;
# 77 when the native suite passed but the Windows suites were skipped (their tools are missing
# and this is not root), so that a partial run is never taken for a full pass.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
source "$top/scripts/lib.sh"
lib_on_error lib_complain test:

lib_need_command cmake cmake
lib_need_command g++ g++
lib_need_command make make
lib_need_command git git
lib_need_command clang-format-14 clang-format-14
lib_need_file /usr/src/googletest/CMakeLists.txt googletest
lib_need_file /usr/include/ncurses.h libncurses-dev
lib_need_command timeout coreutils
lib_need_command script bsdutils
nInstall=0
lib_install_missing test || nInstall=$?
if [ "$nInstall" -eq 1 ]; then
    echo "test: missing ${LIB_MISSING[*]}; run as root to install them, or install them yourself"
    exit 1
elif [ "$nInstall" -ne 0 ]; then
    exit 1
fi

build="$top/build-test"
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; echo "test: configure failed"; exit 1; }
cmake --build "$build" -j2 || { echo "test: build failed"; exit 1; }

status=0
(cd "$build" && ctest --output-on-failure -j2) || status=1

nWindows=0
bash "$top/scripts/test_windows.sh" || nWindows=$?
if [ "$nWindows" -eq 77 ]; then
    echo "test: the Windows suites were skipped"
    [ "$status" -ne 0 ] || status=77
elif [ "$nWindows" -ne 0 ]; then
    status=1
fi

case $status in
    0) echo "test: all suites passed" ;;
    77) echo "test: the native suite passed; the Windows suites did not run (exit status 77)" ;;
    *) echo "test: FAILED" ;;
esac
exit $status
