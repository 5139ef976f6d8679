#!/usr/bin/env bash
# Quillet beside mpv, in one run under Xvfb (1920x1080) with openbox, the
# players taking turns run after run, medians of the runs, ratios to mpv:
#   - first frame, CPU of the process tree to the clip's end and a moment
#     after, and peak RSS of the player's process, with the picture at the
#     size Quillet opens a video in, enlarged to 1280x720 (mpv --autofit;
#     Quillet's window opened at that size with the X11 -geometry option
#     that Qt honours), and in full screen (mpv --fs; Quillet's F key, sent
#     as soon as its window is active);
#   - seek latency from the request to the new picture on the screen, at 10
#     positions, on an FLV with a key-frame index and on one without, beside
#     mpv as it is and mpv made to land exactly where asked, as Quillet does;
#   - CPU over 10 s paused and over 10 s of the idle player with no video;
#   - the decode-only floor of each clip (ffmpeg -benchmark -f null).
#
#   bench/versus_mpv.sh [runs]        (default 3)
#
# QUILLET_BENCH_PARTS picks what to measure, for a quick comparison of one
# change (default "size seek rest").
#
# QUILLET chooses the program (default build/quillet). Needs the packages of
# tools/install-deps.sh bench.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
quillet=${QUILLET:-$top/build/quillet}

if [ -z "${QUILLET_BENCH_ON_XVFB:-}" ]; then
  for tool in ffmpeg mpv g++ pkg-config Xvfb openbox python3 dbus-daemon dbus-send; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (tools/install-deps.sh bench)" >&2; exit 2; }
  done
  [ -x "$quillet" ] || { echo "no Quillet at $quillet" >&2; exit 2; }
  QUILLET_BENCH_ON_XVFB=1 QUILLET="$quillet" exec "$top/tools/headless.sh" "$0" "$@"
fi

work=$(mktemp -d)
{ read -r address; read -r buspid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1)
trap 'kill "$buspid" 2>/dev/null; rm -rf "$work"' EXIT
# Silence for both players; a private bus for Quillet's media-player interface;
# a private home, so that no configuration of this machine's user counts.
export DBUS_SESSION_BUS_ADDRESS=$address QUILLET_AO=null TMPDIR=$work HOME=$work/home
export XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export XDG_RUNTIME_DIR=$work/rt
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

g++ -O2 -std=c++17 -o "$work/measure" "$top/bench/measure.cpp" -lX11 -lXtst
g++ -O2 -std=c++17 -o "$work/seek_latency" "$top/bench/seek_latency.cpp" \
  $(pkg-config --cflags --libs dbus-1) -lX11

echo "Encoding the clips..."
# Ten seconds of a moving, strongly coloured picture and a tone.
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=10" \
  -f lavfi -i "sine=frequency=440:duration=10:sample_rate=44100" \
  -c:v libx264 -pix_fmt yuv420p -c:a aac -b:a 128k -shortest "$work/play.flv"
# Thirty seconds in ten segments of one colour each (hue k * 36 degrees),
# with grain on the brightness and a small moving picture in the middle, so
# that decoding costs about what a real video's does (1.6 Mbit/s); key frames
# every 2 s; once with onMetaData's key-frame index, once without.
segments=10 segment_seconds=3
inputs=""
for k in $(seq 0 $((segments - 1))); do
  colour=$(python3 -c "import colorsys; r,g,b=colorsys.hsv_to_rgb($k/$segments,0.8,0.75); print('0x%02x%02x%02x'%(round(r*255),round(g*255),round(b*255)))")
  inputs+="color=c=$colour:s=1280x720:r=25:d=$segment_seconds[s$k];"
done
chain=$(for k in $(seq 0 $((segments - 1))); do printf '[s%d]' "$k"; done)
ffmpeg -hide_banner -loglevel error -y \
  -filter_complex "${inputs}${chain}concat=n=$segments:v=1:a=0,noise=c0s=6:c0f=t[bg];testsrc2=s=320x180:r=25:d=$((segments * segment_seconds))[m];[bg][m]overlay=480:270[v]" \
  -f lavfi -i "sine=frequency=440:duration=$((segments * segment_seconds)):sample_rate=44100" \
  -map "[v]" -map 0:a -c:v libx264 -pix_fmt yuv420p -g 50 -c:a aac -b:a 128k \
  -flvflags add_keyframe_index -shortest "$work/seek_indexed.flv"
