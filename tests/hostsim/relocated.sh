#!/usr/bin/env bash
# k4-hostsim copied out of the build, as the archives and packages place it, finds the plug-in
# placed with it (beside it, or in ../LIBDIR/orvane-k4/ as installed) and never the build's own:
# with no plug-in placed with it, it fails and names the places it looked.
#   relocated.sh K4_HOSTSIM ORVANE_K4_SO LIBDIR
set -uo pipefail
program=$1 plugin=$2 libdir=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

demo_runs() {  # program
  "$1" --demo >"$work/out" 2>&1 || { fail "$1 --demo: $(head -3 "$work/out")"; return; }
  grep -q 'G91G1' "$work/out" || fail "$1 --demo sent no jog line"
}

# Side by side, as in the tarball.
mkdir -p "$work/flat"
cp "$program" "$plugin" "$work/flat/"
demo_runs "$work/flat/k4-hostsim"

# Installed: bin/ and the library folder beside it, the build's libdir and plain lib/.
for lib in "$libdir" lib; do
  prefix="$work/prefix-${lib//\//-}"
  mkdir -p "$prefix/bin" "$prefix/$lib/orvane-k4"
  cp "$program" "$prefix/bin/"
  cp "$plugin" "$prefix/$lib/orvane-k4/"
  demo_runs "$prefix/bin/k4-hostsim"
done

# Alone: it must not reach back into the build folder.
mkdir -p "$work/alone/bin"
cp "$program" "$work/alone/bin/"
if "$work/alone/bin/k4-hostsim" --demo >"$work/out" 2>&1; then
  fail "a copy with no plug-in beside it ran the demo (it loaded the build's plug-in)"
elif ! grep -q "cannot find the plug-in Orvane_K4.so; looked in: $work/alone/bin/" "$work/out"; then
  fail "a copy with no plug-in: unexpected message: $(cat "$work/out")"
elif grep -qF "$(dirname "$plugin")" "$work/out"; then
  fail "a copy outside the build names the build folder: $(cat "$work/out")"
fi

[ "$failures" -eq 0 ] && echo "relocated copies: the plug-in placed with them, never the build's"
exit $((failures > 0))
