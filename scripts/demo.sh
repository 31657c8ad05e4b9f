#!/usr/bin/env bash
# Builds the Linux plug-in and the host simulator, then runs the simulator's built-in demo.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset posix >/dev/null
cmake --build --preset posix -j "$(nproc)" >/dev/null
exec build/posix/tools/hostsim/k4-hostsim "$@"