ffmpeg -hide_banner -loglevel error -y -i "$work/seek_indexed.flv" -c copy "$work/seek_plain.flv"
# The key frames' times (x264 adds some at the changes of colour): what each
# exact seek must decode from.
ffprobe -v error -select_streams v -show_entries packet=dts_time,flags -of csv=p=0 \
  "$work/seek_indexed.flv" | awk -F, '$2 ~ /K/ { print $1 }' >"$work/keys.seek_indexed"

mpv_cmd=(mpv --no-config --vo=x11 --ao=null --really-quiet)

# The picture Quillet opens a video in: mpv is given the same.
open_size=$("$work/measure" 3 "$quillet" "$work/play.flv" </dev/null 2>/dev/null |
  sed -nE 's/.*picture=([0-9]+x[0-9]+).*/\1/p')
case $open_size in "" | 0x0) echo "Quillet showed no picture" >&2; exit 1 ;; esac
# Quillet's window less its player area: the panel and the banner below it
# and the 27-pixel bar, measured once at a known window size. The window is
# a little wider than the picture, which is then fitted by its height.
large_window=$(
  "$work/measure" --resize 1300x800 3 "$quillet" "$work/play.flv" </dev/null 2>/dev/null |
    sed -nE 's/.*picture=([0-9]+)x([0-9]+).*/\2/p' |
    awk '{ printf "1300x%d", 800 + 720 - $1 }'
)

# A player that does not end at the clip's end is asked to end at this time;
# mpv ends on its own a moment before.
limit=11
size_run() {  # size player -> one line of measure
  local size=$1 player=$2 clip=$work/play.flv
  local -a opts
  case $size/$player in
    open/quillet) opts=(--picture "$open_size" "$limit" "$quillet" "$clip") ;;
    open/mpv) opts=(--picture "$open_size" "$limit" "${mpv_cmd[@]}" --autofit="$open_size" "$clip") ;;
    large/quillet) opts=(--picture 1280x720 "$limit" "$quillet" -geometry "$large_window+0+0" "$clip") ;;
    large/mpv) opts=(--picture 1280x720 "$limit" "${mpv_cmd[@]}" --autofit=1280x720 "$clip") ;;
    full/quillet) opts=(--picture 1920x1080 --key f "$limit" "$quillet" "$clip") ;;
    full/mpv) opts=(--picture 1920x1080 "$limit" "${mpv_cmd[@]}" --fs "$clip") ;;
  esac
  "$work/measure" "${opts[@]}" </dev/null 2>/dev/null || true
  sleep 0.5
}

seek_run() {  # clip player -> latencies, then where each seek landed
  local clip=$work/$1.flv player=$2
  if [ "$player" = quillet ]; then
    "$work/seek_latency" --mpris "$segments" "$segment_seconds" "$quillet" "$clip" </dev/null 2>/dev/null || echo
  else
    # mpv-exact: mpv made to land where asked, as Quillet does (its own
    # search instead of the writer's index, and decoding on to the target).
    local exact=()
    [ "$player" = mpv-exact ] && exact=(--hr-seek=yes --demuxer-lavf-o=fflags=+ignidx)
    "$work/seek_latency" --mpv-ipc "$work/mpv.ipc" "$segments" "$segment_seconds" \
      "${mpv_cmd[@]}" "${exact[@]}" --input-ipc-server="$work/mpv.ipc" --autofit="$open_size" "$clip" \
      </dev/null 2>/dev/null || echo
  fi
  sleep 0.5
}

ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
cpu_over() {  # pid seconds -> CPU seconds of the process over that time
  local before after
  before=$(ticks "$1")
  sleep "$2"
  after=$(ticks "$1")
  awk -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.3f", t / hz }'
}
mpv_ipc() {  # socket json
  python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); s.sendall(sys.argv[2].encode() + b"\n")' \
    "$1" "$2"
}
rest_run() {  # state player -> CPU seconds over 10 s
  local state=$1 player=$2 pid
  if [ "$player" = quillet ]; then
    if [ "$state" = idle ]; then "$quillet" 2>/dev/null & else "$quillet" "$work/play.flv" 2>/dev/null & fi
  else
    if [ "$state" = idle ]; then
      "${mpv_cmd[@]}" --idle=yes --force-window=yes --input-ipc-server="$work/mpv.ipc" &
    else
      "${mpv_cmd[@]}" --keep-open=yes --autofit="$open_size" --input-ipc-server="$work/mpv.ipc" \
        "$work/play.flv" &
    fi
  fi
  pid=$!
  sleep 3  # started, and the video well under way
  if [ "$state" = paused ]; then
    if [ "$player" = quillet ]; then
      dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.quillet \
        /org/mpris/MediaPlayer2 org.mpris.MediaPlayer2.Player.Pause
    else
      mpv_ipc "$work/mpv.ipc" '{"command": ["set_property", "pause", true]}'
    fi
    sleep 1
  fi
  cpu_over "$pid" 10
  echo
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  rm -f "$work/mpv.ipc"
  sleep 0.5
}

