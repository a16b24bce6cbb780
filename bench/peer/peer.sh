#!/usr/bin/env bash
# Side-by-side speed of qvt's effects and the nearest transitions of
# ffmpeg's xfade filter, one thread each, on the same two pages at three
# sizes. See README.md beside this script for the method.
#
#   bench/peer/peer.sh [BUILD_DIR]      (make bench-peer)
#
# Environment: PEER_FRAMES (frames per run, default 200), PEER_RUNS (runs
# per measurement, median taken, default 5), PEER_SIZES (default
# "640x480 1920x1080 3840x2160"), PEER_CLOCK ("cpu", the default: processor
# time of the command, user and system; "wall": elapsed time), PEER_EFFECTS
# (only these effects, comma-separated: "Wipe,Blocks"; default all).
set -euo pipefail

build=${1:-build}
qvt="$build/bin/qvt"
bench="$build/bin/bench_blend"
frames=${PEER_FRAMES:-200}
runs=${PEER_RUNS:-5}
sizes=${PEER_SIZES:-"640x480 1920x1080 3840x2160"}
clock=${PEER_CLOCK:-cpu}
only=${PEER_EFFECTS:-}
fps=25

fail() { echo "peer: $*" >&2; exit 1; }
# Arithmetic on decimals, with awk (found everywhere).
calc() { awk "BEGIN { printf \"%.9f\", $* }"; }
[[ -x "$qvt" ]] || fail "no built qvt at $qvt (run 'make test' or 'make tool' first)"
[[ -x "$bench" ]] || fail "no built bench_blend at $bench (run 'make build' first)"
command -v ffmpeg >/dev/null || fail "ffmpeg is not on PATH (the set-up installs it: scripts/bootstrap.sh)"
filters=$(ffmpeg -hide_banner -filters 2>/dev/null || true)
grep -q ' xfade ' <<<"$filters" || fail "this ffmpeg has no xfade filter"
(( frames >= 3 && runs >= 1 )) || fail "PEER_FRAMES must be at least 3 and PEER_RUNS at least 1"
[[ "$clock" == cpu || "$clock" == wall ]] || fail "PEER_CLOCK must be cpu or wall"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# A luma map for the Bitmap mask: a left-to-right ramp of every level, as a
# binary PGM stretched to the page.
{
  printf 'P5 256 1 255\n'
  for ((i = 0; i < 256; i++)); do printf "\\$(printf '%03o' "$i")"; done
} >"$work/ramp.pgm"

# qvt effect | its options | nearest xfade transition ("-" for none: the
# memory bound only). A row whose effect is not registered yet is left out.
rows=(
  "Alpha blend||fade"
  "Bitmap mask|--mask $work/ramp.pgm|-"
  "Wipe|--Direction tedLeft --BandWidth 0|wipeleft"
  "Slide|--Direction tedLeft|slideleft"
  "Push|--Direction tedLeft|slideleft"
  "Fuse||dissolve"
  "Drip|--Direction tedDown|-"
  "Roll||-"
  "Blocks||pixelize"
  "Circle||circleopen"
  "Radial||radial"
  "Diagonal||diagtl"
  "Interlaced||hlslice"
  "Waterfall||-"
)
known=$("$qvt" list)

# Seconds one run of a command takes: its processor time (user and system,
# children included), which other work on a shared machine hardly moves, or
# with PEER_CLOCK=wall the elapsed time.
run_seconds() {
  local TIMEFORMAT t
  if [[ "$clock" == wall ]]; then TIMEFORMAT='%3R 0'; else TIMEFORMAT='%3U %3S'; fi
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || fail "failed: $*"
  awk '{ printf "%.3f", $1 + $2 }' <<<"$t"
}

