#!/usr/bin/env bash
# Makes (once) what the 32-bit Windows test run needs, in the cache folder
# (K4_WIN32_CACHE, default /var/cache/k4-win32-i386), and checks it before every reuse:
#  - qemu-i386 from bookworm-backports' qemu-user package (a static binary, unpacked into the
#    cache; nothing is installed on this machine but debootstrap);
#  - an i386 Debian 12 root (debootstrap, minbase) with 32-bit Wine.
# Run as root. From nothing about 6-7 minutes on two cores; once made, a few seconds.
set -euo pipefail
# shellcheck source=scripts/run/win32-i386-env.sh
source "$(dirname "$0")/../run/win32-i386-env.sh"
export DEBIAN_FRONTEND=noninteractive
mirror=${K4_DEBIAN_MIRROR:-http://deb.debian.org/debian}
apt_wait=(-o DPkg::Lock::Timeout=600)

[ "$(id -u)" -eq 0 ] || { k4_log "must run as root (mounts, binfmt_misc, chroot)"; exit 1; }
mkdir -p "$k4_cache"
exec 8>"$k4_lock"
flock 8

if ! command -v debootstrap >/dev/null; then
  apt-get "${apt_wait[@]}" install -y -qq --no-install-recommends debootstrap >/dev/null
fi

# ---- qemu-i386 ----------------------------------------------------------------------------
fetch_qemu() {
  # A private apt state of its own, with bookworm-backports only: the machine's own sources and
  # package lists stay as they are. apt checks the package against the signed index.
  local apt="$k4_cache/apt"
  rm -rf "$apt" "$k4_cache/qemu"
  mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$k4_cache/qemu"
  echo "deb $mirror bookworm-backports main" >"$apt/sources.list"
  local opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
              -o APT::Sandbox::User=root
              -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt"
              -o Dir::Cache::archives="$apt/archives" -o APT::Architecture=amd64)
  apt-get "${opts[@]}" -qq update
  (cd "$apt/archives" && apt-get "${opts[@]}" -qq download qemu-user/bookworm-backports)
  local deb
  deb=$(ls "$apt/archives"/qemu-user_*.deb)
  local unpacked="$k4_cache/qemu/unpacked"
  dpkg-deb -x "$deb" "$unpacked"
  install -m 0755 "$unpacked/usr/bin/qemu-i386" "$k4_qemu"
  rm -rf "$unpacked" "$apt"
  # A static interpreter: nothing on this machine must be loaded for it.
  if ! file -b "$k4_qemu" 2>/dev/null | grep -q 'static' &&
     ldd "$k4_qemu" >/dev/null 2>&1; then
    k4_log "$k4_qemu is not a static binary"
    return 1
  fi
  basename "$deb" >"$k4_qemu.from"
  (cd "$(dirname "$k4_qemu")" && sha256sum "$(basename "$k4_qemu")" >"$k4_qemu.sha256")
}

if k4_qemu_ok; then
  k4_log "qemu-i386 from the cache: $("$k4_qemu" --version | head -1)"
else
  k4_log "fetching qemu-i386 (bookworm-backports qemu-user)"
  fetch_qemu
  k4_log "qemu-i386: $("$k4_qemu" --version | head -1)"
fi

# ---- The i386 root with 32-bit Wine ---------------------------------------------------------
cleanup() {
  k4_kill_inside "$k4_cache/root.new" 2>/dev/null || true
  k4_mounts_off
  k4_binfmt_off
}

make_root() {
  local new="$k4_cache/root.new"
  trap cleanup EXIT
  k4_binfmt_on
  # A half-made root of an earlier, failed attempt: nothing of it is mounted any more.
  k4_mounts_off
  rm -rf --one-file-system "$new"
  mkdir -p "$k4_cache/debs"
  k4_log "debootstrap: i386 Debian 12 (minbase) into $new"
  debootstrap --arch=i386 --variant=minbase --cache-dir="$k4_cache/debs" bookworm "$new" "$mirror" \
    >"$k4_cache/debootstrap.log" 2>&1 || { tail -n 30 "$k4_cache/debootstrap.log"; return 1; }
  # The root is a cache, checked file by file before each reuse: dpkg need not sync every file
  # it unpacks, which under the emulator costs the most.
  echo force-unsafe-io >"$new/etc/dpkg/dpkg.cfg.d/k4-unsafe-io"
  k4_mounts_on "$new"
  # The downloads of the packages below are kept for a remake as well.
  mkdir -p "$k4_cache/debs-wine"
  k4_mount "$new" /var/cache/apt/archives --bind "$k4_cache/debs-wine"
  echo "deb $mirror bookworm main" >"$new/etc/apt/sources.list"
  k4_log "installing 32-bit Wine inside the root"
  chroot "$new" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c 'apt-get -qq update && apt-get install -y -qq --no-install-recommends wine wine32 >/dev/null'
  k4_mounts_off
  echo "recipe $k4_recipe" >"$new/.k4-ready"
  rm -rf --one-file-system "$k4_root"
  mv "$new" "$k4_root"
  cleanup
  trap - EXIT
}

started=$SECONDS
if k4_root_ok; then
  k4_log "the i386 root from the cache, checked ($((SECONDS - started))s)"
else
  [ -e "$k4_root" ] && k4_log "the cached root is incomplete or changed: making it anew"
  make_root
  k4_root_ok || { k4_log "the new root does not pass its own check"; exit 1; }
  k4_log "the i386 root is made ($((SECONDS - started))s)"
fi
