#!/usr/bin/env bash
# The Debian packages in dist/ as a user meets them on a fresh Debian 12 system: in a new root
# unpacked from scripts/setup/debian-root.sh's cached tarball, orvane-k4 is installed with apt
# (its dependencies from the root's own apt cache, no network), the simulator runs its demo from
# the installed files as an unprivileged user (no source tree in that root), the package is
# removed with what apt installed for it (the guide's command) and purged, and the root's file list must then be what it
# was before. orvane-k4-linuxcnc's install is resolved by apt in the same root (LinuxCNC's
# packages are Debian's, but downloading them for every run would make this step minutes long);
# K4_DEBROOT_BRIDGE=install installs and runs it there too.
# Everything runs in its own mount and process namespace: when it ends, also on failure, every
# process in it is killed and every mount is gone; the root's folder is removed.
#   scripts/check/debian-root.sh        (root; after scripts/release/package-debian.sh)
#   K4_DEBROOT_BRIDGE=install scripts/check/debian-root.sh   also installs LinuxCNC and the bridge
set -uo pipefail
cd "$(dirname "$0")/../.." || exit 1
version=$(sed -n 's/^project(OrvaneK4 VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
plugin_deb=dist/orvane-k4_${version}_$arch.deb
bridge_deb=dist/orvane-k4-linuxcnc_${version}_$arch.deb
for deb in "$plugin_deb" "$bridge_deb"; do
  [ -f "$deb" ] || { echo "debian-root: no $deb (scripts/release/package-debian.sh)"; exit 1; }
done
[ "$(id -u)" -eq 0 ] || { echo "debian-root: needs root (chroot, mounts)"; exit 1; }
tarball=$(scripts/setup/debian-root.sh) || exit 1

# A run killed outright (no trap) leaves its folder: removed here once its process is gone and
# nothing is mounted in it.
for stale in /var/tmp/k4-debroot.*; do
  [ -f "$stale/pid" ] || continue
  kill -0 "$(cat "$stale/pid")" 2>/dev/null || grep -q " $stale/" /proc/mounts || rm -rf "$stale"
done
work=$(mktemp -d /var/tmp/k4-debroot.XXXXXX)
echo $$ >"$work/pid"
# shellcheck disable=SC2317  # run from the trap
cleanup() {
  # The namespace's mounts went with it; refuse to remove anything still mounted.
  if grep -q " $work/" /proc/mounts; then
    echo "debian-root: mounts left under $work, not removed"
    return
  fi
  rm -rf "$work"
}
trap cleanup EXIT
root=$work/root
mkdir "$root"
tar -xf "$tarball" -C "$root" || exit 1
cp "$plugin_deb" "$bridge_deb" "$root/tmp/"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
bridge_install=${K4_DEBROOT_BRIDGE:-resolve}

# What runs inside the root, as root there; the unprivileged user is nobody.
cat >"$root/tmp/k4-test.sh" <<INNER
#!/bin/sh
set -u
export PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive HOME=/root
failures=0
fail() { echo "  FAIL  \$*"; failures=\$((failures + 1)); }
ok() { echo "  ok    \$*"; }
files() {  # the root's files, less the kernel's, the test's own, and apt's, dpkg's and ldconfig's logs and caches
  find / -xdev \( -path /proc -o -path /dev -o -path /sys -o -path /tmp -o -path /var/log \) -prune \
    -o -print | grep -vE '^/var/cache/apt/[a-z]*\.bin$|^/var/cache/debconf/[a-z]*\.dat-old$|^/var/lib/dpkg/[a-z]*-old$|^/var/lib/apt/extended_states$|^/var/cache/ldconfig/aux-cache$' | LC_ALL=C sort
}
files >/tmp/before
started=\$(date +%s.%N)
if (cd /tmp && apt-get install --yes -q ./orvane-k4_${version}_$arch.deb) >/tmp/install.log 2>&1; then
  ok "apt-get install ./orvane-k4_${version}_$arch.deb (its dependencies from the root's apt cache)"
else
  fail "apt-get install ./orvane-k4_${version}_$arch.deb"; sed 's/^/        /' /tmp/install.log | tail -15
fi
for file in /usr/bin/k4-hostsim /usr/lib/$multiarch/orvane-k4/Orvane_K4.so \
    /usr/lib/udev/rules.d/70-orvane-k4.rules /usr/share/man/man1/k4-hostsim.1.gz \
    /usr/share/doc/orvane-k4/USER_GUIDE.html /usr/share/doc/orvane-k4/copyright; do
  [ -f "\$file" ] || fail "not installed: \$file"
done
if (cd /tmp && setpriv --reuid=65534 --regid=65534 --clear-groups env HOME=/tmp k4-hostsim --demo) \
    >/tmp/demo.log 2>&1 && grep -q G91G1 /tmp/demo.log; then
  ok "k4-hostsim --demo as user nobody, from the installed files: \$(grep -c G91G1 /tmp/demo.log) jog lines"
else
  fail "k4-hostsim --demo from the installed files"; sed 's/^/        /' /tmp/demo.log | tail -15
fi
ended=\$(date +%s.%N)
echo "  time  install to the demo's end: \$(echo "\$started \$ended" | awk '{printf "%.1f", \$2 - \$1}') s"
# The guide's removal: the package keeps no configuration files, so removing it purges it.
if apt-get remove --yes -q --autoremove orvane-k4 >/tmp/remove.log 2>&1 &&
    [ ! -e /usr/bin/k4-hostsim ] && [ ! -e /usr/lib/$multiarch/orvane-k4 ]; then
  ok "apt-get remove --autoremove orvane-k4: the programs and what apt brought for them are gone"
else
  fail "apt-get remove --autoremove orvane-k4"; sed 's/^/        /' /tmp/remove.log | tail -15
fi
if dpkg --purge orvane-k4 >/tmp/purge.log 2>&1 &&
    ! dpkg-query -W -f '\${db:Status-Abbrev}' orvane-k4 >/dev/null 2>&1; then
  ok "dpkg --purge orvane-k4: dpkg keeps nothing of it"
else
  fail "dpkg --purge orvane-k4"; sed 's/^/        /' /tmp/purge.log | tail -15
fi
files >/tmp/after
if diff /tmp/before /tmp/after >/tmp/left; then
  ok "nothing left behind: the root's \$(wc -l </tmp/before) files are the ones it had before"
else
  fail "the root's files differ after the purge:"; sed 's/^/        /' /tmp/left | head -30
fi
# The bridge: apt must find every dependency (LinuxCNC's packages) for both packages together.
if (cd /tmp && apt-get install --simulate -q ./orvane-k4_${version}_$arch.deb \
    ./orvane-k4-linuxcnc_${version}_$arch.deb) >/tmp/bridge.log 2>&1; then
  ok "orvane-k4-linuxcnc installable with LinuxCNC's packages (apt resolves \$(grep -c '^Inst ' /tmp/bridge.log) packages; not downloaded)"
else
  fail "orvane-k4-linuxcnc cannot be installed:"; sed 's/^/        /' /tmp/bridge.log | tail -15
fi
# With K4_DEBROOT_BRIDGE=install, both packages are installed with LinuxCNC (its packages kept
# in /var/cache/k4-debroot/archives between runs), the bridge runs, and purging them leaves none
# of their own files (LinuxCNC's packages are not ours to judge).
if [ "$bridge_install" = install ]; then
  started=\$(date +%s.%N)
  if (cd /tmp && apt-get install --yes -q -o Dir::Cache::Archives=/tmp/k4-archives/ \
      ./orvane-k4_${version}_$arch.deb ./orvane-k4-linuxcnc_${version}_$arch.deb) >/tmp/bridge.log 2>&1 &&
      k4-linuxcnc --help >/tmp/bridge-help.log 2>&1 && grep -q -- '--plugin' /tmp/bridge-help.log; then
    ok "both packages installed with LinuxCNC (\$(grep -c '^Setting up ' /tmp/bridge.log) packages set up), k4-linuxcnc runs"
  else
    fail "installing orvane-k4-linuxcnc with LinuxCNC"; sed 's/^/        /' /tmp/bridge.log /tmp/bridge-help.log | tail -15
  fi
  echo "  time  install with LinuxCNC: \$(echo "\$started \$(date +%s.%N)" | awk '{printf "%.1f", \$2 - \$1}') s"
  if apt-get purge --yes -q --autoremove orvane-k4 orvane-k4-linuxcnc >/tmp/bridge-purge.log 2>&1 &&
      [ ! -e /usr/bin/k4-linuxcnc ] && [ ! -e /usr/bin/k4-hostsim ] &&
      [ ! -e /usr/share/doc/orvane-k4-linuxcnc ] && [ ! -e /usr/lib/$multiarch/orvane-k4 ]; then
    ok "both purged with what apt brought for them: none of their files is left"
  else
    fail "purging both packages"; sed 's/^/        /' /tmp/bridge-purge.log | tail -15
  fi
fi
exit \$((failures > 0))
INNER
chmod 755 "$root/tmp/k4-test.sh"

echo "debian-root: $plugin_deb in a fresh Debian 12 root from $tarball"
# A private mount namespace (its mounts vanish with it) and a process namespace whose processes
# are all killed when its first one ends.
unshare --mount --propagation private --pid --fork --kill-child -- sh -c '
  root=$1
  mount -t proc proc "$root/proc" || exit 1
  for node in null zero full random urandom tty; do
    [ -e "$root/dev/$node" ] || touch "$root/dev/$node"
    mount --bind "/dev/$node" "$root/dev/$node" || exit 1
  done
  mkdir -p "$root/dev/pts"
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" || exit 1
  if [ "$2" = install ]; then
    mkdir -p /var/cache/k4-debroot/archives/partial "$root/tmp/k4-archives"
    mount --bind /var/cache/k4-debroot/archives "$root/tmp/k4-archives" || exit 1
  fi
  exec chroot "$root" /tmp/k4-test.sh' sh "$root" "$bridge_install"
status=$?
echo "debian-root: $([ "$status" -eq 0 ] && echo passed || echo FAILED)"
exit "$status"
