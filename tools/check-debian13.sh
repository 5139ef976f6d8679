#!/usr/bin/env bash
# Builds Quillet and runs its whole test suite headless in a fresh Debian 13
# (trixie) chroot, made with mmdebstrap from the Debian mirror this machine
# uses. This machine's own apt sources are never changed. Needs root.
#   tools/check-debian13.sh [chroot folder]   (default: a new folder in /var/tmp)
# The chroot is kept for a look afterwards, and a later run given the same
# folder reuses it and its build; remove it with rm -rf.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-debian13.sh: run as root (chroot, mounts)" >&2; exit 2; }
command -v mmdebstrap >/dev/null || {
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends mmdebstrap
}

mirror=""
if [ -r /etc/apt/sources.list.d/debian.sources ]; then
  mirror=$(awk '$1 == "URIs:" && $2 !~ /security/ { print $2; exit }' \
               /etc/apt/sources.list.d/debian.sources)
fi
if [ -z "$mirror" ] && [ -r /etc/apt/sources.list ]; then
  mirror=$(awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' \
               /etc/apt/sources.list)
fi
mirror=${mirror:-http://deb.debian.org/debian}

root=${1:-$(mktemp -d /var/tmp/quillet-debian13.XXXXXX)}
if [ ! -x "$root/usr/bin/apt-get" ]; then
  echo "Making a Debian 13 root in $root from $mirror"
  rmdir "$root" 2>/dev/null || true
  mmdebstrap --variant=apt --include=ca-certificates trixie "$root" "deb $mirror trixie main"
fi

# The sources as they are now, tracked or new, without build folders. The
# build folder of an earlier run in the same chroot is kept: files keep their
# times, so only what changed is built again.
mkdir -p "$root/src"
find "$root/src" -mindepth 1 -maxdepth 1 ! -name build -exec rm -rf {} +
git -C "$top" ls-files -z --cached --others --exclude-standard |
  (cd "$top" && tar --null --ignore-failed-read -T - -cf -) | tar -C "$root/src" -xf -
cp /etc/resolv.conf "$root/etc/resolv.conf"

echo "Building and testing in Debian 13"
# A mount namespace of its own: the mounts go away with it, and none of them
# reaches this machine's /dev or /sys.
unshare --mount --propagation private /bin/bash -euo pipefail -c '
  root=$1
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  exec chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 /bin/bash -c "cd /src && tools/setup.sh test"
' check-debian13 "$root"
