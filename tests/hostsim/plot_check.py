#!/usr/bin/env python3
"""Checks the pictures of `k4-hostsim --plot`.

  plot_check.py content SIM SCENARIO   the drawn positions and jog speeds read back from the SVG
                                       are the values of the --show machine,records lines, the
                                       marks count the host's lines, and --plot changes nothing
                                       the simulator prints
  plot_check.py empty SIM              a scenario without commands gives a valid picture
  plot_check.py long SIM GENERATOR     a 10-minute recorded session gives a valid picture whose
                                       series are thinned to a bounded number of points

Only the standard library is used; xmllint also checks each picture when it is installed.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

SVG = "{http://www.w3.org/2000/svg}"
AXES = "XYZABC"
# Drawn points are written to 1/100 pixel; Machine lines to 4 decimals.
PIXEL_ROUNDING = 0.006
POSITION_ROUNDING = 0.00005
# The picture thins a series to two points per 2-pixel bucket of its 1020-pixel plot.
MAX_POINTS = 2 * 510 + 2

failures = []


def fail(message):
    failures.append(message)
    print("FAIL: " + message)


def run(sim, args, cwd, stdin=None):
    done = subprocess.run([sim] + args, cwd=cwd, input=stdin, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join([sim] + args)}: exit code {done.returncode}\n{done.stderr}")
    return done.stdout


def parse(path):
    if shutil.which("xmllint"):
        lint = subprocess.run(["xmllint", "--noout", path], capture_output=True, text=True)
        if lint.returncode != 0:
            fail(f"xmllint rejects {path}: {lint.stderr.strip()}")
    try:
        return ET.parse(path).getroot()
    except ET.ParseError as error:
        sys.exit(f"FAIL: {path} is not well-formed XML: {error}")


def scale_of(root, polyline):
    """The drawn points of a polyline as (seconds, value), read through its panel's scale."""
    for group in root.iter(SVG + "g"):
        if polyline in list(group):
            break
    else:
        sys.exit("FAIL: a series outside any scaled panel")
    a = {k: float(group.get("data-" + k)) for k in
         ("t0", "px-per-second", "x0", "v0", "px-per-unit", "y0")}
    points = []
    for pair in polyline.get("points").split():
        x, y = (float(n) for n in pair.split(","))
        points.append((a["t0"] + (x - a["x0"]) / a["px-per-second"],
                       a["v0"] + (a["y0"] - y) / a["px-per-unit"]))
    return points, PIXEL_ROUNDING / a["px-per-unit"]


def series(root, name):
    return {p.get("data-axis"): p for p in root.iter(SVG + "polyline")
            if p.get("data-series") == name}


def runs(values, tolerance):
    """The values with repeats (within the tolerance) dropped."""
    out = []
    for v in values:
        if not out or abs(v - out[-1]) > tolerance:
            out.append(v)
    return out


def same_runs(what, drawn, expected, tolerance):
    d, e = runs(drawn, tolerance), runs(expected, tolerance)
    if len(d) != len(e) or any(abs(a - b) > tolerance for a, b in zip(d, e)):
        fail(f"{what}: drawn {d[:12]}{' ...' if len(d) > 12 else ''} ({len(d)} values), "
             f"the simulator printed {e[:12]}{' ...' if len(e) > 12 else ''} ({len(e)} values)")
        return False
    return True


def expected_from_lines(lines):
    positions = {axis: [0.0] for axis in AXES}
    speeds = {axis: [0.0] for axis in AXES}
    last_code = ""
    counts = {"button": 0, "step-line": 0, "dojog": 0, "endjog": 0, "status": 0}
    for line in lines:
        if line.startswith("Machine "):
            words = line.split()[1:]
            for axis, value in zip(words[0::2], words[1::2]):
                positions[axis].append(float(value))
        elif line.startswith("Record "):
            m = re.match(r"Record (\w) dir=(\d+) speed=(-?\d+) full=-?\d+ stop=(\d+)", line)
            axis, direction, speed, stop = m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4))
            runs_now = last_code == "DOJOG" and stop == 0
            speeds[axis].append((-speed if direction else speed) if runs_now else 0.0)
        elif line.startswith("Code "):
            last_code = line[len('Code "'):-1]
            if last_code == "DOJOG":
                counts["dojog"] += 1
            elif last_code == "ENDJOG":
                counts["endjog"] += 1
            elif last_code.startswith("G91G1"):
                counts["step-line"] += 1
        elif line.startswith("DoButton "):
            counts["button"] += 1
        elif line.startswith("Status "):
            counts["status"] += 1
    return positions, speeds, counts