# The median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Net seconds of a run's frames: the median, over pairs of runs made one
# right after the other, of the full run's time minus the pass-through
# run's (the commands in the arrays named by $1 and $2). While that median is not clearly
# above the noise -- at most zero, or less than five times its standard
# error, estimated from the differences' median absolute deviation -- the
# pairs are doubled, up to 16 x $runs; a net time still in the noise prints
# as "<T": below T seconds, the median (or 0) plus five standard errors.
net_seconds() {
  local -n full_cmd=$1 pass_cmd=$2
  local diffs=() want=$runs med spread
  while :; do
    while ((${#diffs[@]} < want)); do
      local tf tp
      tf=$(run_seconds "${full_cmd[@]}")
      tp=$(run_seconds "${pass_cmd[@]}")
      diffs+=("$(calc "$tf - $tp")")
    done
    med=$(printf '%s\n' "${diffs[@]}" | median)
    spread=$(printf '%s\n' "${diffs[@]}" | awk -v m="$med" '{ d = $1 - m; print d < 0 ? -d : d }' | median)
    if awk -v m="$med" -v s="$spread" -v n="${#diffs[@]}" \
         'BEGIN { exit !(m > 0 && m >= 5 * 1.858 * s / sqrt(n)) }'; then
      echo "$med"; return
    fi
    if ((want >= 16 * runs)); then
      awk -v m="$med" -v s="$spread" -v n="${#diffs[@]}" \
        'BEGIN { printf "<%.6f", (m > 0 ? m : 0) + 5 * 1.858 * s / sqrt(n) }'
      return
    fi
    want=$((want * 2))
  done
}

# Frames per second of `count` frames that took `net` seconds; more than
# the rate of that bound for a net time "<T" (in the noise).
rate() {
  awk -v n="$1" -v t="$2" 'BEGIN {
    above = sub(/^</, "", t)
    if (t <= 0) print "-"; else printf "%s%.0f", above ? ">" : "", n / t }'
}

ms=$(( frames * 1000 / fps ))  # qvt writes round(ms * fps / 1000) frames (at least 2)
ffdur=$(calc "$frames / $fps")
ffbase=(ffmpeg -hide_banner -nostdin -loglevel error -threads 1 -filter_threads 1 -filter_complex_threads 1)

printf '%-10s %-12s %-11s %10s %10s %8s %10s\n' size effect xfade "qvt fps" "xfade fps" ratio "bound fps"
for size in $sizes; do
  w=${size%x*}; h=${size#*x}
  a="$work/a-$size.png"; b="$work/b-$size.png"
  # The two built-in pages as pictures, for both tools.
  "$qvt" render "Alpha blend" --ms 1000 --fps 1 --size "$size" -o "$work/pages-$size/f%d.png" >/dev/null
  mv "$work/pages-$size/f0.png" "$a"; mv "$work/pages-$size/f1.png" "$b"
  # The memory bound of a 32-bit frame: read two frames, write a third.
  bound_us=$("$bench" --benchmark_filter="BlendBytes/plain/${size}/" --benchmark_min_time=0.2 \
             --benchmark_format=csv 2>/dev/null |
             awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == "\"bound_us\"") c = i }
                      NR == 2 && c { print $c }' || true)
  bound_fps=$(rate 1 "$(calc "${bound_us:-0} / 1000000")")

  ff_in=(-loop 1 -framerate $fps -t "$ffdur" -i "$a" -loop 1 -framerate $fps -t "$ffdur" -i "$b")
  ff_pass=("${ffbase[@]}" "${ff_in[@]}" -filter_complex \
    "[0:v]format=gbrp[x];[1:v]format=gbrp,nullsink;[x]null" -frames:v "$frames" -f null -)

  for row in "${rows[@]}"; do
    IFS='|' read -r effect options peer <<<"$row"
    grep -qiF "$effect" <<<"$known" || continue
    [[ -z "$only" ]] || grep -qixF "$effect" <<<"${only//,/$'\n'}" || continue
    # shellcheck disable=SC2086
    qvt_cmd=("$qvt" render "$effect" $options --from "$a" --to "$b" --size "$size" --fps $fps)
    # The same effect's start-up, pages and two end frames, without the
    # frames between.
    qvt_pass=("${qvt_cmd[@]}" --ms 1 -o null)
    qvt_full=("${qvt_cmd[@]}" --ms "$ms" -o null)
    qvt_fps=$(rate $((frames - 2)) "$(net_seconds qvt_full qvt_pass)")
    if [[ "$peer" == "-" ]]; then
      ff_fps="-"; ratio="-"
    else
      ff_full=("${ffbase[@]}" "${ff_in[@]}" -filter_complex \
        "[0:v]format=gbrp[x];[1:v]format=gbrp[y];[x][y]xfade=transition=$peer:duration=$ffdur:offset=0" \
        -frames:v "$frames" -f null -)
      ff_fps=$(rate "$frames" "$(net_seconds ff_full ff_pass)")
      ratio=$(awk -v q="$qvt_fps" -v f="$ff_fps" 'BEGIN {
        above = sub(/^>/, "", q)
        if (q == "-" || f == "-" || f == 0 || f ~ /^>/) print "-"; else printf "%s%.1fx", above ? ">" : "", q / f }')
    fi
    printf '%-10s %-12s %-11s %10s %10s %8s %10s\n' "$size" "$effect" "$peer" "$qvt_fps" "$ff_fps" "$ratio" "$bound_fps"
  done
done
