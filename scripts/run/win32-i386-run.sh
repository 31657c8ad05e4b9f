#!/usr/bin/env bash
# Runs an i686 Windows program in a 32-bit Wine process inside the i386 root (the CTest command
# of the i686 build's tests), in the running session (scripts/run/win32-i386-session.sh), or in a
# session of its own that ends with it. The program's path and the working directory are the
# same inside the root, where the checkout is mounted at its own path.
#   win32-i386-run.sh PROGRAM.exe [ARGUMENTS...]     K4_WIN32_TIMEOUT: seconds (default 180)
# A program that crashes ends at once (Wine's debugger is off); one that hangs is ended after
# the timeout, and the exit status says so (124).
set -euo pipefail
here="$(dirname "$0")"
# shellcheck source=scripts/run/win32-i386-env.sh
source "$here/win32-i386-env.sh"

own_session=0
if ! "$here/win32-i386-session.sh" running; then
  "$here/win32-i386-session.sh" start
  own_session=1
fi
trap '[ $own_session -eq 0 ] || "$here/win32-i386-session.sh" stop' EXIT
read -r display _ _ <"$k4_state/session"

status=0
timeout -k 10 "${K4_WIN32_TIMEOUT:-180}" \
  chroot "$k4_root" /usr/bin/env -i HOME=/root PATH=/usr/bin:/bin LANG=C.UTF-8 \
  WINEPREFIX="$k4_here/build/wineprefix32" WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d" DISPLAY="$display" \
  /bin/sh -c 'cd "$1" && shift && exec /usr/bin/wine "$@"' sh "$PWD" "$@" || status=$?
[ $status -ne 124 ] || echo "win32-i386: $1 did not end within ${K4_WIN32_TIMEOUT:-180}s" >&2
exit $status
