#!/usr/bin/env bash
# Runs the Windows suites: cross-builds ArmLink.exe and the unit tests with mingw-w64 (build-win),
# runs the unit suite under Wine, then the end-to-end runs of ArmLink.exe under Wine on a
# virtual X display against simulated arms. Installs what it needs when run as root; without
# root and without the tools it says so and skips with exit status 77; any failure exits 1.
#   bash scripts/test_windows.sh [--build-only]   (--build-only: the tools, the build and the zip)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build="$top/build-win"
host_build="$build/host-tools"
artifacts="$build/wine-artifacts"
source "$top/scripts/lib.sh"
lib_on_error lib_complain test_windows:

say() { echo "test_windows: $*"; }
build_only=0
[ "${1:-}" = --build-only ] && build_only=1

# --- tools ---------------------------------------------------------------------------------
need_packages() {
    LIB_MISSING=()
    lib_need_command x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
    lib_need_command x86_64-w64-mingw32-windres binutils-mingw-w64-x86-64
    lib_need_command x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
    lib_need_command wine wine64 wine
    lib_need_command Xvfb xvfb
    lib_need_command xdotool xdotool
    lib_need_command import imagemagick
    lib_need_command cmake cmake
    lib_need_command g++ g++
    lib_need_command make make
    lib_need_file /usr/src/googletest/CMakeLists.txt googletest
    lib_need_file /usr/include/ncurses.h libncurses-dev
    lib_need_file /usr/include/gensio/gensio.h libgensio-dev
}

need_packages
nInstall=0
lib_install_missing test_windows || nInstall=$?
if [ "$nInstall" -eq 1 ]; then
    say "missing ${LIB_MISSING[*]} (run as root to install them)"
    say "SKIPPED: the Windows unit suite and the Wine end-to-end suite did not run"
    exit 77
elif [ "$nInstall" -ne 0 ]; then
    exit 1
