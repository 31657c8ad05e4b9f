# Sourced by the Wine scripts: the build's own Wine prefix, quiet Wine, and the Wine programs.
# The prefix is made once, under a lock, so that tests started together share it safely.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
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

k4_wine_prefix() {
  # drive_c appears early while the prefix is being made; the marker only once it is done.
  local ready="$WINEPREFIX/.k4-ready"
  [ -e "$ready" ] && return 0
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
  ) 9>"$WINEPREFIX.lock"
}

# Prints the display of the running test session, if there is one.
k4_session_display() {
  [ -r "$session_file" ] || return 1
  local display pid
  read -r display pid <"$session_file" || return 1
  kill -0 "$pid" 2>/dev/null || return 1
  echo "$display"
}
