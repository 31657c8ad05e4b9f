#!/usr/bin/env bash
# One Wine session for a whole test run: a virtual X display and a resident wineserver that
# every Wine test shares, so tests run side by side on one desktop and none pays the start-up.
#   wine-session.sh start   (CTest fixture set-up)
#   wine-session.sh stop    (CTest fixture clean-up)
set -euo pipefail
# shellcheck source=scripts/run/wine-env.sh
source "$(dirname "$0")/wine-env.sh"

start() {
  k4_wine_prefix
  if k4_session_display >/dev/null; then
    echo "wine session: already running on $(k4_session_display)"
    return 0
  fi
  if ! k4_display_start; then
    echo "wine session: the virtual display did not start" >&2
    return 1
  fi
  echo "$k4_display $k4_display_pid" >"$session_file"
  export DISPLAY=$k4_display
  k4_wine_services_start
  echo "wine session: display $k4_display, prefix $WINEPREFIX"
}

stop() {
  local pid
  if [ -r "$session_file" ]; then
    read -r _ pid <"$session_file" || true
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    rm -f "$session_file"
    echo "wine session: stopped"
  fi
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
