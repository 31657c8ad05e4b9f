#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of the build's own (the CMake emulator of the
# x86_64 Windows build). Windows and timers need an X display: the test session's virtual
# display when one runs (scripts/run/wine-session.sh), else the caller's, else a private one.
set -euo pipefail
# shellcheck source=scripts/run/wine-env.sh
source "$(dirname "$0")/wine-env.sh"
k4_wine_prefix
if display=$(k4_session_display); then
  export DISPLAY="$display"
  exec "$wine" "$@"
fi
if [ -n "${DISPLAY:-}" ]; then
  exec "$wine" "$@"
fi
exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$wine" "$@"
