# shellcheck shell=bash disable=SC2034  # the variables set here are read by the starters
# Sourced by the two Wine session starters (wine-session.sh: the x86_64 build under this
# machine's Wine; win32-i386-session.sh: the i686 build in the i386 root): what a session is
# made of either way. Each starter defines k4_wine and k4_wineserver, which run that Wine's
# programs where they belong, and keeps its own session file, one line "DISPLAY PID [CHECKOUT]"
# (PID: the virtual display's server).

# Starts a virtual X display on a free display number, detached from our output and from the
# descriptor of the 32-bit session's lock (8). Sets k4_display (":N") and k4_display_pid; fails,
# leaving nothing running, when no display came up within 10 s.
k4_display_start() {
  local fdfile number=""
  fdfile=$(mktemp)
  # -displayfd: the server picks a free display and tells us which.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" </dev/null >/dev/null 2>&1 8>&- &
  k4_display_pid=$!
  for _ in $(seq 100); do
    number=$(tr -dc '0-9' <"$fdfile")
    [ -n "$number" ] && break
    kill -0 "$k4_display_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$fdfile"
  if [ -z "$number" ]; then
    kill "$k4_display_pid" 2>/dev/null || true
    return 1
  fi
  k4_display=":$number"
}

# Reads the session file $1 into session_display, session_pid and session_checkout; fails when
# there is no session or its display has gone.
k4_session_read() {
  [ -r "$1" ] || return 1
  read -r session_display session_pid session_checkout <"$1" || return 1
  kill -0 "$session_pid" 2>/dev/null
}

# A resident wineserver and Wine's services and desktop on DISPLAY, detached from our output:
# CTest waits for every holder of its pipes, so started by the first test they would hold that
# test's output open until the session ends.
k4_wine_services_start() {
  k4_wineserver -p </dev/null >/dev/null 2>&1
  k4_wine wineboot </dev/null >/dev/null 2>&1 || true
}
