#!/usr/bin/env bash
# CPU that Quillet uses while it waits: with no video (the idle player), and
# with a video paused through the media keys' interface on a private session
# bus (so the desktop services are running too), under Xvfb with openbox.
#
#   bench/idle_cpu.sh [seconds]      (default 10 seconds per measurement)
#
# Prints the CPU time (user + system) of each phase; QUILLET chooses the
# program (default build/quillet). Needs ffmpeg, dbus-daemon and playerctl.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}
quillet=${QUILLET:-$top/build/quillet}

if [ -z "${QUILLET_BENCH_ON_XVFB:-}" ]; then
  for tool in ffmpeg dbus-daemon playerctl Xvfb openbox; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (tools/install-deps.sh test)" >&2; exit 2; }
  done
  QUILLET_BENCH_ON_XVFB=1 QUILLET="$quillet" exec "$top/tools/headless.sh" "$0" "$@"
fi

work=$(mktemp -d)
{ read -r address; read -r buspid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
trap 'kill "$buspid" 2>/dev/null; rm -rf "$work"' EXIT
export DBUS_SESSION_BUS_ADDRESS=$address QUILLET_AO=null TMPDIR=$work
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=640x360:rate=25:duration=120" \
  -f lavfi -i "sine=frequency=440:duration=120" -c:v flv -c:a libmp3lame -shortest "$work/clip.flv"

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
# CPU seconds of the process over the measuring time.
measure() {
  local before after
  before=$(ticks "$1")
  sleep "$seconds"
  after=$(ticks "$1")
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f s", t / hz }'
}
stop() { kill "$1"; wait "$1" 2>/dev/null || true; }

"$quillet" 2>/dev/null &
pid=$!
sleep 5  # start-up and the banner check are over
echo "idle player: $(measure $pid) CPU in $seconds s"
stop $pid

"$quillet" "$work/clip.flv" 2>/dev/null &
pid=$!
for _ in $(seq 100); do [ "$(playerctl -p quillet status 2>/dev/null)" = Playing ] && break; sleep 0.1; done
sleep 2
echo "playing:     $(measure $pid) CPU in $seconds s"
playerctl -p quillet pause
sleep 1
echo "paused:      $(measure $pid) CPU in $seconds s ($(playerctl -p quillet status))"
stop $pid
