#!/usr/bin/env bash
# The seek bar's preview: hover to picture at 20 points (median, worst, and
# the first hover, which starts the preview's engine), and the main engine's
# dropped frames, CPU and memory while the pointer sweeps the bar for 10 s
# during playback against 10 s of playback alone; on a 1280x720 H.264 FLV
# and a 1280x720 Sorenson H.263 FLV, each with and without onMetaData's
# key-frame index, under Xvfb (the player at 1280x720, its preview 426x240).
#
#   bench/seek_preview.sh [points]        (default 20)
#
# Builds the benchmark in build/ (or $QUILLET_BUILD_DIR) first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILLET_BUILD_DIR:-$top/build}
points=${1:-20}

if [ -z "${QUILLET_BENCH_ON_XVFB:-}" ]; then
  command -v ffmpeg >/dev/null || { echo "missing: ffmpeg (tools/install-deps.sh bench)" >&2; exit 2; }
  cmake --build "$build" -j2 --target bench_seek_preview >/dev/null
  QUILLET_BENCH_ON_XVFB=1 exec "$top/tools/headless.sh" "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# 60 s of a moving picture, a key frame every 2 s as encoders of the time
# wrote them; no sound, so that playback is paced by the picture alone.
encode() {  # name video-options [flv flags]
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=60" \
    $2 -g 50 ${3:+-flvflags $3} "$work/$1.flv"
}
echo "Encoding the clips..."
encode h264_index "-c:v libx264 -pix_fmt yuv420p" add_keyframe_index
encode h264_plain "-c:v libx264 -pix_fmt yuv420p"
encode h263_index "-c:v flv -b:v 2500k" add_keyframe_index
encode h263_plain "-c:v flv -b:v 2500k"

for clip in h264_index h264_plain h263_index h263_plain; do
  echo "== $clip"
  QUILLET_AO=null "$build/bench_seek_preview" "$work/$clip.flv" "$points" 2>/dev/null
done