parts=" ${QUILLET_BENCH_PARTS:-size seek rest} "
echo "Measuring ($runs runs each; Quillet's picture opens at $open_size)..."
for _ in $(seq "$runs"); do
  [[ $parts == *" size "* ]] && for size in open large full; do
    for player in quillet mpv; do size_run "$size" "$player" >>"$work/size.$size.$player"; done
  done
  [[ $parts == *" seek "* ]] && for clip in seek_indexed seek_plain; do
    for player in quillet mpv mpv-exact; do
      seek_run "$clip" "$player" | {
        read -r latencies && echo "$latencies" >>"$work/seek.$clip.$player"
        read -r landed && echo "$landed" >>"$work/landed.$clip.$player"
      } || true
    done
  done
  [[ $parts == *" rest "* ]] && for state in paused idle; do
    for player in quillet mpv; do rest_run "$state" "$player" >>"$work/rest.$state.$player"; done
  done
done

for clip in play seek_indexed seek_plain; do
  ffmpeg -hide_banner -nostats -benchmark -i "$work/$clip.flv" -f null - 2>&1 |
    sed -nE 's/.*bench: utime=([0-9.]+)s stime=([0-9.]+)s.*/\1 \2/p' | tail -1 >"$work/floor.$clip"
done

python3 - "$work" "$open_size" "$segments" "$segment_seconds" <<'EOF'
import statistics, sys
work, open_size = sys.argv[1], sys.argv[2]
segments, segment_seconds = int(sys.argv[3]), float(sys.argv[4])

def rows(name):
    try:
        return [l.split() for l in open(f"{work}/{name}") if l.strip()]
    except FileNotFoundError:
        return []

def ratio(q, m):
    return f"{q / m:.2f}x" if q is not None and m else "-"

