#!/usr/bin/env bash
# One Wine session for a whole test run: a virtual X display and a resident wineserver that
# every Wine test shares, so tests run side by side on one desktop and none pays the start-up.
#   wine-session.sh start   (CTest fixture set-up)
#   wine-session.sh stop    (CTest fixture clean-up)
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"

start() {
  k4_wine_prefix
  if k4_session_display >/dev/null; then
    echo "wine session: already running on $(k4_session_display)"
    return 0
  fi
  local fdfile
  fdfile=$(mktemp)
  # -displayfd: the server picks a free display and tells us which.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 &
  local pid=$!
  local number=""
  for _ in $(seq 100); do
    number=$(tr -dc '0-9' <"$fdfile")
    [ -n "$number" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  if [ -z "$number" ]; then
    kill "$pid" 2>/dev/null || true
    echo "wine session: the virtual display did not start" >&2
    return 1
  fi
  echo ":$number $pid" >"$session_file"
  # Detached from our output: CTest waits for every holder of its pipes.
  "$wineserver" -p </dev/null >/dev/null 2>&1
  # Start the resident Wine services and desktop now, detached as well: started by the first
  # test they would hold that test's output open until the session ends.
  DISPLAY=":$number" "$wine" wineboot </dev/null >/dev/null 2>&1 || true
  echo "wine session: display :$number, prefix $WINEPREFIX"
}

stop() {
  local display pid
  if [ -r "$session_file" ]; then
    read -r display pid <"$session_file" || true
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
