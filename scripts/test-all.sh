#!/usr/bin/env bash
# Builds every preset and runs every test: Linux, Linux with sanitizers, the i686 Windows
# plug-in (exports checked) and the x86_64 Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
for preset in posix asan windows windows64; do
  echo "==== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
