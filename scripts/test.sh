#!/usr/bin/env bash
# Runs every test of ArmLink: the native unit suite and the end-to-end runs over ptys, then the
# Windows suites (cross-built, under Wine). Installs what it needs when run as root.
set -u
cd "$(dirname "$0")/.."
top=$(pwd)

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v make >/dev/null 2>&1 || need+=(make)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -f /usr/include/ncurses.h ] || need+=(libncurses-dev)
command -v timeout >/dev/null 2>&1 || need+=(coreutils)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" = 0 ]; then
    echo "test: installing ${need[*]}"
    apt-get update -qq >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null \
      || { echo "test: could not install ${need[*]}"; exit 1; }
  else
    echo "test: missing ${need[*]}; run as root to install them, or install them yourself"
    exit 1
  fi
fi

build="$top/build-test"
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; echo "test: configure failed"; exit 1; }
cmake --build "$build" -j2 || { echo "test: build failed"; exit 1; }

status=0
(cd "$build" && ctest --output-on-failure -j2) || status=1

if [ -f "$top/scripts/test_windows.sh" ]; then
  bash "$top/scripts/test_windows.sh" || status=1
else
  echo "test: the Windows suites are not in this tree; skipped"
fi

if [ $status = 0 ]; then echo "test: all suites passed"; else echo "test: FAILED"; fi
exit $status
