#!/usr/bin/env bash
# Runs a command on a private Xvfb display with the openbox window manager,
# so that windows get real frames as on a desktop. Xvfb picks the display
# number itself (-displayfd), so runs started side by side never share one.
# Fails, without running the command, when Xvfb does not start or no window
# manager announces itself: tests run without one would measure no frame.
set -euo pipefail
# The desktop is private too: without the caller's desktop session, Qt picks
# the same platform theme on every machine, rather than GTK 3 when run from a
# GNOME-like session with qt6-gtk-platformtheme installed (GTK's accessibility
# bridge then keeps a few strings it never frees, and the leak check fails).
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION \
  QT_QPA_PLATFORMTHEME
# How long openbox may take to announce itself. Its first start on a fresh
# machine, on a loaded one, takes a few seconds; a minute means it is broken.
wm_wait=${QUILLET_WM_WAIT:-60}
numfile=$(mktemp)
wmlog=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "${wm:-}" "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -f "$numfile" "$wmlog"
}
trap cleanup EXIT
for _ in $(seq 600); do [ -s "$numfile" ] && break; sleep 0.05; done
n=$(tr -dc '0-9' <"$numfile")
[ -n "$n" ] || { echo "headless.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$n
for _ in $(seq 600); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

# A window manager that follows the desktop conventions names a check window
# on the root, and that window names itself.
announced() {
  local child self
  child=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-f]*' | head -n1) ||
    return 1
  [ -n "$child" ] || return 1
  self=$(xprop -id "$child" _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-f]*' |
    head -n1) || return 1
  [ "$self" = "$child" ]
}
# Right after Xvfb starts, a connection to it now and then fails on a busy
# machine (xdpyinfo sees it too); openbox then ends at once, having logged
# "Failed to open the display" to its own log. It gets three tries.
deadline=$((SECONDS + wm_wait))
for attempt in 1 2 3; do
  openbox --sm-disable >/dev/null 2>"$wmlog" &
  wm=$!
  until announced; do
    if ! kill -0 "$wm" 2>/dev/null; then
      wait "$wm" && status=0 || status=$?
      echo "headless.sh: openbox ended (status $status) before it announced itself" \
        "(try $attempt of 3)" >&2
      cat "$wmlog" "${HOME:-/nonexistent}/.cache/openbox/openbox.log" 2>/dev/null >&2 || true
      kill -0 "$xvfb" 2>/dev/null || { echo "headless.sh: Xvfb ended" >&2; exit 1; }
      unset wm
      break
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "headless.sh: no window manager announced itself within ${wm_wait} s" >&2
      cat "$wmlog" >&2
      exit 1
    fi
    sleep 0.05
  done
  [ -n "${wm:-}" ] && break
  sleep 0.5
done
if [ -z "${wm:-}" ]; then
  echo "headless.sh: openbox could not be started; no window manager" >&2
  exit 1
fi
# Tests that play a slow window manager freeze it for a moment by its pid.
export QUILLET_WM_PID=$wm
"$@"
