#!/usr/bin/env bash
# Time to the first frame, CPU to play to the end and peak memory of Quillet,
# measured from outside under Xvfb and compared, in the same run and on the
# same clips, with mpv (its cheapest path without a GPU) and ffplay.
#
#   bench/startup_cpu_memory.sh [runs]      (default 3 runs per player and clip; medians shown)
#
# QUILLET=path/to/quillet chooses the program (default build/quillet); a
# missing or non-playing program is reported and the others still run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
quillet=${QUILLET:-$top/build/quillet}

if [ -z "${QUILLET_BENCH_ON_XVFB:-}" ]; then
  for tool in ffmpeg ffplay mpv g++ Xvfb openbox python3; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (tools/install-deps.sh bench)" >&2; exit 2; }
  done
  QUILLET_BENCH_ON_XVFB=1 QUILLET="$quillet" exec "$top/tools/headless.sh" "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O2 -std=c++17 -o "$work/measure" "$top/bench/measure.cpp" -lX11 -lXtst

# The clips: ten seconds of a moving, strongly coloured picture and a tone.
encode() {  # name size video-options audio-options
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=$2:rate=25:duration=10" \
    -f lavfi -i "sine=frequency=440:duration=10:sample_rate=44100" \
    $3 $4 -shortest "$work/$1.flv"
}
echo "Encoding the clips..."
encode h264_aac_1280x720 1280x720 "-c:v libx264 -pix_fmt yuv420p" "-c:a aac -b:a 128k"
encode h263_mp3_640x360 640x360 "-c:v flv -b:v 1200k" "-c:a libmp3lame -b:a 128k"

# A player that does not exit at the clip's end is asked to end this long
# after its start; a paused player's idle time adds next to nothing.
limit=16

run_once() {  # player clip -> "first_frame_ms cpu_s main_mib largest_mib"
  local player=$1 clip=$2
  local -a cmd
  case $player in
    quillet) cmd=("$quillet" "$clip") ;;
    mpv) cmd=(mpv --no-config --vo=x11 --ao=null --really-quiet "$clip") ;;
    ffplay) cmd=(ffplay -autoexit -loglevel quiet "$clip") ;;
  esac
  "$work/measure" "$limit" "${cmd[@]}" </dev/null 2>/dev/null | sed -E 's/[a-z_]+=//g'
  sleep 0.5
}

players=(mpv ffplay)
if [ -x "$quillet" ]; then
  players=(quillet mpv ffplay)
else
  echo "Quillet not found at $quillet: measuring the others only."
fi

for clip in h264_aac_1280x720 h263_mp3_640x360; do
  # The players take turns, run after run, so that a machine that gets
  # busier or quieter during the benchmark weighs on all of them alike.
  for _ in $(seq "$runs"); do
    for player in "${players[@]}"; do
      run_once "$player" "$work/$clip.flv" >>"$work/$clip.$player"
    done
  done
  bench=$(ffmpeg -hide_banner -nostats -benchmark -i "$work/$clip.flv" -f null - 2>&1)
  floor=$(sed -nE 's/.*bench: utime=([0-9.]+)s stime=([0-9.]+)s.*/\1 \2/p' <<<"$bench" | tail -1)
  maxrss=$(sed -nE 's/.*bench: maxrss=([0-9]+)kB.*/\1/p' <<<"$bench" | tail -1)
  python3 - "$work" "$clip" "$floor" "$maxrss" "${players[@]}" <<'EOF'
import statistics, sys
work, clip, floor, maxrss, players = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
def medians(player):
    rows = [list(map(float, l.split())) for l in open(f"{work}/{clip}.{player}") if l.strip()]
    if not rows:
        return None
    firsts = [r[0] for r in rows if r[0] >= 0]
    return {
        "first": statistics.median(firsts) if firsts else None,
        "cpu": statistics.median(r[1] for r in rows),
        "main": statistics.median(r[2] for r in rows),
        "largest": statistics.median(r[3] for r in rows),
        "runs": len(rows), "framed": len(firsts),
    }
m = {p: medians(p) for p in players}
ref = m.get("mpv")
def cell(p, key, fmt):
    v = m[p] and m[p][key]
    if v is None:
        return "none".rjust(17)
    ratio = ""
    if ref and ref.get(key) and p != "mpv":
        ratio = f" (x{v / ref[key]:.2f})"
    return (fmt.format(v) + ratio).rjust(17)
print(f"\n{clip} (medians of runs; x = ratio to mpv)")
print(f"{'player':8} {'first frame':>17} {'CPU to the end':>17} {'main peak RSS':>17} {'largest process':>17}")
for p in players:
    if not m[p]:
        print(f"{p:8} did not run")
        continue
    print(f"{p:8} {cell(p, 'first', '{:.0f} ms')} {cell(p, 'cpu', '{:.2f} s')} "
          f"{cell(p, 'main', '{:.0f} MiB')} {cell(p, 'largest', '{:.0f} MiB')}"
          + ("" if m[p]["framed"] == m[p]["runs"] else f"  (first frame seen in {m[p]['framed']} of {m[p]['runs']} runs)"))
u, s = (floor.split() + ["0", "0"])[:2]
print(f"{'decode':8} {'(floor)':>17} {float(u) + float(s):>15.2f} s {int(maxrss or 0) / 1024:>13.0f} MiB"
      "   ffmpeg -benchmark -f null")
EOF
done
