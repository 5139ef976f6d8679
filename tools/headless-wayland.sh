#!/usr/bin/env bash
# Runs a command in a private headless Wayland session: sway (wlroots,
# software rendering, one 1280x1024 output, every window floating) with
# wayvnc beside it: its virtual pointer and keyboard give the seat the devices
# that typed keys need, and a VNC client's pointer events are the real
# pointer motion that clicks and drags need (sway's own seat commands move
# the cursor without telling a client that holds a button down).
#
# sway refuses to run as root. Run as root (as CI is), the session runs as an
# unprivileged user, created if missing ($QUILLET_WAYLAND_USER, default
# quillet-wayland), and the command stays root: it reaches the compositor by
# the socket's full path, so nothing of the command's tree needs to be
# readable by that user.
#
# The command finds in its environment: WAYLAND_DISPLAY (the socket, a full
# path), SWAYSOCK (sway's IPC socket, for swaymsg), QUILLET_WAYLAND_OUTPUT
# (the output's name, for grim -o), QUILLET_VNC_PORT (wayvnc's, on
# 127.0.0.1, without authentication) and no DISPLAY. Fails, without running the
# command, when the session does not come up.
#
# QUILLET_WAYLAND_COMPOSITOR=weston runs weston's headless backend instead
# (one 1280x1024 output, pixman rendering, its desktop shell): a compositor
# that, like GNOME's, leaves title bars to its clients. Its command finds
# WAYLAND_DISPLAY only.
set -euo pipefail
unset DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION \
  QT_QPA_PLATFORMTHEME WAYLAND_DISPLAY SWAYSOCK
# sway's first start on a fresh, loaded machine takes a few seconds.
wait_s=${QUILLET_WAYLAND_WAIT:-60}
output=HEADLESS-1

root=$(mktemp -d /tmp/quillet-wayland.XXXXXX)
chmod 755 "$root"
runtime=$root/runtime
mkdir -m 700 "$runtime"
cat >"$root/sway.conf" <<EOF
output $output resolution 1280x1024 position 0 0
for_window [app_id=".*"] floating enable
focus_follows_mouse no
# The cursor is drawn into the output's pixels; idle, it leaves screenshots.
seat * hide_cursor 1000
EOF

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  user=${QUILLET_WAYLAND_USER:-quillet-wayland}
  if ! id -u "$user" >/dev/null 2>&1; then
    # Another run may make it at the same moment.
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
      "$user" 2>/dev/null || id -u "$user" >/dev/null
  fi
  chown "$user": "$runtime" "$root/sway.conf"
  as_user=(runuser -u "$user" --)
fi
session_env=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$runtime" XDG_RUNTIME_DIR="$runtime"
  LANG=C.UTF-8 WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
  WLR_HEADLESS_OUTPUTS=1)

pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

compositor_log=$root/sway.log
fail() {
  echo "headless-wayland.sh: $*" >&2
  tail -n 30 "$compositor_log" >&2 || true
  exit 1
}

if [ "${QUILLET_WAYLAND_COMPOSITOR:-sway}" = weston ]; then
  compositor_log=$root/weston.log
  "${as_user[@]}" "${session_env[@]}" weston --backend=headless-backend.so --no-config \
    --socket=wayland-quillet --width=1280 --height=1024 >"$compositor_log" 2>&1 &
  weston=$!
  pids+=("$weston")
  deadline=$((SECONDS + wait_s))
  # The socket is there once weston listens; its shell starts after.
  until [ -S "$runtime/wayland-quillet" ] && grep -q "launching '.*desktop-shell'" "$compositor_log"; do
    kill -0 "$weston" 2>/dev/null || fail "weston ended before its session came up"
    [ "$SECONDS" -lt "$deadline" ] || fail "weston's session did not come up within ${wait_s} s"
    sleep 0.1
  done
  export WAYLAND_DISPLAY=$runtime/wayland-quillet
  "$@"
  exit $?
fi

"${as_user[@]}" "${session_env[@]}" sway -c "$root/sway.conf" >"$root/sway.log" 2>&1 &
sway=$!
pids+=("$sway")

deadline=$((SECONDS + wait_s))
socket="" ipc=""
until [ -n "$socket" ] && [ -n "$ipc" ] && swaymsg -s "$ipc" -t get_outputs >/dev/null 2>&1; do
  kill -0 "$sway" 2>/dev/null || fail "sway ended before its session came up"
  [ "$SECONDS" -lt "$deadline" ] || fail "sway's session did not come up within ${wait_s} s"
  sleep 0.1
  # The socket's number is sway's choice: wayland-N, whatever N.
  socket=$(find "$runtime" -maxdepth 1 -type s -name 'wayland-[0-9]*' -print -quit)
  ipc=$(find "$runtime" -maxdepth 1 -type s -name 'sway-ipc.*.sock' -print -quit)
done
export WAYLAND_DISPLAY=$socket SWAYSOCK=$ipc QUILLET_WAYLAND_OUTPUT=$output

# wayvnc's devices stay while it runs; its port is only bound on loopback,
# and a taken one makes it end, so it tries a few.
for port in $(shuf -i 20000-60000 -n 5); do
  "${as_user[@]}" "${session_env[@]}" WAYLAND_DISPLAY="$(basename "$socket")" \
    wayvnc 127.0.0.1 "$port" >"$root/wayvnc.log" 2>&1 &
  vnc=$!
  started=$SECONDS pointer=false holder=""
  until [ "$SECONDS" -ge "$deadline" ]; do
    kill -0 "$vnc" 2>/dev/null || break
    if swaymsg -s "$ipc" -t get_seats -r 2>/dev/null | grep -q '"type": "pointer"'; then
      pointer=true
      break
    fi
    # wayvnc 0.9 and later (Debian 13) make the devices only for a connected
    # client: one held open keeps them.
    if [ -z "$holder" ] && [ "$SECONDS" -ge "$((started + 2))" ]; then
      /usr/bin/python3 "$(dirname "$0")/vnc-hold.py" "$port" 2>>"$root/wayvnc.log" &
      holder=$!
    fi
    sleep 0.1
  done
  if $pointer; then
    pids+=("$vnc")
    [ -z "$holder" ] || pids+=("$holder")
    break
  fi
  [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
  kill "$vnc" 2>/dev/null || true
  wait "$vnc" 2>/dev/null || true
done
$pointer || fail "wayvnc gave the seat no pointer: $(tail -n 5 "$root/wayvnc.log")"
export QUILLET_VNC_PORT=$port

"$@"
