#!/usr/bin/env bash
# Latency figures of the LinuxCNC bridge (not a test): wheel report -> motion start in
# LinuxCNC's status (p50/p99 over K4_BENCH_MOVES step moves, default 240), jog end (intensity 0)
# -> axis at rest, the time spent inside each callback, and the wheel overrun in step mode
# (time and distance from the last wheel count to rest, worst case of the fast spins of the
# end-to-end check). Targets: wheel -> motion p99 <= 35 ms, stop <= 50 ms, each callback p99
# <= 0.1 ms, overrun <= 0.5 s.
#   scripts/figures/bench-linuxcnc.sh            (builds the posix preset's k4-linuxcnc first)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset posix >/dev/null
cmake --build --preset posix --target k4-linuxcnc Orvane_K4 >/dev/null
tests/linuxcnc/with-linuxcnc.sh --timeout 300 /usr/bin/python3 "$PWD/tests/linuxcnc/bench_driver.py" \
  "$PWD/build/posix/tools/linuxcnc/k4-linuxcnc" 2>&1 |
  grep -E '^(k4-linuxcnc|wheel|jog end|callback|overrun)'
