#!/usr/bin/env bash
# check-debian13.sh takes its mirror only from the apt sources it is shown
# (through APT_CONFIG), in either format, and stops with a clear message when
# they hold none.
#   debian13_mirror.sh CHECK_SCRIPT
set -euo pipefail
script=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
mkdir -p "$dir/etc/sources.list.d" "$dir/etc/apt.conf.d"
printf 'Dir::Etc "%s/etc/";\n' "$dir" >"$dir/apt.conf"
export APT_CONFIG=$dir/apt.conf
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
fail() { echo "FAIL: $*" >&2; exit 1; }

# None, or only other programs' sources: a message, and nothing else is tried.
printf 'deb [signed-by=/k.gpg] http://elsewhere.example/repo stable main\n' \
  >"$dir/etc/sources.list.d/other.list"
if out=$("$script" --print-mirror 2>"$dir/err"); then fail "a mirror without a source: $out"; fi
grep -q "no Debian mirror in this machine's apt sources" "$dir/err" || fail "$(cat "$dir/err")"
[ -z "$out" ] || fail "printed $out"

# The one-line format, options included.
printf 'deb [arch=amd64 signed-by=/k.gpg] file:/srv/mirror-one/debian %s contrib main\n' \
  "$codename" >"$dir/etc/sources.list"
[ "$("$script" --print-mirror)" = file:/srv/mirror-one/debian ] || fail "one-line source"

# deb822: the stanza of this release with main, security and sources aside.
rm "$dir/etc/sources.list"
cat >"$dir/etc/sources.list.d/debian.sources" <<SOURCES
Types: deb
URIs: file:/srv/mirror-two/debian-security
Suites: $codename-security
Components: main

Types: deb-src deb
URIs: file:/srv/mirror-two/debian
Suites: $codename $codename-updates
Components: main
SOURCES
[ "$("$script" --print-mirror)" = file:/srv/mirror-two/debian ] || fail "deb822 source"
echo PASS
