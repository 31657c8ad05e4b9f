#!/usr/bin/env bash
# The LinuxCNC step of the tests: builds k4-linuxcnc in the posix build and runs its tests
# against a headless LinuxCNC (ctest --preset linuxcnc: serial, each test starting and stopping
# its own LinuxCNC). Needs linuxcnc-uspace and linuxcnc-uspace-dev (scripts/setup/debian.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${K4_JOBS:-$(nproc)}
if ! command -v linuxcnc >/dev/null || [ ! -e /usr/include/linuxcnc/emc_nml.hh ]; then
  echo "test-linuxcnc: LinuxCNC and its development files are not installed" \
       "(scripts/setup/debian.sh installs them)" >&2
  exit 1
fi
cmake --preset posix >/dev/null
cmake --build --preset posix -j "$jobs" --target k4-linuxcnc Orvane_K4 2>&1 | grep -v '^\[[0-9]*/[0-9]*\] ' || true
[ -x build/posix/tools/linuxcnc/k4-linuxcnc ] || { echo "test-linuxcnc: the bridge did not build" >&2; exit 1; }
ctest --preset linuxcnc
