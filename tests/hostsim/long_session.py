#!/usr/bin/env python3
"""Writes a long session in the form `k4-hostsim --live --record` writes it: the reports a
pendant sent, with the report cycles (40 a second) and host Update calls (10 a second) between
them. A machinist steps, velocity-jogs with and without SIDE, runs a continuous jog, trims the
feed override and changes axes, over and over, with a fixed pseudo-random seed.

Usage: long_session.py [MINUTES] > session.k4        (default 10 minutes)
"""
import random
import sys

CYCLES_PER_SECOND = 40
CYCLES_PER_UPDATE = 4


class Recorder:
    def __init__(self, out):
        self.out = out
        self.run_kind = None
        self.run_length = 0
        self.cycle = 0
        self.state = {"wheel": 0, "intensity": 0, "buttons": 0, "knob": 1}
        self.sent = None
        out.write("# Recorded by k4-hostsim --live: every report the pendant sent, with the report\n"
                  "# cycles and Update calls between them. Replay: k4-hostsim FILE\n"
                  "start\n")

    def count(self, kind):
        if kind != self.run_kind:
            self.flush()
        self.run_kind = kind
        self.run_length += 1

    def flush(self):
        if self.run_length:
            self.out.write(f"{self.run_kind} {self.run_length}\n")
        self.run_kind, self.run_length = None, 0

    def report_if_changed(self):
        s = self.state
        report = (0, s["wheel"] % 256, s["intensity"], s["buttons"], s["knob"], 0, 0, 0)
        if report != self.sent:
            self.flush()
            self.out.write("report " + " ".join(f"{b:02X}" for b in report) + "\n")
            self.sent = report

    def tick(self):
        """One report cycle, with an Update call every fourth."""
        self.report_if_changed()
        self.count("cycle")
        self.cycle += 1
        if self.cycle % CYCLES_PER_UPDATE == 0:
            self.count("update")


SIDE = 0x10
STOP = 0x08


def main():
    minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    total = int(minutes * 60 * CYCLES_PER_SECOND)
    rng = random.Random(18)
    rec = Recorder(sys.stdout)
    s = rec.state

    def hold(cycles):
        for _ in range(cycles):
            if rec.cycle >= total:
                return
            rec.tick()

    def turn(cycles, counts, intensity):
        s["intensity"] = intensity
        for _ in range(cycles):
            if rec.cycle >= total:
                return
            s["wheel"] += counts
            rec.tick()
        s["intensity"] = 0

    def click(bit):
        s["buttons"] |= bit
        hold(2)
        s["buttons"] &= ~bit
        hold(8)

    hold(20)
    while rec.cycle < total:
        activity = rng.choice(["step", "velocity", "slow", "continuous", "trim", "axis"])
        if activity == "step":
            s["knob"] = 1
            for _ in range(rng.randint(3, 12)):
                turn(rng.randint(1, 6), rng.choice([1, -1]), rng.randint(5, 15))
                hold(rng.randint(4, 20))
        elif activity in ("velocity", "slow"):
            s["knob"] = 2
            if activity == "slow":
                s["buttons"] |= SIDE
            direction = rng.choice([1, -1])
            turn(rng.randint(40, 400), direction * rng.randint(1, 4), rng.randint(10, 60))
            s["buttons"] &= ~SIDE
            hold(rng.randint(20, 80))
        elif activity == "continuous":
            s["knob"] = 3
            turn(rng.randint(60, 300), rng.choice([1, -1]) * 2, rng.randint(10, 40))
            hold(40)
        elif activity == "trim":
            s["knob"] = 5
            turn(rng.randint(5, 30), rng.choice([1, -1]), 10)
            hold(20)
        else:
            s["knob"] = 1
            hold(10)
            click(SIDE)
        hold(rng.randint(10, 200))
    rec.flush()


if __name__ == "__main__":
    main()
