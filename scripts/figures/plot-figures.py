#!/usr/bin/env python3
"""Prints the figures of `k4-hostsim --plot`: the picture's size and the time the simulator
takes with and without it, for the built-in demo and for a 10-minute recorded session
(tests/hostsim/long_session.py, 24000 report cycles).

Usage: scripts/figures/plot-figures.py [SIMULATOR]   (default: build/posix/tools/hostsim/k4-hostsim)

Each time is the median of 7 runs of the whole program (start, plug-in load, the session,
the picture), measured from outside.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 7


def median_seconds(command, cwd):
    times = []
    for _ in range(RUNS):
        started = time.perf_counter()
        subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
        times.append(time.perf_counter() - started)
    return statistics.median(times)


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
    sim = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                          os.path.join(root, "build/posix/tools/hostsim/k4-hostsim"))
    with tempfile.TemporaryDirectory() as work:
        session = os.path.join(work, "session.k4")
        with open(session, "w") as f:
            subprocess.run([sys.executable, os.path.join(root, "tests/hostsim/long_session.py"),
                            "10"], stdout=f, check=True)
        cases = [("built-in demo", []), ("10-minute session", ["session.k4"])]
        print(f"{'session':<20}{'picture':>12}{'with --plot':>14}{'without':>11}")
        for name, args in cases:
            svg = os.path.join(work, "plot.svg")
            with_plot = median_seconds([sim, "--plot", svg] + args, work)
            without = median_seconds([sim] + args, work)
            size = os.path.getsize(svg)
            print(f"{name:<20}{size / 1024:>9.1f} KB{with_plot * 1000:>11.0f} ms"
                  f"{without * 1000:>8.0f} ms")


if __name__ == "__main__":
    main()
