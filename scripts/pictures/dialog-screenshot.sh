#!/usr/bin/env bash
# Takes the user guide's picture of the configuration dialog (docs/images/configuration-dialog.png):
# runs the Windows test program's dialog test under Wine on a virtual screen large enough for the
# whole dialog, lets it capture the dialog to a BMP file, and converts that to PNG.
# Usage: scripts/pictures/dialog-screenshot.sh [WINDOWS64_BUILD_DIR]  (after building k4_win32_tests)
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$here/build/windows64}" && pwd)"
export K4_WINEPREFIX="$here/build/wineprefix-screenshot"
bmp="$build/configuration-dialog.bmp"

run() { xvfb-run -a -s "-screen 0 1400x1000x24" "$here/scripts/run/wine-run.sh" "$@"; }

# There is no window manager on the virtual screen: Wine must draw the caption and frame itself.
run reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
K4_DIALOG_SCREENSHOT="Z:${bmp//\//\\}" run "$build/tests/k4_win32_tests.exe" \
  --gtest_filter='ConfigurationDialogWin32.TemplateHasTheLayoutsTextsStylesAndSizes'
mkdir -p "$here/docs/images"
python3 "$here/scripts/pictures/bmp-to-png.py" "$bmp" "$here/docs/images/configuration-dialog.png"
echo "docs/images/configuration-dialog.png"
