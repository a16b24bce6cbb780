#!/usr/bin/env bash
# Builds the parameter-record fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in its own build folder and runs it.
#
#   scripts/fuzz.sh [seconds] [more libFuzzer options]
#
# Environment: FUZZ_BUILD (build folder, default build-fuzz), JOBS (build
# jobs, default 1). The corpus grows in $FUZZ_BUILD/corpus/params; crashing
# inputs land in $FUZZ_BUILD/crashes/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${1:-300}
[ $# -gt 0 ] && shift

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz: clang++ is needed (libFuzzer comes with clang)" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQVT_FUZZ=ON -DQVT_BUILD_TESTS=OFF -DQVT_BUILD_BENCH=OFF >/dev/null
ninja -C "$build" -j "${JOBS:-1}" fuzz_params

corpus=$build/corpus/params
mkdir -p "$corpus" "$build/crashes"
# Seeds: records in text form, and property lists for the binary mode
# (first byte >= 0x80: version and class, then the list's bytes).
seed() { printf "$2" > "$corpus/seed-$1"; }
seed empty ''
seed blend-v2 'QVTS203E80300'
seed blend-v1 'QVTS10300'
seed blend-full 'QVTS203DC0507456E61626C6564080B5061737353657474696E67070B746554776F50617373657300'
seed bad-hex 'QVTS103G100'
seed list-v1 '\x80\x0cMilliseconds\x03\xe8\x03\x07Enabled\x08\x00'
seed list-v2 '\x81\xe8\x03\x0bPassSetting\x07\x0bteTwoPasses\x03Tag\x02\x05\x00'
seed list-path '\x80\x15Pass2Options.Reversed\x09\x00'

exec "$build/bin/fuzz_params" -max_total_time="$seconds" -dict="$root/fuzz/params.dict" \
    -artifact_prefix="$build/crashes/" -print_final_stats=1 "$@" "$corpus"
