#!/usr/bin/env bash
# Long use: 200 videos (or $1) opened in a row in one running Quillet window,
# alternating between a Sorenson H.263/MP3 clip and an H.264/AAC clip made
# here by ffmpeg, under Xvfb with openbox. Prints threads, open file
# descriptors and resident memory every 10 videos and checks that exactly one
# player is alive at a time and that nothing grows beyond the bounds stated
# in bench/long_use.cpp after a warm-up of 10 videos.
#
#   bench/long_use.sh [COUNT]        (build folder: $BUILD, default build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build}
count=${1:-200}
cmake --build "$build" --target long_use >/dev/null
work=$(mktemp -d /tmp/quillet-long-use-clips-XXXXXX)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=3 \
  -f lavfi -i sine=frequency=440:duration=3 -c:v flv1 -c:a libmp3lame -ar 44100 "$work/a.flv"
ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25:duration=3 \
  -f lavfi -i sine=frequency=660:duration=3 -c:v libx264 -preset ultrafast -c:a aac "$work/b.flv"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/rt QT_QPA_PLATFORM=xcb QUILLET_AO=null
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
exec "$top/tools/headless.sh" "$build/bench/long_use" "$count" "$work/a.flv" "$work/b.flv"