def check_content(sim, scenario):
    work = tempfile.mkdtemp()
    try:
        cwd = os.path.dirname(os.path.abspath(scenario))
        name = os.path.basename(scenario)
        shown = run(sim, ["--show", "machine,records", name], cwd)
        svg = os.path.join(work, "plot.svg")
        if run(sim, ["--show", "machine,records", "--plot", svg, name], cwd) != shown:
            fail("--plot changed what the simulator prints")
        if run(sim, ["--plot", os.path.join(work, "quiet.svg"), name], cwd) != run(sim, [name], cwd):
            fail("--plot without --show records printed jog records")
        root = parse(svg)
        positions, speeds, counts = expected_from_lines(shown.splitlines())
        drawn_positions = series(root, "position")
        drawn_speeds = series(root, "jog-speed")
        checked = 0
        for axis in AXES:
            moved = any(v != 0.0 for v in positions[axis])
            if moved != (axis in drawn_positions):
                fail(f"axis {axis}: moved {moved}, drawn {axis in drawn_positions}")
            if axis in drawn_positions:
                points, rounding = scale_of(root, drawn_positions[axis])
                checked += same_runs(f"position of {axis}", [v for _, v in points],
                                     positions[axis], rounding + POSITION_ROUNDING)
            jogged = any(v != 0.0 for v in speeds[axis])
            if jogged and axis not in drawn_speeds:
                fail(f"axis {axis} jogged but its jog speed is not drawn")
            if axis in drawn_speeds:
                points, rounding = scale_of(root, drawn_speeds[axis])
                checked += same_runs(f"jog speed of {axis}", [v for _, v in points],
                                     speeds[axis], rounding + 0.001)
        marks = {}
        for rect in root.iter(SVG + "rect"):
            if rect.get("data-kind"):
                kind = rect.get("data-kind")
                marks[kind] = marks.get(kind, 0) + int(rect.get("data-count"))
        for kind, count in counts.items():
            if marks.get(kind, 0) != count:
                fail(f"{kind} marks count {marks.get(kind, 0)}, the simulator printed {count}")
        if checked == 0:
            fail("nothing moved: the scenario cannot check the drawn series")
        print(f"{name}: {checked} series and {sum(counts.values())} host actions match")
    finally:
        shutil.rmtree(work)


def check_empty(sim):
    work = tempfile.mkdtemp()
    try:
        svg = os.path.join(work, "empty.svg")
        run(sim, ["--plot", svg, "-"], work, stdin="")
        root = parse(svg)
        if root.tag != SVG + "svg" or root.get("data-samples") != "0":
            fail("the empty scenario's picture is not an SVG of no cycles")
        print("empty scenario: a valid picture")
    finally:
        shutil.rmtree(work)


def check_long(sim, generator):
    work = tempfile.mkdtemp()
    try:
        session = os.path.join(work, "session.k4")
        with open(session, "w") as f:
            subprocess.run([sys.executable, generator, "10"], stdout=f, check=True)
        svg = os.path.join(work, "session.svg")
        run(sim, ["--plot", svg, "session.k4"], work)
        root = parse(svg)
        if root.get("data-samples") != str(10 * 60 * 40):
            fail(f"the 10-minute session drew {root.get('data-samples')} cycles, not 24000")
        for polyline in root.iter(SVG + "polyline"):
            count = len(polyline.get("points").split())
            if count > MAX_POINTS:
                fail(f"series {polyline.get('data-series')} {polyline.get('data-axis') or ''}: "
                     f"{count} points, more than {MAX_POINTS}")
        print(f"10-minute session: a valid picture of {os.path.getsize(svg)} bytes")
    finally:
        shutil.rmtree(work)


def main():
    if len(sys.argv) >= 3:
        sys.argv[2] = os.path.abspath(sys.argv[2])
    if len(sys.argv) >= 4 and sys.argv[1] == "content":
        check_content(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "empty":
        check_empty(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "long":
        check_long(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