def med(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None

def fmt(v, f):
    return f.format(v) if v is not None else "none"

print()
print("| size | player | picture | first frame | CPU (tree) | peak RSS |")
print("|---|---|---|---|---|---|")
names = {"open": f"opening size", "large": "enlarged to 1280x720", "full": "full screen 1920x1080"}
for size in ("open", "large", "full"):
    m = {}
    for player in ("quillet", "mpv"):
        values = [dict(kv.split("=") for kv in r) for r in rows(f"size.{size}.{player}")]
        firsts = [float(v["first_frame_ms"]) for v in values if float(v["first_frame_ms"]) >= 0]
        m[player] = {
            "first": med(firsts), "cpu": med(float(v["cpu_s"]) for v in values),
            "rss": med(float(v["main_peak_mib"]) for v in values),
            "picture": values[len(values) // 2]["picture"] if values else "-",
            "framed": f"{len(firsts)}/{len(values)}",
        }
    q, p = m["quillet"], m["mpv"]
    print(f"| {names[size]} | Quillet | {q['picture']} | {fmt(q['first'], '{:.0f} ms')} ({ratio(q['first'], p['first'])}) "
          f"| {fmt(q['cpu'], '{:.2f} s')} ({ratio(q['cpu'], p['cpu'])}) | {fmt(q['rss'], '{:.0f} MiB')} ({ratio(q['rss'], p['rss'])}) |")
    print(f"| | mpv | {p['picture']} | {fmt(p['first'], '{:.0f} ms')} | {fmt(p['cpu'], '{:.2f} s')} | {fmt(p['rss'], '{:.0f} MiB')} |")

print()
print("| seek to the new picture (10 positions x runs) | player | median | 90th percentile | worst | landed over 0.1 s from the target |")
print("|---|---|---|---|---|---|")
for clip, label in (("seek_indexed", "FLV with a key-frame index"), ("seek_plain", "FLV without an index")):
    stats = {}
    for player in ("quillet", "mpv", "mpv-exact"):
        values = [float(x) for r in rows(f"seek.{clip}.{player}") for x in r]
        ok = sorted(v for v in values if v >= 0)
        missed = len(values) - len(ok)
        stats[player] = (med(ok), ok[int(0.9 * (len(ok) - 1))] if ok else None,
                         ok[-1] if ok else None, missed, len(values))
    for player in ("quillet", "mpv", "mpv-exact"):
        s, o = stats[player], stats["mpv"]
        r = lambda i: f" ({ratio(s[i], o[i])})" if player != "mpv" else ""
        miss = f" ({s[3]} of {s[4]} never came)" if s[3] else ""
        landed = [float(x) for r in rows(f"landed.{clip}.{player}") for x in r if x != "x"]
        off = [v for v in landed if abs(v) > 100]
        late = f"{len(off)} of {len(landed)}" + (f" (up to {max(off, key=abs):+.0f} ms)" if off else "")
        print(f"| {label if player == 'quillet' else ''} | { {'quillet': 'Quillet', 'mpv': 'mpv', 'mpv-exact': 'mpv, exact seeks'}[player]} "
              f"| {fmt(s[0], '{:.0f} ms')}{r(0)} | {fmt(s[1], '{:.0f} ms')}{r(1)} | {fmt(s[2], '{:.0f} ms')}{r(2)}{miss} | {late} |")

# Seek by seek on the indexed clip: the same position costs the same
# decoding in any player that lands on it.
keys = [float(r[0]) for r in rows("keys.seek_indexed")]
order = [(i * 7 + 3) % segments for i in range(segments)]  # as seek_latency.cpp asks
players = ("quillet", "mpv", "mpv-exact")
took = {p: [[float(x) for x in r] for r in rows(f"seek.seek_indexed.{p}")] for p in players}
where = {p: [r for r in rows(f"landed.seek_indexed.{p}")] for p in players}
if keys and all(took[p] for p in players):
    print()
    print("| indexed clip, seek by seek | video decoded from the key frame before | Quillet | mpv | where mpv landed | mpv, exact seeks |")
    print("|---|---|---|---|---|---|")
    same = {p: [] for p in players}  # the positions where mpv landed on the target
    for i, k in enumerate(order):
        target = (k + 0.5) * segment_seconds
        key = max((t for t in keys if t <= target + 1e-6), default=0.0)
        got = {p: [r[i] for r in took[p] if len(r) > i and r[i] >= 0] for p in players}
        landed = [float(w[i]) for w in where["mpv"] if len(w) > i and w[i] != "x"]
        if landed and abs(med(landed)) <= 100:
            for p in players:
                same[p] += got[p]
        print(f"| {target:.1f} s | {target - key:.2f} s ({round((target - key) * 25)} frames at 25/s) "
              f"| {fmt(med(got['quillet']), '{:.0f} ms')} | {fmt(med(got['mpv']), '{:.0f} ms')} "
              f"| {fmt(med(landed), '{:+.0f} ms')} | {fmt(med(got['mpv-exact']), '{:.0f} ms')} |")
    print("\nAt the positions where mpv lands on the target, the median: " + "; ".join(
        f"{ {'quillet': 'Quillet', 'mpv': 'mpv', 'mpv-exact': 'mpv, exact seeks'}[p]} "
        f"{fmt(med(same[p]), '{:.0f} ms')}" for p in players) + f" ({len(same['mpv'])} seeks each)")

print()
print("| at rest, CPU over 10 s | Quillet | mpv |")
print("|---|---|---|")
for state, label in (("paused", "a video paused"), ("idle", "idle, no video")):
    q = med(float(r[0]) for r in rows(f"rest.{state}.quillet"))
    p = med(float(r[0]) for r in rows(f"rest.{state}.mpv"))
    print(f"| {label} | {fmt(q, '{:.2f} s')} | {fmt(p, '{:.2f} s')} |")

print()
print("| clip | decode-only floor (ffmpeg -benchmark, user+system) |")
print("|---|---|")
for clip, label in (("play", "10 s 1280x720 H.264/AAC (first frame, CPU, RSS)"),
                    ("seek_indexed", "30 s 1280x720 H.264/AAC, indexed"),
                    ("seek_plain", "30 s 1280x720 H.264/AAC, no index")):
    r = rows(f"floor.{clip}")
    print(f"| {label} | {sum(map(float, r[0])):.2f} s |" if r else f"| {label} | none |")
print(f"\n(medians; ratio = Quillet / mpv; CPU to the clip's end, the players ended at 11 s)")
EOF
