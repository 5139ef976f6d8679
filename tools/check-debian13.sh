#!/usr/bin/env bash
# Builds Quillet and runs its whole test suite headless in a fresh Debian 13
# (trixie) chroot, made with mmdebstrap from the Debian mirror this machine
# uses. This machine's own apt sources are never changed. Needs root.
#   tools/check-debian13.sh [chroot folder]   (default: a new folder in /var/tmp)
#   tools/check-debian13.sh --print-mirror    (the mirror it would use, and stop)
# The chroot is kept for a look afterwards, and a later run given the same
# folder reuses it and its build; remove it with rm -rf.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

# The Debian mirror of this machine's apt sources (where apt-config says they
# are): the first source of the release this machine runs with its main
# component, in either format. Nothing else: a mirror this script picked
# itself could be one the machine cannot or may not reach.
debian_mirror() {
  local codename list parts
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d)"
  {
    cat "$list" "$parts"*.list 2>/dev/null | awk -v want="$codename" '
      $1 == "deb" { sub(/\[[^]]*\]/, ""); $0 = $0
                    if ($3 == want) for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit } }'
    for f in "$parts"*.sources; do
      [ -r "$f" ] && awk -v want="$codename" '
        function check() { if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " want " ") &&
                               (" " comps " ") ~ / main / && uri != "") { print uri; exit } }
        /^[ \t]*$/ { check(); types = suites = comps = uri = ""; next }
        /^Types:/ { $1 = ""; types = $0 } /^Suites:/ { $1 = ""; suites = $0 }
        /^Components:/ { $1 = ""; comps = $0 } /^URIs:/ { uri = $2 }
        END { check() }' "$f"
    done
  } 2>/dev/null | head -n 1
}

mirror=$(debian_mirror || true)
if [ -z "$mirror" ]; then
  echo "check-debian13.sh: no Debian mirror in this machine's apt sources" \
       "($(apt-config shell l Dir::Etc::sourcelist/f | cut -d"'" -f2) and its .d folder);" \
       "add the Debian source it should use there" >&2
  exit 2
fi
if [ "${1:-}" = --print-mirror ]; then
  echo "$mirror"
  exit 0
fi

[ "$(id -u)" -eq 0 ] || { echo "check-debian13.sh: run as root (chroot, mounts)" >&2; exit 2; }
command -v mmdebstrap >/dev/null || {
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends mmdebstrap
}

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
