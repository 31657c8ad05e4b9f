#!/usr/bin/env bash
# Checks the Debian packages that scripts/release/package-debian.sh left in dist/: lintian at its
# default level finds nothing (its output is shown either way), and each package holds exactly
# its files, where Debian and the programs look for them.
#   scripts/check/debian.sh             (after scripts/release/package-debian.sh)
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
plugin_deb=dist/orvane-k4_${version}_$arch.deb
bridge_deb=dist/orvane-k4-linuxcnc_${version}_$arch.deb
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. scripts/check/checks.sh  # the working folder is the checkout (above)
# The package's files (not folders), from its data part.
contents() { dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sed 's|^\./|/|' | LC_ALL=C sort; }
# Every listed file is in the package, and the package holds nothing beyond them and the guide's
# pictures.
holds_exactly() {  # deb file...
  local deb=$1
  shift
  diff <(printf '%s\n' "$@" | LC_ALL=C sort) <(contents "$deb" | grep -v '^/usr/share/doc/orvane-k4/images/')
}
field_has() {  # deb field text
  dpkg-deb -f "$1" "$2" | grep -qF -- "$3" || { echo "$2: $(dpkg-deb -f "$1" "$2")"; return 1; }
}
udev_rule_same() {
  dpkg-deb -x "$plugin_deb" "$work/plugin" &&
    cmp packaging/udev/70-orvane-k4.rules "$work/plugin/usr/lib/udev/rules.d/70-orvane-k4.rules"
}
guide_pictures_shipped() {
  dpkg-deb -x "$plugin_deb" "$work/plugin" || return 1
  local doc=$work/plugin/usr/share/doc/orvane-k4 picture
  for picture in $(grep -o '<img[^>]* src="[^"]*"' "$doc/USER_GUIDE.html" | sed 's/.* src="\([^"]*\)"/\1/'); do
    [ -f "$doc/$picture" ] || { echo "the guide shows $picture, which is not shipped"; return 1; }
  done
}

echo "check-debian: dist/ for version $version"
for deb in "$plugin_deb" "$bridge_deb"; do
  [ -f "$deb" ] || { echo "check-debian: no $deb (scripts/release/package-debian.sh)"; exit 1; }
done
check "lintian finds nothing in either package at its default level" \
  lintian --fail-on error,warning "$plugin_deb" "$bridge_deb"
lintian "$plugin_deb" "$bridge_deb" | sed 's/^/        lintian: /'
check "orvane-k4 holds the plug-in, k4-hostsim, the udev rule, the man page and the guide" \
  holds_exactly "$plugin_deb" /usr/bin/k4-hostsim "/usr/lib/$multiarch/orvane-k4/Orvane_K4.so" \
  /usr/lib/udev/rules.d/70-orvane-k4.rules /usr/share/man/man1/k4-hostsim.1.gz \
  /usr/share/doc/orvane-k4/USER_GUIDE.html /usr/share/doc/orvane-k4/changelog.gz \
  /usr/share/doc/orvane-k4/copyright
check "orvane-k4 ships every picture its guide shows" guide_pictures_shipped
check "orvane-k4's udev rule is the project's" udev_rule_same
check "orvane-k4-linuxcnc holds the bridge, its man page, the INI example and its GPL notice" \
  holds_exactly "$bridge_deb" /usr/bin/k4-linuxcnc /usr/share/man/man1/k4-linuxcnc.1.gz \
  /usr/share/doc/orvane-k4-linuxcnc/changelog.gz /usr/share/doc/orvane-k4-linuxcnc/copyright \
  /usr/share/doc/orvane-k4-linuxcnc/examples/INI-lines.txt
check "orvane-k4-linuxcnc depends on LinuxCNC's package and on this very orvane-k4" \
  bash -c "$(declare -f field_has); field_has '$bridge_deb' Depends linuxcnc-uspace &&
           field_has '$bridge_deb' Depends 'orvane-k4 (= $version)'"
check "orvane-k4-linuxcnc's copyright names the GPL for the bridge" \
  bash -c "dpkg-deb --fsys-tarfile '$bridge_deb' |
           tar -xOf - ./usr/share/doc/orvane-k4-linuxcnc/copyright | grep -q '^License: GPL-2+'"
ls -l "$plugin_deb" "$bridge_deb" | awk '{print "        size: " $5 " bytes  " $NF}'
checks_summary check-debian
