#!/usr/bin/env bash
# One 32-bit Windows session for a whole test run of the i686 build: the kernel handed to
# qemu-i386 for i386 programs, the i386 root's mounts (/proc, /dev, the checkout), a virtual
# X display and a resident 32-bit wineserver that every test shares.
#   win32-i386-session.sh start   (CTest fixture set-up, after scripts/setup/win32-i386.sh)
#   win32-i386-session.sh stop    (CTest fixture clean-up; also after a failed or cut-off run)
# The stop undoes exactly what the start did, ends every process left inside the root by its
# process id, and is harmless when nothing runs.
set -euo pipefail
# shellcheck source=scripts/run/win32-i386-env.sh
source "$(dirname "$0")/win32-i386-env.sh"
# shellcheck source=scripts/run/session-common.sh
source "$(dirname "$0")/session-common.sh"

session_file="$k4_state/session"
prefix="$k4_here/build/wineprefix32"
# Wine's own debugger would wait for ever at a crash: a crash must end the program at once.
overrides="mscoree,mshtml=;winedbg.exe=d"

# Runs a command inside the root with Wine's environment (DISPLAY from the caller).
inside() {
  chroot "$k4_root" /usr/bin/env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 \
    WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="$overrides" DISPLAY="${DISPLAY:-}" "$@" 8>&-
}
k4_wine() { inside /usr/bin/wine "$@"; }
k4_wineserver() { inside /usr/bin/wineserver "$@"; }

running() { k4_session_read "$session_file"; }

start() {
  [ "$(id -u)" -eq 0 ] || { k4_log "must run as root"; return 1; }
  mkdir -p "$k4_state"
  exec 8>"$k4_lock"
  flock 8
  if running; then
    if [ "$session_checkout" = "$k4_here" ]; then
      k4_log "session already running on $session_display"
      return 0
    fi
    k4_log "a session of $session_checkout is running; one checkout at a time"
    return 1
  fi
  # What a run that was cut off may have left.
  stop_locked
  if ! k4_qemu_ok || [ "$(cat "$k4_root/.k4-ready" 2>/dev/null)" != "recipe $k4_recipe" ]; then
    k4_log "no usable 32-bit environment in $k4_cache: run scripts/setup/win32-i386.sh"
    return 1
  fi
  # The display's socket folder, shared with the root.
  [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix
  k4_binfmt_on
  k4_mounts_on "$k4_root" /tmp/.X11-unix "$k4_here"

  if ! k4_display_start; then
    k4_log "the virtual display did not start"
    stop_locked
    return 1
  fi
  echo "$k4_display $k4_display_pid $k4_here" >"$session_file"
  export DISPLAY=$k4_display

  if [ ! -e "$prefix/.k4-ready" ]; then
    k4_log "making the 32-bit prefix $prefix (once)"
    mkdir -p "$prefix"
    k4_wine wineboot -i </dev/null >/dev/null 2>&1 || true
    # Top-level windows left to Wine: with no window manager on the display, hiding a managed
    # window (every dialog and message box) waits two seconds for one.
    k4_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
      </dev/null >/dev/null 2>&1 || true
    k4_wineserver -w || true
    [ -d "$prefix/drive_c/windows/system32" ] || { k4_log "could not make $prefix"; stop_locked; return 1; }
    touch "$prefix/.k4-ready"
  fi
  k4_wine_services_start
  k4_log "session: display $k4_display, prefix $prefix, $("$k4_qemu" --version | head -1)"
}

stop_locked() {
  if [ -r "$session_file" ]; then
    local display pid here
    read -r display pid here <"$session_file" || true
    if [ -x "$k4_root/usr/bin/wineserver" ] && mountpoint -q "$k4_root/proc"; then
      DISPLAY="$display" timeout 20 chroot "$k4_root" /usr/bin/env -i WINEPREFIX="$prefix" \
        /usr/bin/wineserver -k 2>/dev/null 8>&- || true
      # The server ends the programs and services of the prefix; give them time to go.
      timeout 20 chroot "$k4_root" /usr/bin/env -i WINEPREFIX="$prefix" \
        /usr/bin/wineserver -w 2>/dev/null 8>&- || true
    fi
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$session_file"
  fi
  k4_kill_inside "$k4_root"
  k4_mounts_off
  k4_binfmt_off
}

stop() {
  [ -d "$k4_state" ] || return 0
  exec 8>"$k4_lock"
  flock 8
  stop_locked
  k4_log "session stopped"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  running) running ;;
  *) echo "usage: $0 start|stop|running" >&2; exit 2 ;;
esac
