#!/usr/bin/env bash
# Runs every test of ArmLink, stage by stage, each in its own build folder: the native suite
# (unit tests, the checks of the tree, the end-to-end runs over ptys; build-test), the Windows
# suites (cross-built, under Wine; build-win), AddressSanitizer with UndefinedBehaviorSanitizer
# (unit and end-to-end; build-asan), ThreadSanitizer (the same and the stress run that closes
# the program at random moments; build-tsan), the fuzz targets for a short fixed time
# (build-fuzz) and the packaging (build-package). Installs what it needs when run as root.
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
lib_need_file /usr/include/gensio/gensio.h libgensio-dev
lib_need_command timeout coreutils
lib_need_command script bsdutils
lib_need_command clang clang
lib_need_command ser2net ser2net
# libFuzzer's runtime, whatever clang's patch version names its folder.
compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null ||
    LIB_MISSING+=(libclang-rt-14-dev)
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
failed=()
stage_failed() {  # stage_failed NAME: notes a stage that did not pass
    failed+=("$1")
    status=1
}

# sanitizer_build NAME SANITIZER: configures and builds build-NAME with the sanitizer, at -O1
# with line tables only: what the sanitizers' reports need (exact frames, file and line), in
# about half the build time of -O2 with full debug information.
sanitizer_build() {
    local name=$1 sanitizer=$2
    local dir="$top/build-$name"
    mkdir -p "$dir"
    cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DARMLINK_SANITIZE="$sanitizer" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
        >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
    cmake --build "$dir" -j2 >"$dir/build.log" 2>&1 || { tail -n 40 "$dir/build.log"; return 1; }
}

# The builds of the later stages run in the background, one after the other and at a lower
# priority, while the earlier stages test: those mostly wait on the arm's deadlines and on
# Wine, so the cores would otherwise idle. Each build leaves its output in prebuild/NAME.log
# and its exit status in prebuild/NAME.status; a stage waits for its own build's status.
prebuild="$build/prebuild"
rm -rf "$prebuild"
mkdir -p "$prebuild"
build_stage() {  # build_stage NAME: the build of one later stage
    case $1 in
        windows) ARMSIM="$build/armsim" bash "$top/scripts/test_windows.sh" --build-only ;;
        asan) sanitizer_build asan address ;;
        tsan) sanitizer_build tsan thread ;;
        fuzz) bash "$top/scripts/fuzz.sh" --build-only ;;
        package) bash "$top/scripts/test_package.sh" --build-only ;;
    esac
}
set -m  # the builds get a process group of their own, so that an early end can stop them all
(
    renice -n 5 -p "$BASHPID" >/dev/null 2>&1 || true
    for name in windows asan tsan fuzz package; do
        nBuilt=0
        build_stage "$name" >"$prebuild/$name.log" 2>&1 || nBuilt=$?
        echo "$nBuilt" >"$prebuild/$name.status"
    done
) &
prebuild_pid=$!
set +m
stop_prebuild() { kill -TERM -- "-$prebuild_pid" 2>/dev/null || true; }
trap stop_prebuild EXIT

# wait_build NAME: waits for the background build of a stage, shows its output and returns its
# exit status.
wait_build() {
    while [ ! -s "$prebuild/$1.status" ]; do
        kill -0 "$prebuild_pid" 2>/dev/null || { echo "test: the build of $1 did not finish"; return 1; }
        sleep 1
    done
    cat "$prebuild/$1.log"
    return "$(cat "$prebuild/$1.status")"
}

echo "test: stage native (at ${SECONDS} s)"
(cd "$build" && ctest --output-on-failure -j2) || stage_failed native

echo "test: stage windows (at ${SECONDS} s)"
nWindows=0
wait_build windows || nWindows=$?
[ "$nWindows" -ne 0 ] || ARMSIM="$build/armsim" bash "$top/scripts/test_windows.sh" || nWindows=$?
windows_skipped=0
if [ "$nWindows" -eq 77 ]; then
    echo "test: the Windows suites were skipped"
    windows_skipped=1
elif [ "$nWindows" -ne 0 ]; then
    stage_failed windows
fi

# sanitizer_stage NAME: the unit suite and the end-to-end runs built with the sanitizer. Every
# report goes to a file of build-NAME/reports as well as ending the program that made it, so
# that a report fails the stage even where a run's exit status is not judged.
sanitizer_stage() {
    local name=$1
    local dir="$top/build-$name"
    echo "test: stage $name (at ${SECONDS} s)"
    wait_build "$name" || { stage_failed "$name"; return; }
    rm -rf "$dir/reports"
    mkdir -p "$dir/reports"
    local options="halt_on_error=1:log_path=$dir/reports/report"
    export ASAN_OPTIONS="$options:detect_leaks=1:abort_on_error=0"
    export UBSAN_OPTIONS="$options:print_stacktrace=1"
    export TSAN_OPTIONS="$options:second_deadlock_stack=1"
    local ok=1
    # The end-to-end runs mostly wait on the arm's deadlines: three at a time keep two cores busy.
    (cd "$dir" && ctest --output-on-failure -j3) || ok=0
    if [ "$name" = tsan ]; then
        echo "test: the stress run, 20 closes at random moments"
        ARMLINK_CLOSE_RUNS=20 bash "$top/tests/e2e/close_at_random.sh" "$dir/armlink" \
            "$dir/armsim" || ok=0
    fi
    unset ASAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
    if compgen -G "$dir/reports/report*" >/dev/null; then
        for report in "$dir"/reports/report*; do
            echo "test: $name report $(basename "$report"):"
            head -n 60 "$report"
        done
        ok=0
    fi
    [ "$ok" = 1 ] || stage_failed "$name"
}
sanitizer_stage asan
sanitizer_stage tsan

echo "test: stage fuzz (at ${SECONDS} s)"
{ wait_build fuzz && bash "$top/scripts/fuzz.sh" 15; } || stage_failed fuzz

echo "test: stage package (at ${SECONDS} s)"
nPackage=0
wait_build package || nPackage=$?
[ "$nPackage" -ne 0 ] || bash "$top/scripts/test_package.sh" || nPackage=$?
if [ "$nPackage" -eq 77 ]; then
    echo "test: the package was built and checked but not installed (not root)"
elif [ "$nPackage" -ne 0 ]; then
    stage_failed package
fi

if [ "$status" -eq 0 ] && [ "$windows_skipped" = 1 ]; then
    status=77
fi
case $status in
    0) echo "test: all suites passed (${SECONDS} s)" ;;
    77) echo "test: the native suite passed; the Windows suites did not run (exit status 77)" ;;
    *) echo "test: FAILED (${failed[*]})" ;;
esac
exit $status
