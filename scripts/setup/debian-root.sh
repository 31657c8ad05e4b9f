#!/usr/bin/env bash
# A fresh Debian 12 root for the Debian packages' install test, made once with mmdebstrap (the
# minimal "apt" variant) and kept as a tarball under /var/cache/k4-debroot. The package lists and
# the .deb files of the plug-in's own dependencies (libxml2 and what it needs) are downloaded
# into the root's apt cache but not installed, so the test installs them as a user's apt would,
# without the network. Verified before each reuse (its SHA256, the recipe it was made with, and
# the files the test needs); remade when any of that fails. Prints the tarball's path.
#   scripts/setup/debian-root.sh        (root)
set -euo pipefail
cache=/var/cache/k4-debroot
tarball=$cache/bookworm.tar
# Any change here remakes the root.
recipe="mmdebstrap --variant=apt bookworm; apt cache: libxml2 (download only); v1"

usable() {
  [ -f "$tarball" ] && [ -f "$tarball.sha256" ] && [ "$(cat "$cache/recipe" 2>/dev/null)" = "$recipe" ] &&
    (cd "$cache" && sha256sum --status -c "$(basename "$tarball").sha256") || return 1
  local listing
  listing=$(tar -tf "$tarball") || return 1
  grep -qx '\./usr/bin/apt-get' <<<"$listing" &&
    grep -q '^\./var/cache/apt/archives/libxml2_.*\.deb$' <<<"$listing" &&
    grep -q '^\./var/lib/apt/lists/.*_Packages$' <<<"$listing"
}

if usable; then
  echo "$tarball"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "debian-root: run as root to make $tarball" >&2; exit 1; }
command -v mmdebstrap >/dev/null || { echo "debian-root: mmdebstrap is missing (scripts/setup/debian.sh)" >&2; exit 1; }
echo "debian-root: making a fresh Debian 12 root in $tarball (a few minutes, once)" >&2
mkdir -p "$cache"
rm -f "$tarball" "$tarball.sha256" "$cache/recipe" "$tarball.new"
trap 'rm -f "$tarball.new"' EXIT
mmdebstrap --quiet --variant=apt --format=tar --skip=cleanup/apt \
  --customize-hook='chroot "$1" apt-get install --yes --quiet --download-only libxml2 >/dev/null' \
  bookworm "$tarball.new" >&2
mv "$tarball.new" "$tarball"
(cd "$cache" && sha256sum "$(basename "$tarball")" >"$(basename "$tarball").sha256")
echo "$recipe" >"$cache/recipe"
usable || { echo "debian-root: the new root in $tarball lacks what the test needs" >&2; exit 1; }
echo "$tarball"
