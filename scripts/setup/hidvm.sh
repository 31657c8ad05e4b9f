#!/usr/bin/env bash
# Sets up what the hidraw VM test needs and keeps it in a cache outside the checkout:
#   - qemu-system-x86_64 and cpio (installed with apt when missing);
#   - Debian's current amd64 kernel (the package linux-image-amd64 depends on) and
#     busybox-static, downloaded as .deb files and checked against the SHA256 sums of the
#     signed package index before every reuse;
#   - from the kernel: the uncompressed vmlinux (booting it saves the emulated decompression)
#     and the modules uhid and hid-generic needs (hid, uhid, hid-generic), decompressed, since
#     busybox's insmod takes plain .ko files only.
# Prints the folder that holds vmlinux, busybox and modules/ on its last line.
#   scripts/setup/hidvm.sh            K4_HIDVM_CACHE=<dir> (default /var/cache/k4-hidvm)
set -euo pipefail
cache=${K4_HIDVM_CACHE:-/var/cache/k4-hidvm}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
apt_get() { $SUDO apt-get -o DPkg::Lock::Timeout=600 "$@"; }
say() { echo "hidvm-setup: $*" >&2; }

missing=()
command -v qemu-system-x86_64 >/dev/null || missing+=(qemu-system-x86)
command -v cpio >/dev/null || missing+=(cpio)
command -v xz >/dev/null || missing+=(xz-utils)
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
    { apt_get update -qq && apt_get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
fi

$SUDO mkdir -p "$cache"
[ -w "$cache" ] || { say "cannot write $cache"; exit 1; }

# The package the meta-package points at today: old kernel versions leave the archive.
kernel_pkg=$(apt-cache depends linux-image-amd64 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
if [ -z "$kernel_pkg" ]; then
  apt_get update -qq
  kernel_pkg=$(apt-cache depends linux-image-amd64 |
    sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
fi
[ -n "$kernel_pkg" ] || { say "no kernel package behind linux-image-amd64"; exit 1; }

# Field FIELD of the candidate version's index record of package PKG.
field() { apt-cache show --no-all-versions "$1" | sed -n "s/^$2: //p" | head -n 1; }

# Makes sure $cache/PKG.deb is the candidate version, by the index's SHA256; downloads it when
# missing or different.
fetch() {
  local pkg=$1 sum
  sum=$(field "$pkg" SHA256)
  [ -n "$sum" ] || { say "no SHA256 for $pkg in the package index"; return 1; }
  if [ -f "$cache/$pkg.deb" ] && echo "$sum  $cache/$pkg.deb" | sha256sum -c --status; then
    return 0
  fi
  say "downloading $pkg $(field "$pkg" Version)"
  rm -f "$cache/$pkg.deb" "$cache"/"${pkg}"_*.deb
  (cd "$cache" && apt-get download -qq "$pkg" >/dev/null) ||
    { apt_get update -qq && (cd "$cache" && apt-get download -qq "$pkg" >/dev/null); }
  sum=$(field "$pkg" SHA256)
  mv "$cache"/"${pkg}"_*.deb "$cache/$pkg.deb"
  echo "$sum  $cache/$pkg.deb" | sha256sum -c --status ||
    { say "$pkg.deb does not match the index's SHA256"; rm -f "$cache/$pkg.deb"; return 1; }
}
fetch "$kernel_pkg"
fetch busybox-static

# What is extracted is kept under a folder named after the two packages' sums, with a sum list
# of its own, so a changed or damaged extract is made again.
key=$(cat "$cache/$kernel_pkg.deb" "$cache/busybox-static.deb" | sha256sum | cut -c1-16)
out="$cache/boot-$key"
if [ -f "$out/SHA256SUMS" ] && (cd "$out" && sha256sum -c --status SHA256SUMS); then
  echo "$out"
  exit 0
fi
say "extracting the kernel, its HID modules and busybox into $out"
rm -rf "$cache"/boot-*
work=$(mktemp -d "$cache/extract.XXXXXX")
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$cache/$kernel_pkg.deb" "$work/kernel"
dpkg-deb -x "$cache/busybox-static.deb" "$work/busybox"
mkdir -p "$work/out/modules"
python3 "$(dirname "$0")/hidvm-extract-vmlinux.py" "$work"/kernel/boot/vmlinuz-* "$work/out/vmlinux"
for module in hid uhid hid-generic; do
  file=$(find "$work/kernel/lib/modules" -name "$module.ko*" | head -n 1)
  [ -n "$file" ] || { say "module $module not in $kernel_pkg"; exit 1; }
  case "$file" in
    *.ko.xz) xz -dc "$file" >"$work/out/modules/$module.ko" ;;
    *.ko.zst) zstd -qdc "$file" >"$work/out/modules/$module.ko" ;;
    *.ko.gz) gzip -dc "$file" >"$work/out/modules/$module.ko" ;;
    *) cp "$file" "$work/out/modules/$module.ko" ;;
  esac
done
cp "$work/busybox/bin/busybox" "$work/out/busybox"
echo "$kernel_pkg $(field "$kernel_pkg" Version)" >"$work/out/VERSION"
(cd "$work/out" && find . -type f ! -name SHA256SUMS -printf '%P\n' | sort | xargs sha256sum >SHA256SUMS)
mv "$work/out" "$out"
echo "$out"
