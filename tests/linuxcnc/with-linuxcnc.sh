#!/usr/bin/env bash
# Runs COMMAND as the display program of a headless LinuxCNC started from our simulation
# configuration (tests/linuxcnc/sim), and leaves nothing behind: no process, lock file or shared
# memory, also when the command fails, hangs or this script is interrupted.
#   tests/linuxcnc/with-linuxcnc.sh [--timeout SECONDS] [--ini NAME] COMMAND [ARG...]
# NAME is a configuration of that folder (default k4sim.ini; k4gantry.ini: an XYYZ gantry).
# COMMAND gets -ini INIFILE appended (LinuxCNC's convention) and K4_SIM_DIR in its environment
# (the working copy of the configuration). Exit status: COMMAND's; 124 on timeout.
# LinuxCNC allows one instance per machine: run one of these at a time (CTest RESOURCE_LOCK).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
limit=240
ini=k4sim.ini
while [ $# -gt 1 ]; do
  case "$1" in
    --timeout) limit=$2; shift 2 ;;
    --ini) ini=$2; shift 2 ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || { echo "usage: $0 [--timeout SECONDS] [--ini NAME] COMMAND [ARG...]" >&2; exit 2; }
[ -f "$here/sim/$ini" ] || { echo "with-linuxcnc: no configuration $ini in $here/sim" >&2; exit 2; }
command -v linuxcnc >/dev/null || { echo "with-linuxcnc: linuxcnc is not installed" >&2; exit 2; }

# Every process of this run carries this mark in its environment, so cleanup finds exactly ours.
export K4_LINUXCNC_RUN="k4run-$$-$RANDOM"
work=$(mktemp -d /tmp/k4-linuxcnc.XXXXXX)
cp -r "$here/sim/." "$work/"
lcnc_pid=""

# rtapi_app refuses to run as root: it runs as a system user of ours, with its socket in a
# folder that user can write.
if [ "$(id -u)" -eq 0 ]; then
  if ! id k4cnc >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin k4cnc
  fi
  export RTAPI_UID
  RTAPI_UID=$(id -u k4cnc)
  mkdir -p "$work/rtapi"
  chown k4cnc "$work/rtapi"
  export RTAPI_FIFO_PATH="$work/rtapi/rtapi_fifo"
fi

# shellcheck disable=SC2317  # both run from the EXIT trap
our_pids() {
  local entry pid
  for entry in /proc/[0-9]*; do
    pid=${entry#/proc/}
    [ "$pid" = "$$" ] && continue
    { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null |
      grep -qx "K4_LINUXCNC_RUN=$K4_LINUXCNC_RUN" && echo "$pid"
  done
}

# shellcheck disable=SC2317
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ -n "$lcnc_pid" ] && kill -0 "$lcnc_pid" 2>/dev/null; then
    kill -TERM "$lcnc_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$lcnc_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  # LinuxCNC's own shutdown stops its programs; whatever of ours survived it is stopped here.
  local pids
  pids=$(our_pids)
  if [ -n "$pids" ]; then
    echo "with-linuxcnc: stopping left-over processes: $(echo $pids)" >&2
    kill -TERM $pids 2>/dev/null
    sleep 1
    pids=$(our_pids)
    [ -z "$pids" ] || kill -KILL $pids 2>/dev/null
  fi
  # Shared memory LinuxCNC leaves only after a crash: segments nobody is attached to, with
  # LinuxCNC's keys (HAL, RTAPI, NML buffers 1001-1005, motion 100).
  local key id nattch
  while read -r key id _ _ _ nattch _; do
    case "$key" in
      0x48414c32|0x48484c34|0x000003e9|0x000003ea|0x000003eb|0x000003ec|0x000003ed|0x00000064)
        [ "$nattch" = "0" ] && ipcrm -m "$id" 2>/dev/null ;;
    esac
  done < <(ipcs -m 2>/dev/null | grep '^0x')
  if [ -e /tmp/linuxcnc.lock ] && ! pgrep -x milltask >/dev/null && ! pgrep -x rtapi_app >/dev/null; then
    rm -f /tmp/linuxcnc.lock
  fi
  if [ -n "${K4_KEEP_LINUXCNC_LOG:-}" ]; then
    echo "with-linuxcnc: files kept in $work" >&2
  else
    rm -rf "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The display program: COMMAND with LinuxCNC's "-ini FILE" appended.
{
  echo '#!/bin/sh'
  printf 'exec'
  printf ' %q' "$@"
  echo ' "$@"'
} >"$work/display.sh"
chmod +x "$work/display.sh"
sed -i "s|^DISPLAY = .*|DISPLAY = $work/display.sh|" "$work/$ini"
chmod -R a+rX "$work"

export K4_SIM_DIR="$work"
cd "$work" || exit 2
# RUNTESTS keeps LinuxCNC's output on our stdout/stderr instead of hidden files in /tmp.
RUNTESTS=1 timeout --kill-after=15 "$limit" linuxcnc "$work/$ini" &
lcnc_pid=$!
wait "$lcnc_pid"
status=$?
lcnc_pid=""
exit "$status"
