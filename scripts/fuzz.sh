#!/usr/bin/env bash
# Runs every fuzz target of tests/fuzz (libFuzzer, clang) for SECONDS each (default 20): the
# arm's replies, the error decoder, the log reader of armlink-decode, the settings file and the
# "CommParam" text. Seeds come from tests/fuzz/corpus/<name>; what the fuzzer finds is kept in
# build-fuzz/corpus/<name>, and a crash leaves its input in build-fuzz/crashes.
#   bash scripts/fuzz.sh [SECONDS | --build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
build_only=0
[ "${1:-}" = --build-only ] && build_only=1 && shift
seconds=${1:-20}
build="$top/build-fuzz"

for tool in clang clang++; do
    command -v "$tool" >/dev/null 2>&1 || { echo "fuzz: $tool is missing (apt-get install clang libclang-rt-14-dev)"; exit 1; }
done
mkdir -p "$build"
cmake -S "$top" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DARMLINK_SANITIZE=fuzzer -DARMLINK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; echo "fuzz: configure failed"; exit 1; }
targets=()
for source in "$top"/tests/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j2 --target "${targets[@]}" >"$build/build.log" 2>&1 \
    || { tail -n 40 "$build/build.log"; echo "fuzz: build failed"; exit 1; }
[ "$build_only" = 0 ] || exit 0

status=0
mkdir -p "$build/crashes"
for target in "${targets[@]}"; do
    name=${target#fuzz_}
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds="$top/tests/fuzz/corpus/$name"
    echo "fuzz: $target for ${seconds}s"
    if ! "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$build/crashes/$target-" -print_final_stats=1 \
        "$corpus" "$seeds" >"$build/$target.log" 2>&1; then
        tail -n 40 "$build/$target.log"
        echo "fuzz: $target FAILED (input kept in build-fuzz/crashes)"
        status=1
    else
        grep -E '^stat::number_of_executed_units' "$build/$target.log" | sed "s/^/fuzz: $target: /" || true
    fi
done
[ $status = 0 ] && echo "fuzz: all targets ran clean"
exit $status
