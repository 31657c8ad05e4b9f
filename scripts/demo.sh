#!/usr/bin/env bash
# Builds the Linux plug-in and the host simulator, then runs the simulator's built-in demo.
# Progress goes to standard error; the whole build's output only when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "demo: configuring the posix build in build/posix (a few seconds)" >&2
cmake --preset posix >/dev/null
echo "demo: building the plug-in, the simulator and the tests (first time: 5 to 10 minutes" \
     "on 2 cores; afterwards only what changed)" >&2
log=$(mktemp)
# Ninja numbers its steps "[done/total]": one line at each tenth of the way.
if ! cmake --build --preset posix -j "$(nproc)" 2>&1 | tee "$log" |
    awk -F'[][/]' '/^\[[0-9]+\/[0-9]+\]/ {
      tenth = int($2 * 10 / $3)
      if (tenth > last) { last = tenth; printf "demo:   %d of %d build steps\n", $2, $3; fflush() }
    }' >&2; then
  cat "$log" >&2
  rm -f "$log"
  echo "demo: the build failed (its output is above)" >&2
  exit 1
fi
rm -f "$log"
echo "demo: built in ${SECONDS} s; the demo follows" >&2
exec build/posix/tools/hostsim/k4-hostsim "$@"
