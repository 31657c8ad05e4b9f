#!/usr/bin/python3
"""Latency figures of k4-linuxcnc against a headless LinuxCNC (scripts/figures/bench-linuxcnc.sh).

Runs as LinuxCNC's display program: turns the machine on, homes it, then runs the bridge with
--timings on a scenario of MOVES single wheel counts (each a step jog, spaced so every move has
ended before the next) and JOGS velocity jogs ended by intensity 0. The bridge measures from the
start of the report cycle that carried the wheel movement to motion showing in LinuxCNC's
status, from the cycle that ended a jog to the axis at rest, and the time inside each callback.
Then the wheel overrun: the fast spins of the end-to-end check in step mode, each judged from
LinuxCNC's status: time and distance from the last wheel count to rest, worst case printed.
"""
import os
import subprocess
import sys
import tempfile

import linuxcnc

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_check  # noqa: E402  (the spins and their measurement)


def main():
    bridge = sys.argv[1]
    moves = int(os.environ.get("K4_BENCH_MOVES", "240"))
    jogs = int(os.environ.get("K4_BENCH_JOGS", "40"))
    s = linuxcnc.stat()
    c = linuxcnc.command()
    c.state(linuxcnc.STATE_ESTOP_RESET)
    c.wait_complete()
    c.state(linuxcnc.STATE_ON)
    c.wait_complete()
    c.mode(linuxcnc.MODE_MANUAL)
    c.wait_complete()
    c.teleop_enable(0)
    c.wait_complete()
    c.home(-1)
    c.wait_complete()
    for _ in range(300):
        s.poll()
        if all(s.homed[:4]):
            break
        import time
        time.sleep(0.01)
    lines = ["setting AutoMode=0", "start", "pendant knob=1", "step 8"]
    for i in range(moves):
        # Forward and back, so the axis stays near its start.
        lines += ["pendant wheel=%s1" % ("+" if (i // 10) % 2 == 0 else "-"), "step 6"]
    lines += ["pendant knob=2", "step 8"]
    for _ in range(jogs):
        lines += ["pendant intensity=40"] + ["pendant wheel=+1", "step"] * 8
        lines += ["pendant intensity=0", "step 12"]
    with tempfile.NamedTemporaryFile("w", suffix=".k4", delete=False) as f:
        f.write("\n".join(lines) + "\n")
        script = f.name
    folder = tempfile.mkdtemp()
    result = subprocess.run([bridge, "--timings", "--profile", folder + "/p.xml",
                             "--actions", folder + "/a.conf", script],
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    os.unlink(script)
    figures = [line for line in result.stdout.splitlines()
               if line.startswith(("wheel ->", "jog end ->", "callback "))]
    print("k4-linuxcnc against LinuxCNC %s (uspace, no real-time kernel): %d step moves, %d jogs"
          % (linuxcnc.version if hasattr(linuxcnc, "version") else "", moves, jogs))
    print("\n".join(figures))
    # The spins print their own check lines; only the figure belongs to the benchmark.
    with tempfile.TemporaryDirectory() as spins:
        e2e_check.phase_overrun(e2e_check.Bridge(bridge, spins))
    seconds, distance = e2e_check.WORST_OVERRUN
    print("overrun after the last count (worst of the spins): %.3f s / %.3f mm (target <= 0.5 s)"
          % (seconds, distance))
    return result.returncode or (1 if e2e_check.FAILURES else 0)


if __name__ == "__main__":
    sys.exit(main())
