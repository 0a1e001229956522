#!/usr/bin/env bash
# The packaging stage of the test command: builds the Debian package with cpack (build-package),
# checks its control data (the dependencies read from the programs) and its files, and, when run
# as root, installs it, runs the installed programs and removes it again. Exit status: 0 when
# all of it ran and passed, 77 when the install was skipped (not root), 1 on a failure.
#   bash scripts/test_package.sh [--build-only]   (--build-only: the build and the package)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
source "$top/scripts/lib.sh"
lib_on_error lib_complain package:
build="$top/build-package"

say() { echo "package: $*"; }
failures=0
check() {  # check WHAT COMMAND...
    local szWhat=$1
    shift
    if "$@"; then say "ok: $szWhat"; else say "FAIL: $szWhat"; failures=$((failures + 1)); fi
}

lib_need_command dpkg-deb dpkg
lib_need_command dpkg-shlibdeps dpkg-dev
lib_need_file /usr/include/gensio/gensio.h libgensio-dev
nInstall=0
lib_install_missing package || nInstall=$?
if [ "$nInstall" -ne 0 ]; then
    say "missing ${LIB_MISSING[*]}: the Debian package cannot be built here"
    exit 1
fi

mkdir -p "$build"
cmake -S "$top" -B "$build" -DARMLINK_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; say "configure failed"; exit 1; }
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || { tail -n 40 "$build/build.log"; say "build failed"; exit 1; }
rm -f "$build"/armlink_*.deb
(cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1) || { cat "$build/cpack.log"; say "cpack failed"; exit 1; }
deb=$(ls "$build"/armlink_*.deb)
say "built $(basename "$deb")"
[ "${1:-}" != --build-only ] || exit 0

info=$(dpkg-deb -I "$deb")
depends=$(echo "$info" | sed -n 's/^ Depends: //p')
for szLib in libc6 libstdc++6 libncurses libgensio; do
    check "Depends names $szLib ($depends)" grep -q "$szLib" <<<"$depends"
done
check "package name and version" grep -qE '^ Package: armlink$' <<<"$info"
contents=$(dpkg-deb -c "$deb")
for szFile in ./usr/bin/armlink ./usr/bin/armsim ./usr/bin/armlink-decode \
    ./usr/share/man/man1/armlink.1 ./usr/share/man/man1/armsim.1 \
    ./usr/share/man/man1/armlink-decode.1 ./usr/share/doc/armlink/README.md; do
    check "the package holds $szFile" grep -qE " $szFile\$" <<<"$contents"
done

if [ "$(id -u)" != 0 ]; then
    say "not root: the install and the run of the installed programs were skipped"
    [ "$failures" -eq 0 ] && exit 77
    exit 1
fi
if dpkg -s armlink >/dev/null 2>&1; then
    say "a package armlink is installed already: it is left as it is, the install is skipped"
    [ "$failures" -eq 0 ] && exit 77
    exit 1
fi
remove_package() { dpkg -r armlink >/dev/null 2>&1 || true; }
lib_on_exit remove_package
check "installed with its dependencies" \
    bash -c "DEBIAN_FRONTEND=noninteractive apt-get install -y -qq '$deb' >'$build/install.log' 2>&1"
check "armlink --version" bash -c '[ "$(/usr/bin/armlink --version)" = "armlink '"$(sed -n 's/^project(ArmLink VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")"'" ]'
check "armlink --ports" bash -c '/usr/bin/armlink --ports | grep -q "^COM1 "'
check "armlink-decode on a sample line" \
    bash -c '/usr/bin/armlink-decode 104 2 0 1A 0 0 0 | grep -q .'
check "the manual pages are in place" test -f /usr/share/man/man1/armlink.1
remove_package
check "removed again" bash -c '! dpkg -s armlink >/dev/null 2>&1'

if [ "$failures" -ne 0 ]; then
    say "$failures check(s) failed"
    exit 1
fi
say "all checks passed"
