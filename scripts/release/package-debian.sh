#!/usr/bin/env bash
# Builds the Debian packages in dist/ with Debian's own tools (dpkg-buildpackage, debhelper's dh
# with its CMake build system), from a copy of the checkout with packaging/debian as its debian/:
#   orvane-k4_<version>_<arch>.deb          Orvane_K4.so in /usr/lib/<multiarch>/orvane-k4/,
#                                            k4-hostsim, the udev rule, man page, the guide
#   orvane-k4-linuxcnc_<version>_<arch>.deb  k4-linuxcnc (GPL, tools/linuxcnc), its man page,
#                                            the INI example; depends on linuxcnc-uspace
# The copy holds the checkout's files as they are (committed or not, less what git ignores), so
# the packages are what the tests just built from. Build dependencies: scripts/setup/debian.sh.
#   scripts/release/package-debian.sh      K4_JOBS=<n> limits the parallel build jobs
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
jobs=${K4_JOBS:-$(nproc)}
version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
changelog=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "$changelog" != "$version" ]; then
  echo "package-debian: packaging/debian/changelog is at $changelog, CMakeLists.txt at $version;" \
    "add a changelog entry (dch -v $version)" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
work=$root/build/debian
source=$work/orvane-k4-$version
rm -rf "$work"
mkdir -p "$source" dist
git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' file; do
  [ -e "$file" ] && printf '%s\0' "$file"
done | tar --null -T - -cf - | tar -xf - -C "$source"
rm -rf "$source/debian"
cp -r packaging/debian "$source/debian"

log=$work/build.log
if ! (cd "$source" && DEB_BUILD_OPTIONS="parallel=$jobs nocheck" \
  dpkg-buildpackage -b --no-sign >"$log" 2>&1); then
  tail -40 "$log" >&2
  echo "package-debian: dpkg-buildpackage failed (the whole log: $log)" >&2
  exit 1
fi
rm -f dist/orvane-k4_*.deb dist/orvane-k4-linuxcnc_*.deb
for package in orvane-k4 orvane-k4-linuxcnc; do
  mv "$work/${package}_${version}_$arch.deb" dist/
done
ls -l "dist/orvane-k4_${version}_$arch.deb" "dist/orvane-k4-linuxcnc_${version}_$arch.deb"