fi
need_packages
if [ ${#LIB_MISSING[@]} -ne 0 ]; then
    say "still missing after the install: ${LIB_MISSING[*]}"
    exit 1
fi

# --- build ---------------------------------------------------------------------------------
say "cross-building in build-win"
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; say "configure failed"; exit 1; }
cmake --build "$build" -j2 >"$build/build.log" 2>&1 \
    || { tail -n 60 "$build/build.log"; say "cross build failed"; exit 1; }
for exe in ArmLink.exe armlink_tests.exe dlgprobe.exe; do
    [ -f "$build/$exe" ] || { say "build-win/$exe was not built"; exit 1; }
done
# One .exe with nothing beside it: only the system's own DLLs may be imported. A failing
# objdump, or one that names no DLL at all, proves nothing and fails the check.
x86_64-w64-mingw32-objdump -p "$build/ArmLink.exe" >"$build/imports.txt" 2>&1 ||
    { cat "$build/imports.txt"; say "objdump cannot read build-win/ArmLink.exe"; exit 1; }
imports=$(sed -n 's/^\s*DLL Name: //p' "$build/imports.txt" | sort -u)
if [ -z "$imports" ]; then
    say "objdump names no DLL that ArmLink.exe imports (see build-win/imports.txt)"
    exit 1
fi
foreign=$(grep -viE '^(kernel32|user32|gdi32|advapi32|msvcrt|comdlg32|comctl32|shell32|ole32)\.dll$' \
    <<<"$imports" || true)
if [ -n "$foreign" ]; then
    say "ArmLink.exe needs DLLs that Windows does not have: $foreign"
    exit 1
fi
say "ArmLink.exe imports only $(tr '\n' ' ' <<<"$imports")"

# The zip a technician copies: ArmLink.exe, armlink-decode.exe, the short text on use and the
# registry files that turn fast replies on and off.
rm -f "$build"/armlink-*-win64.zip
(cd "$build" && cpack -G ZIP >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; say "cpack failed"; exit 1; }
zip=$(ls "$build"/armlink-*-win64.zip)
listing=$(cd "$build" && cmake -E tar tf "$zip")
for szFile in ArmLink.exe armlink-decode.exe README.txt fast-replies-on.reg fast-replies-off.reg; do
    grep -qxF "$szFile" <<<"$listing" || { say "$(basename "$zip") lacks $szFile: $listing"; exit 1; }
done
say "$(basename "$zip") holds $(tr '\n' ' ' <<<"$listing")"
[ "$build_only" = 0 ] || exit 0

if [ -n "${ARMSIM:-}" ] && [ -x "$ARMSIM" ]; then
    armsim=$ARMSIM
else
    say "building armsim natively in build-win/host-tools"
    cmake -S "$top" -B "$host_build" -DARMLINK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        >"$build/host-configure.log" 2>&1 \
        || { cat "$build/host-configure.log"; say "native configure failed"; exit 1; }
    cmake --build "$host_build" -j2 --target armsim >"$build/host-build.log" 2>&1 \
        || { tail -n 40 "$build/host-build.log"; say "armsim build failed"; exit 1; }
    armsim="$host_build/armsim"
fi

# --- display and prefix --------------------------------------------------------------------
prefix="$build/wine-prefix"
cleanup() {
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
    lib_stop_pids
}
lib_on_exit cleanup

display=""
for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    # No auto-repeat (-r): a key that a loaded machine holds down between its press and its
    # release must not turn into more presses for the dialog that comes next.
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -r >"$build/xvfb.log" 2>&1 &
    xvfb_pid=$!
    LIB_PIDS=("$xvfb_pid")
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
        display=":$n"
        break
    fi
    # Another server took the display first: this one has ended, or is ended now.
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    LIB_PIDS=()
done
[ -n "$display" ] || { say "no free X display for Xvfb"; exit 1; }
export DISPLAY=$display

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko installer prompts in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
say "making a fresh Wine prefix (display $DISPLAY)"
WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true # none may be running yet
rm -rf "$prefix"
wineboot --init >"$build/wineboot.log" 2>&1 || true # judged by the prefix it leaves
wineserver -w || true
[ -d "$prefix/drive_c" ] || { cat "$build/wineboot.log"; say "wineboot failed"; exit 1; }
# Without a window manager Wine's windows would be "managed" by nobody: each hide then waits
# two seconds for a window state that never comes, and no caption is drawn. Unmanaged, Wine
# draws the frames itself and hides at once.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 ||
    { say "cannot switch off window management in the Wine prefix"; exit 1; }

status=0

# --- unit suite ----------------------------------------------------------------------------
say "the Windows unit suite (under Wine)"
(cd "$build" && ctest --output-on-failure) || status=1

# --- end-to-end suite ----------------------------------------------------------------------
rm -rf "$artifacts"
mkdir -p "$artifacts"
export ARMLINK_EXE="$build/ArmLink.exe" DLGPROBE_EXE="$build/dlgprobe.exe" ARMSIM="$armsim"
export WINE_ARTIFACTS="$artifacts"
passed=0
failed=0
failed_names=()
for script in "$top"/tests/wine/*.sh; do
    name=$(basename "$script" .sh)
    [ "$name" = lib ] && continue
    # WINE_ONLY="stats extended" runs only those, for a developer chasing one of them.
    [ -z "${WINE_ONLY:-}" ] || [[ " $WINE_ONLY " == *" $name "* ]] || continue
    say "end to end: $name"
    if timeout 180 bash "$script"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failed_names+=("$name")
    fi
done
say "screenshots and records are in build-win/wine-artifacts"
echo "Wine end to end: $passed passed, $failed failed${failed_names[*]:+ (${failed_names[*]})}"
[ "$failed" -eq 0 ] || status=1
if [ $status = 0 ]; then say "all Windows suites passed"; else say "FAILED"; fi
exit $status
