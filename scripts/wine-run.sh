#!/usr/bin/env bash
# Runs a Windows program under Wine with a prefix of the build's own, inside a virtual X display
# (windows and timers need one).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${K4_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
server=/usr/lib/wine/wineserver
command -v wine64 >/dev/null 2>&1 && wine=$(command -v wine64)
command -v wineserver >/dev/null 2>&1 && server=$(command -v wineserver)
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  mkdir -p "$WINEPREFIX"
  (flock 9; [ -d "$WINEPREFIX/drive_c" ] || { "$wine" wineboot -i >/dev/null 2>&1; "$server" -w || true; }) \
    9>"$WINEPREFIX.lock"
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$@"
fi
exec "$wine" "$@"
