#!/usr/bin/env bash
# Runs a command on a private Xvfb display with the openbox window manager,
# so that windows get real frames as on a desktop. Xvfb picks the display
# number itself (-displayfd), so runs started side by side never share one.
set -euo pipefail
# The desktop is private too: without the caller's desktop session, Qt picks
# the same platform theme on every machine, rather than GTK 3 when run from a
# GNOME-like session with qt6-gtk-platformtheme installed (GTK's accessibility
# bridge then keeps a few strings it never frees, and the leak check fails).
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION \
  QT_QPA_PLATFORMTHEME
numfile=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  kill "${wm:-}" "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -f "$numfile"
}
trap cleanup EXIT
for _ in $(seq 200); do [ -s "$numfile" ] && break; sleep 0.05; done
n=$(tr -dc '0-9' <"$numfile")
[ -n "$n" ] || { echo "headless.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$n
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 200); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.05; done
"$@"
