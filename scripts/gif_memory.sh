#!/usr/bin/env bash
# Peak memory of `qvt render` making a GIF at 640 x 480, for runs of about
# 100 and 1,000 frames: the figures should be the same, since neither qvt
# nor ffmpeg holds the run's frames. Prints the largest resident set of qvt
# and its children, as GNU time reports it.
#   scripts/gif_memory.sh [path/to/qvt]
set -euo pipefail

qvt=${1:-build/bin/qvt}
[ -x /usr/bin/time ] || { echo "needs GNU time (/usr/bin/time, package time)" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# At 25 frames per second a run of N ms has N / 40 + 1 frames.
for ms in 3960 39960; do
    frames=$((ms / 40 + 1))
    /usr/bin/time -v "$qvt" render "Alpha blend" --size 640x480 --fps 25 --ms "$ms" \
        -y -o "$scratch/run.gif" >/dev/null 2>"$scratch/time.txt"
    peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$scratch/time.txt")
    echo "$frames frames: peak $((peak / 1024)) MB ($peak kB)"
done
