#!/usr/bin/env bash
# Builds a fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in its own build folder and runs it.
#
#   scripts/fuzz.sh [params|bmp] [seconds] [more libFuzzer options]
#
# params (the default) fuzzes the parameter-record decoder, bmp the BMP
# reader. Environment: FUZZ_BUILD (build folder, default build-fuzz), JOBS
# (build jobs, default 1). The corpus grows in $FUZZ_BUILD/corpus/<target>;
# crashing inputs land in $FUZZ_BUILD/crashes/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}
target=params
case "${1:-}" in
params | bmp)
    target=$1
    shift
    ;;
esac
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
ninja -C "$build" -j "${JOBS:-1}" "fuzz_$target"

corpus=$build/corpus/$target
mkdir -p "$corpus" "$build/crashes"
seed() { printf "$2" > "$corpus/seed-$1"; }
options=()
if [ "$target" = params ]; then
    # Seeds: records in text form, and property lists for the binary mode
    # (first byte >= 0x80: version and class, then the list's bytes).
    seed empty ''
    seed blend-v2 'QVTS203E80300'
    seed blend-v1 'QVTS10300'
    seed blend-full 'QVTS203DC0507456E61626C6564080B5061737353657474696E67070B746554776F50617373657300'
    seed bad-hex 'QVTS103G100'
    seed list-v1 '\x80\x0cMilliseconds\x03\xe8\x03\x07Enabled\x08\x00'
    seed list-v2 '\x81\xe8\x03\x0bPassSetting\x07\x0bteTwoPasses\x03Tag\x02\x05\x00'
    seed list-path '\x80\x15Pass2Options.Reversed\x09\x00'
    options+=(-dict="$root/fuzz/params.dict")
else
    # Seeds: small valid files of every kind the reader takes.
    python3 - "$corpus" <<'PY'
import struct, sys
out = sys.argv[1]
def bmp(name, w, h, bits, pixels, compression=0, table=(), header=40, masks=()):
    if header == 12:
        info = struct.pack('<IHHHH', 12, w, h, 1, bits)
        tab = b''.join(bytes(c[:3]) for c in table)
    else:
        info = struct.pack('<IiiHHIIiiII', header, w, h, 1, bits, compression, len(pixels), 2835, 2835, len(table), 0)
        if header == 40:
            info += b''.join(struct.pack('<I', m) for m in masks)
        else:
            info += b''.join(struct.pack('<I', m) for m in masks) + bytes(header - 40 - 4 * len(masks))
        tab = b''.join(bytes(c) for c in table)
    off = 14 + len(info) + len(tab)
    data = b'BM' + struct.pack('<IHHI', off + len(pixels), 0, 0, off) + info + tab + bytes(pixels)
    open(f'{out}/seed-{name}', 'wb').write(data)
grey = [(v, v, v, 0) for v in range(0, 256, 17)]
bmp('8bit', 4, 2, 8, [0, 1, 2, 3, 3, 2, 1, 0], table=grey)
bmp('8bit-topdown', 3, -2, 8, [5, 6, 7, 0, 8, 9, 10, 0], table=grey)
bmp('rle8', 4, 3, 8, [2, 1, 0, 2, 1, 1, 1, 9, 0, 0, 0, 3, 5, 6, 7, 0, 0, 1], compression=1, table=grey)
bmp('rle4', 4, 3, 4, [2, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 0, 4, 0x77, 0, 1], compression=2, table=grey)
bmp('1bit', 9, 2, 1, [0xAA, 0x80, 0, 0, 0x55, 0, 0, 0], table=[(0, 0, 0, 0), (255, 255, 255, 0)])
bmp('4bit-core', 3, 2, 4, [0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0], table=grey, header=12)
bmp('16bit-565', 2, 2, 16, [0x1F, 0xF8, 0xE0, 0x07, 0x1F, 0, 0, 0], compression=3, masks=(0xF800, 0x07E0, 0x1F))
bmp('16bit-444', 2, 1, 16, [0x0F, 0x0F, 0xF0, 0x00], compression=3, masks=(0xF00, 0xF0, 0xF), header=56)
bmp('24bit', 2, 2, 24, [1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0])
bmp('32bit-v5', 1, 1, 32, [1, 2, 3, 0], compression=3, masks=(0xFF0000, 0xFF00, 0xFF), header=124)
PY
    options+=(-dict="$root/fuzz/bmp.dict")
fi

exec "$build/bin/fuzz_$target" -max_total_time="$seconds" "${options[@]}" \
    -artifact_prefix="$build/crashes/" -print_final_stats=1 "$@" "$corpus"
