#!/usr/bin/env bash
# Installs the Debian packages Quillet needs to build, run and test, skipping
# what is already there. Needs root (or sudo) only when something is missing.
#   tools/install-deps.sh [run|test|bench|package]
set -euo pipefail

build=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools
       qt6-webengine-dev libmpv-dev libavformat-dev zlib1g-dev libxcb1-dev libgtest-dev libgmock-dev
       libxss-dev libx11-dev qt6-wayland-dev qt6-base-private-dev wayland-protocols
       libwayland-dev qt6-l10n-tools qt6-tools-dev libglib2.0-dev)
# qt6-translations-l10n: Qt's own words (Yes, No, the file dialog) translated.
run=(xdg-utils qt6-wayland qt6-translations-l10n)
# gtk-update-icon-cache keeps the icon themes' caches as every desktop has
# them: without one, Qt 6.8 walks each theme folder and its first file dialog
# takes seconds.
test=(xvfb xauth x11-utils xdotool openbox imagemagick ffmpeg libgl1-mesa-dri xdg-utils
      python3 clang desktop-file-utils appstream man-db gtk-update-icon-cache dbus-daemon playerctl
      python3-dbus python3-gi qt6-gtk-platformtheme
      sway grim wtype jq wayvnc gir1.2-gtk-3.0 passwd util-linux weston
      libglib2.0-bin at-spi2-core python3-pyatspi fonts-wqy-microhei)
bench=(mpv time libx11-dev libxtst-dev libdbus-1-dev)
package=(dpkg-dev file lintian)

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
updated=false
update() {
  $updated && return 0
  $sudo apt-get update -q
  updated=true
}

# The sanitizer and fuzz builds want the runtime of Debian's default clang,
# whatever its version: read from the installed clang, else from apt.
clang_runtime() {
  local depends
  depends=$(dpkg-query -W -f='${Depends}' clang 2>/dev/null ||
            apt-cache depends clang 2>/dev/null | sed -n 's/^ *Depends: //p' | tr '\n' ',')
  sed -n 's/.*\bclang-\([0-9][0-9]*\)\b.*/libclang-rt-\1-dev/p' <<<"$depends" | head -n1
}

want=("${build[@]}" "${run[@]}")
case "${1:-run}" in
  test) want+=("${test[@]}") ;;
  bench) want+=("${test[@]}" "${bench[@]}") ;;
  package) want+=("${package[@]}") ;;
esac
if [[ " ${want[*]} " == *" clang "* ]]; then
  runtime=$(clang_runtime)
  if [ -z "$runtime" ]; then
    update
    runtime=$(clang_runtime)
  fi
  [ -n "$runtime" ] || { echo "install-deps.sh: no clang package known to apt" >&2; exit 1; }
  want+=("$runtime")
fi

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Icon themes installed before the cache tool have no cache yet; the tool's
# own package trigger only runs for themes that change later.
if command -v update-icon-caches >/dev/null; then
  uncached=()
  for theme in /usr/share/icons/*/index.theme; do
    dir=${theme%/index.theme}
    # Only a theme with icon folders has anything to cache.
    if [ ! -e "$dir/icon-theme.cache" ] && compgen -G "$dir/*/" >/dev/null; then
      uncached+=("$dir")
    fi
  done
  [ ${#uncached[@]} -eq 0 ] || $sudo update-icon-caches "${uncached[@]}"
fi
exit 0
