# shellcheck shell=bash
# Sourced by the Wine scripts: the build's own Wine prefix, quiet Wine, and the Wine programs.
# The prefix is made once, under a lock, so that tests started together share it safely.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="${K4_WINEPREFIX:-$here/build/wineprefix}"
export WINEDEBUG=-all
# No .NET or HTML engine installers when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
command -v wine64 >/dev/null 2>&1 && wine=$(command -v wine64)
if command -v wineserver >/dev/null 2>&1; then
  wineserver=$(command -v wineserver)
elif [ -x /usr/lib/wine/wineserver ]; then
  wineserver=/usr/lib/wine/wineserver
fi
# Where a running test session (one virtual display for all tests) leaves its details.
session_file="$WINEPREFIX.session"
# shellcheck source=scripts/run/session-common.sh
source "$here/scripts/run/session-common.sh"
k4_wine() { "$wine" "$@"; }
k4_wineserver() { "$wineserver" "$@"; }

k4_wine_prefix() {
  # drive_c appears early while the prefix is being made; the marker only once it is done.
  local ready="$WINEPREFIX/.k4-ready"
  local unmanaged="$WINEPREFIX/.k4-unmanaged"
  [ -e "$ready" ] && [ -e "$unmanaged" ] && return 0
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -e "$ready" ]; then
      echo "wine: making the prefix $WINEPREFIX (once)" >&2
      "$wine" wineboot -i >/dev/null 2>&1 || true
      "$wineserver" -w || true
      [ -d "$WINEPREFIX/drive_c" ] || { echo "wine: could not make $WINEPREFIX" >&2; exit 1; }
      touch "$ready"
    fi
    if [ ! -e "$unmanaged" ]; then
      # Top-level windows are left to Wine, not to a window manager: the virtual display has
      # none, and Wine waits two seconds for one each time a managed window (every dialog and
      # message box) is hidden. Set apart from the making so that older prefixes get it too.
      "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
      # The server this started must be gone before a session starts its own; a running
      # session's server never goes, so then there is nothing to wait for.
      k4_session_display >/dev/null || "$wineserver" -w || true
      touch "$unmanaged"
    fi
  ) 9>"$WINEPREFIX.lock"
}

# Prints the display of the running test session, if there is one.
k4_session_display() {
  k4_session_read "$session_file" || return 1
  echo "$session_display"
}
