#!/usr/bin/env bash
# Installs the Debian packages Quillet needs to build, run and test, skipping
# what is already there. Needs root (or sudo) only when something is missing.
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev
       qt6-webengine-dev libmpv-dev zlib1g-dev libxcb1-dev libgtest-dev libgmock-dev)
run=(xdg-utils)
test=(xvfb xauth x11-utils xdotool openbox imagemagick ffmpeg libgl1-mesa-dri xdg-utils
      python3 clang libclang-rt-14-dev dbus-daemon playerctl python3-dbus python3-gi
      qt6-gtk-platformtheme)
bench=(mpv time libx11-dev)

want=("${build[@]}" "${run[@]}")
case "${1:-run}" in
  test) want+=("${test[@]}") ;;
  bench) want+=("${test[@]}" "${bench[@]}") ;;
esac

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
