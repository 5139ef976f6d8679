#!/usr/bin/env bash
# The FLV reader's walk of a 2 GiB file alone (bench/flv_walk.cpp): its time,
# CPU, the bytes it reads and peak memory, from the page cache and cold; then
# a seek to 90 % of the file as soon as its first picture shows, which must
# wait for the walk to get there (bench/far_seek.cpp, the player's engine
# without a window).
# The file loops the 10-second 1280x720 H.264/AAC clip of
# bench/damaged_versus_mpv.py --big, timestamps continued.
#
#   bench/flv_walk.sh [runs] [GiB]      (default 3 runs of 2 GiB)
#
# Builds the benchmark in build/ (or $QUILLET_BUILD_DIR) first; keeps the file
# in $QUILLET_BENCH_WALK_DIR when set (it takes a while to make), else in a
# temporary folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLET_BUILD_DIR:-$top/build}
runs=${1:-3}
gib=${2:-2}
command -v ffmpeg >/dev/null || { echo "missing: ffmpeg (tools/install-deps.sh bench)" >&2; exit 2; }
cmake --build "$build" -j2 --target bench_flv_walk bench_far_seek >/dev/null

if [ -n "${QUILLET_BENCH_WALK_DIR:-}" ]; then
  work=$QUILLET_BENCH_WALK_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
huge=$work/huge-$gib.flv
if [ ! -s "$huge" ] || [ ! -s "$huge.length" ]; then
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:duration=10:sample_rate=44100 -c:v libx264 -pix_fmt yuv420p \
    -c:a aac -shortest "$work/clip.flv"
  python3 "$top/tools/make_damaged_flv.py" --big "$(python3 -c "print(int($gib * (1 << 30)))")" \
    "$work/clip.flv" "$huge.part" >"$huge.length"
  mv "$huge.part" "$huge"
fi
length=$(cat "$huge.length")

for mode in warm cold; do
  flag=
  if [ "$mode" = cold ]; then flag=--cold; else cat "$huge" >/dev/null; fi
  for _ in $(seq "$runs"); do
    echo "$mode $("$build/bench_flv_walk" "$huge" $flag)"
  done
done
for mode in warm cold; do
  flag=
  if [ "$mode" = cold ]; then flag=--cold; else cat "$huge" >/dev/null; fi
  for _ in $(seq "$runs"); do
    echo "$mode far seek $(QUILLET_AO=null "$build/bench_far_seek" "$huge" "$length" $flag)"
  done
done
