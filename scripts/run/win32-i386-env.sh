# shellcheck shell=bash disable=SC2034
# Sourced by the 32-bit Windows scripts (setup/win32-i386.sh, win32-i386-session.sh,
# win32-i386-run.sh). The i686 programs run in 32-bit Wine inside an i386 Debian 12 root, whose
# 32-bit code the static qemu-i386 runs: these machines' kernels execute no 32-bit program
# themselves. Everything downloaded or made for it stays in one cache folder outside the checkout.
k4_here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
k4_cache="${K4_WIN32_CACHE:-/var/cache/k4-win32-i386}"
# Bump when the recipe below changes, so that an older cache is made anew instead of reused.
k4_recipe=1
k4_root="$k4_cache/root"
k4_qemu="$k4_cache/qemu/qemu-i386"
k4_binfmt_dir=/proc/sys/fs/binfmt_misc
# Our own registration's name: it never takes over or removes anybody else's.
k4_binfmt_name=k4-qemu-i386
# Inside the root the checkout keeps its own path, so the build's paths mean the same there.
k4_lock="$k4_cache/.lock"

k4_log() { echo "win32-i386: $*" >&2; }

# ---- binfmt_misc: the kernel hands i386 programs to qemu-i386 --------------------------------
# The F flag makes the kernel open the interpreter when it is registered, so it also works for
# programs inside the root, where its path does not exist. State of what we did is kept in
# files so that another process (the session's stop, a failed run's clean-up) can undo it.
k4_state="$k4_cache/state"

k4_binfmt_on() {
  mkdir -p "$k4_state"
  if [ ! -e "$k4_binfmt_dir/register" ]; then
    mount -t binfmt_misc binfmt_misc "$k4_binfmt_dir"
    touch "$k4_state/binfmt-mounted"
  fi
  if [ ! -e "$k4_binfmt_dir/$k4_binfmt_name" ]; then
    local magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    local mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf '%s' ":$k4_binfmt_name:M::$magic:$mask:$k4_qemu:F" >"$k4_binfmt_dir/register"
    touch "$k4_state/binfmt-registered"
  fi
}

k4_binfmt_off() {
  if [ -e "$k4_state/binfmt-registered" ]; then
    [ -e "$k4_binfmt_dir/$k4_binfmt_name" ] && echo -1 >"$k4_binfmt_dir/$k4_binfmt_name"
    rm -f "$k4_state/binfmt-registered"
  fi
  if [ -e "$k4_state/binfmt-mounted" ]; then
    umount "$k4_binfmt_dir" 2>/dev/null || umount -l "$k4_binfmt_dir" 2>/dev/null || true
    rm -f "$k4_state/binfmt-mounted"
  fi
}

# ---- Mounts inside the root ------------------------------------------------------------------
# Each mount made is listed (one target a line) so that the clean-up removes exactly those, in
# reverse order, also after a failure half-way.
k4_mount() { # k4_mount ROOT TARGET-INSIDE mount-arguments...
  local root=$1 target=$2
  shift 2
  mkdir -p "$root$target"
  mountpoint -q "$root$target" && return 0
  mount "$@" "$root$target"
  echo "$root$target" >>"$k4_state/mounts"
}

k4_mounts_on() { # k4_mounts_on ROOT [bind-dir...]
  local root=$1
  shift
  mkdir -p "$k4_state"
  k4_mount "$root" /proc -t proc proc
  k4_mount "$root" /dev --bind /dev
  k4_mount "$root" /dev/pts --bind /dev/pts
  k4_mount "$root" /dev/shm -t tmpfs -o mode=1777 tmpfs
  local dir
  for dir in "$@"; do
    k4_mount "$root" "$dir" --bind "$dir"
  done
}

k4_mounts_off() {
  [ -r "$k4_state/mounts" ] || return 0
  local target
  # Reverse order: the inner mounts first.
  while read -r target; do
    mountpoint -q "$target" || continue
    umount "$target" 2>/dev/null || umount -l "$target" 2>/dev/null || k4_log "could not unmount $target"
  done < <(tac "$k4_state/mounts")
  rm -f "$k4_state/mounts"
}

# Ends every process whose root is ROOT (only programs started inside it: ours), by process id.
k4_kill_inside() { # k4_kill_inside ROOT
  local root
  root=$(readlink -f "$1")
  local pid link pids=()
  for link in /proc/[0-9]*/root; do
    pid=${link#/proc/}
    pid=${pid%/root}
    [ "$(readlink "$link" 2>/dev/null)" = "$root" ] && pids+=("$pid")
  done
  [ ${#pids[@]} -gt 0 ] || return 0
  k4_log "ending ${#pids[@]} process(es) left inside the root: ${pids[*]}"
  kill -TERM "${pids[@]}" 2>/dev/null || true
  sleep 1
  kill -KILL "${pids[@]}" 2>/dev/null || true
}

# ---- Verification of the cache ----------------------------------------------------------------
# The interpreter against the checksum written when it was unpacked.
k4_qemu_ok() {
  [ -x "$k4_qemu" ] && [ -r "$k4_qemu.sha256" ] &&
    (cd "$(dirname "$k4_qemu")" && sha256sum --quiet -c "$k4_qemu.sha256" >/dev/null 2>&1)
}

# The root: made to this recipe, completed, and every file of every installed package as dpkg
# recorded it (the checksums are checked by the host's own md5sum, at native speed).
k4_root_ok() {
  [ "$(cat "$k4_root/.k4-ready" 2>/dev/null)" = "recipe $k4_recipe" ] || return 1
  [ -x "$k4_root/usr/lib/wine/wine" ] || return 1
  (cd "$k4_root" && cat var/lib/dpkg/info/*.md5sums | md5sum --quiet -c >/dev/null 2>&1)
}
