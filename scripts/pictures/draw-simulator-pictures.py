#!/usr/bin/env python3
"""Draws the user guide's pictures that come from the host simulator, so they show what the
plug-in really does and cannot drift from it.

Usage: draw-simulator-pictures.py SIMULATOR [OUTPUT_DIR]     (default: docs/images)
       draw-simulator-pictures.py --check SIMULATOR          compare with docs/images

  tuning-chart.svg   the velocity settings at work: the jog speed over time for a steady turn
                     at each "Speed Change Sensitivity", the speed with SIDE held at each
                     "Press SIDE Button to Slow Down to 1 / ", and where the automatic mode
                     changes from stepping to velocity jogging at each "Step / Vel  Mode Switch
                     Sensitivity."; every number is measured by running the simulator
  demo-session.svg   the built-in demo drawn by `k4-hostsim --plot`

--check draws both into a temporary folder and fails when either differs from the committed
file (rerun without --check and commit the pictures after a deliberate change). Only the
standard library is used.
"""
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile
from xml.sax.saxutils import escape

FONT = "DejaVu Sans, Verdana, Arial, sans-serif"
INK = "#222222"
MUTED = "#555555"
GRID = "#e3e5e8"
FRAME = "#9aa0a8"

CYCLE_SECONDS = 0.025
CYCLES_PER_UPDATE = 4  # a host calling Update ten times a second
FULL_SPEED = 1000      # the simulated host's full jog speed, units per minute
INTENSITY = 40         # the steady turn's jog intensity (report byte 2)
COUNTS = 2             # and its counts per report cycle
TURN_CYCLES = 60       # 1.5 s of turning
REST_CYCLES = 20

# The dialog's choices, by the position a setting stores.
SENSITIVITIES = list(range(1, 11))  # "Speed Change Sensitivity" and its siblings show 1 to 10
SLOW_DOWN = [2, 3, 4]               # "Press SIDE Button to Slow Down to 1 / "
SWITCH_COUNTS = list(range(1, 13))  # counts per cycle tried in the automatic mode

# Ten colours from lively (setting 1) to gentle (setting 10).
RAMP = ["#b2182b", "#d6604d", "#f4a582", "#e08214", "#b8860b",
        "#5aae61", "#1b7837", "#4393c3", "#2166ac", "#542788"]
STEP_BLUE = "#9ecae1"
VELOCITY_ORANGE = "#fdae6b"


def simulate(sim, scenario, show="records"):
    done = subprocess.run([sim, "--show", show, "-"], input=scenario, capture_output=True,
                          text=True)
    if done.returncode != 0:
        sys.exit(f"draw-simulator-pictures: the simulator failed ({done.returncode}):\n"
                 f"{done.stderr}\n--- scenario\n{scenario}")
    return done.stdout.splitlines()


def cycles(count, wheel=0, start=0, first=""):
    """`count` report cycles, the wheel turning `wheel` counts in each, Update every fourth;
    each cycle is announced with an echo line so its host lines can be told apart. `first`
    changes more controls in the first cycle's report: the plug-in reads one report a cycle, so
    each cycle must get exactly one."""
    lines = []
    for i in range(start, start + count):
        if wheel:
            change = first if i == start else ""
            lines.append(f"pendant {change}wheel={'+' if wheel > 0 else '-'}{abs(wheel)}")
        lines.append(f"echo cycle {i}")
        lines.append("cycle")
        if (i + 1) % CYCLES_PER_UPDATE == 0:
            lines.append("update")
    return lines


def speeds_per_cycle(lines, total):
    """The X jog record's speed (percent of full speed) left after each cycle."""
    speed = [0.0] * total
    current = -1
    last_code = ""
    value = 0.0
    for line in lines:
        m = re.match(r"# cycle (\d+)$", line)
        if m:
            if current >= 0:
                speed[current] = value
            current = int(m.group(1))
            continue
        if line.startswith("Code "):
            last_code = line[6:-1]
        m = re.match(r"Record X dir=\d+ speed=(-?\d+) full=(-?\d+) stop=(\d+)", line)
        if m:
            runs = last_code == "DOJOG" and m.group(3) == "0"
            value = 100.0 * int(m.group(1)) / FULL_SPEED if runs else 0.0
    if current >= 0:
        speed[current] = value
    return speed


def steady_turn(sim, vel_position, side, slow_position=2):
    """Knob 2 (velocity jog), SIDE up or held, a steady turn, then the wheel let go."""
    scenario = [f"setting Vel={vel_position} SlowDownRate={slow_position}",
                f"host full-speed X {FULL_SPEED}", "start",
                f"pendant knob=2 side={1 if side else 0}", "step", "update 5"]
    scenario += cycles(TURN_CYCLES, COUNTS, 0, f"intensity={INTENSITY} ")
    scenario += ["pendant intensity=0"]
    scenario += cycles(REST_CYCLES, 0, TURN_CYCLES)
    total = TURN_CYCLES + REST_CYCLES
    return speeds_per_cycle(simulate(sim, "\n".join(scenario) + "\n"), total)


def switch_point(sim, sens_position):
    """Knob 1 in the automatic mode: a burst of turning at each speed; which of them jog."""
    scenario = [f"setting AutoMode=1 AutoChangeSens={sens_position}", "start",
                "pendant knob=1", "step", "update 5"]
    for counts in SWITCH_COUNTS:
        scenario += [f"echo burst {counts}"]
        for i in range(8):
            intensity = f"intensity={INTENSITY} " if i == 0 else ""
            scenario += [f"pendant {intensity}wheel=+{counts}", "step"]
        scenario += ["pendant intensity=0", "step 20"]
    kinds = {}
    burst = None
    for line in simulate(sim, "\n".join(scenario) + "\n", "reads"):
        m = re.match(r"# burst (\d+)$", line)
        if m:
            burst = int(m.group(1))
            kinds[burst] = set()
        elif burst is not None and line == 'Code "DOJOG"':
            kinds[burst].add("velocity")
        elif burst is not None and line.startswith('Code "G91G1'):
            kinds[burst].add("step")
    return {c: ("velocity" if "velocity" in k else "step" if "step" in k else "none")
            for c, k in kinds.items()}


class Svg:
    def __init__(self, width, height, title):
        self.width, self.height = width, height
        self.parts = [f'<?xml version="1.0" encoding="UTF-8"?>',
                      f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" '
                      f'height="{height}" viewBox="0 0 {width} {height}" font-family="{FONT}">',
                      f"<title>{escape(title)}</title>",
                      f'<rect width="{width}" height="{height}" fill="#ffffff"/>']

    def add(self, element):
        self.parts.append(element)

    def text(self, x, y, string, size=12, anchor="start", colour=INK, weight="normal"):
        self.add(f'<text x="{x:.1f}" y="{y:.1f}" font-size="{size}" text-anchor="{anchor}" xml:space="preserve" '
                 f'fill="{colour}" font-weight="{weight}">{escape(string)}</text>')

    def line(self, x1, y1, x2, y2, colour=GRID, width=1, dash=None):
        dashed = f' stroke-dasharray="{dash}"' if dash else ""
        self.add(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" '
                 f'stroke="{colour}" stroke-width="{width}"{dashed}/>')

    def rect(self, x, y, w, h, fill, stroke="none", extra=""):
        self.add(f'<rect x="{x:.1f}" y="{y:.1f}" width="{w:.1f}" height="{h:.1f}" '
                 f'fill="{fill}" stroke="{stroke}"{extra}/>')

    def polyline(self, points, colour, width=2, dash=None, extra=""):
        coordinates = " ".join(f"{x:.2f},{y:.2f}" for x, y in points)
        dashed = f' stroke-dasharray="{dash}"' if dash else ""
        self.add(f'<polyline points="{coordinates}" fill="none" stroke="{colour}" '
                 f'stroke-width="{width}" stroke-linejoin="round"{dashed}{extra}/>')

    def circle(self, x, y, r, fill):
        self.add(f'<circle cx="{x:.2f}" cy="{y:.2f}" r="{r}" fill="{fill}"/>')

    def save(self, path):
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(self.parts + ["</svg>"]) + "\n")


def percent_axis(svg, left, top, width, height, label):
    for p in range(0, 101, 20):
        y = top + height - p / 100 * height
        svg.line(left, y, left + width, y, "#b0b4ba" if p == 0 else GRID)
        svg.text(left - 6, y + 4, f"{p} %", 11, "end", MUTED)
    svg.rect(left, top, width, height, "none", FRAME)
    svg.add(f'<text transform="translate({left - 48:.1f},{top + height / 2:.1f}) rotate(-90)" '
            f'font-size="12" text-anchor="middle" fill="{INK}">{escape(label)}</text>')


def draw_tuning_chart(sim, path):
    width, left, plot_w = 1000, 110, 760
    svg = Svg(width, 1130, "Orvane K4: how the velocity settings shape a jog")
    svg.text(left - 70, 28, "How the velocity settings shape a jog", 17, weight="bold")
    svg.text(left - 70, 48, f"Measured with the host simulator: a steady turn of {COUNTS} counts "
             f"per 25 ms report cycle at jog intensity {INTENSITY} (report byte 2), "
             f"axis full jog speed {FULL_SPEED} units/min.", 12, colour=MUTED)
    svg.text(left - 70, 64, "Speeds scale with the intensity: a gentler turn reading half the "
             "intensity gives half the speed (up to the axis's full jog speed).", 12,
             colour=MUTED)

    # ---- 1: jog speed over time by "Speed Change Sensitivity" ----------------------------------
    top, height = 110, 260
    svg.text(left - 70, top - 18, '1. Velocity jog (knob 2): jog speed over time for each '
             '"Speed Change Sensitivity"', 14, weight="bold")
    total = TURN_CYCLES + REST_CYCLES
    seconds = total * CYCLE_SECONDS
    percent_axis(svg, left, top, plot_w, height, "jog speed, % of full speed")
    for t in [x * 0.25 for x in range(int(seconds / 0.25) + 1)]:
        x = left + t / seconds * plot_w
        svg.line(x, top, x, top + height)
        svg.text(x, top + height + 16, f"{t:g}", 11, "middle", MUTED)
    svg.text(left + plot_w / 2, top + height + 34, "time since the wheel started turning (s)", 12,
             "middle")
    stop_x = left + TURN_CYCLES * CYCLE_SECONDS / seconds * plot_w
    svg.line(stop_x, top, stop_x, top + height, FRAME, 1, "4 3")
    svg.text(stop_x + 4, top + 14, "wheel let go", 11, colour=MUTED)
    steady = {}
    label_y = []
    for setting in SENSITIVITIES:
        speeds = steady_turn(sim, setting - 1, False)
        steady[setting] = speeds[TURN_CYCLES - 1]
        points = []
        previous = 0.0
        for i, v in enumerate(speeds):
            x = left + i * CYCLE_SECONDS / seconds * plot_w
            points += [(x, top + height - previous / 100 * height),
                       (x, top + height - v / 100 * height)]
            previous = v
        colour = RAMP[setting - 1]
        svg.polyline(points, colour, 2, extra=f' data-setting="{setting}"')
        y = top + height - steady[setting] / 100 * height
        label_y.append([y, setting, colour])
    # Labels beside the plateaus, pushed apart so they never overlap.
    label_y.sort()
    label_y[0][0] = max(label_y[0][0], top + 12)
    for i in range(1, len(label_y)):
        label_y[i][0] = max(label_y[i][0], label_y[i - 1][0] + 12)
    for y, setting, colour in label_y:
        svg.text(left + plot_w + 8, y + 4, f'"{setting}"  {steady[setting]:.0f} %', 11,
                 colour=colour, weight="bold")
    svg.text(left + plot_w + 8, top - 8, "setting: speed", 11, colour=MUTED)

    # ---- 2: steady speed with SIDE held --------------------------------------------------------
    top2, height2 = 460, 230
    svg.text(left - 70, top2 - 18, '2. Holding SIDE (knob 2): the steady speed at each '
             '"Press SIDE Button to Slow Down to 1 / "', 14, weight="bold")
    percent_axis(svg, left, top2, plot_w, height2, "steady jog speed, % of full")
    step_w = plot_w / (len(SENSITIVITIES) - 1)
    for i, setting in enumerate(SENSITIVITIES):
        x = left + i * step_w
        svg.line(x, top2, x, top2 + height2)
        svg.text(x, top2 + height2 + 16, f'"{setting}"', 11, "middle", MUTED)
    svg.text(left + plot_w / 2, top2 + height2 + 34, '"Speed Change Sensitivity" (mode 2; the '
             'same scale for "Speed Change Sensitivity in Step / Velocity Mode." in mode 10)', 12,
             "middle")
    lines = [("SIDE up", None, "#222222", None)]
    lines += [(f"SIDE held, 1 / {d}", p, c, dash) for p, (d, c, dash) in
              enumerate(zip(SLOW_DOWN, ["#d6604d", "#4393c3", "#1b7837"], ["6 3", "3 3", "1 3"]))]
    legend_x = left + plot_w - 150
    for n, (name, slow, colour, dash) in enumerate(lines):
        values = [steady[s] if slow is None else steady_turn(sim, s - 1, True, slow)[TURN_CYCLES - 1]
                  for s in SENSITIVITIES]
        points = [(left + i * step_w, top2 + height2 - v / 100 * height2)
                  for i, v in enumerate(values)]
        svg.polyline(points, colour, 2, dash,
                     extra=f' data-side="{name}" data-values="{" ".join(f"{v:.1f}" for v in values)}"')
        for x, y in points:
            svg.circle(x, y, 3, colour)
        ly = top2 + 16 + n * 16
        svg.line(legend_x, ly - 4, legend_x + 26, ly - 4, colour, 2, dash)
        svg.text(legend_x + 32, ly, name, 11)

    # ---- 3: where the automatic mode switches --------------------------------------------------
    top3 = 790
    row_h, col_w = 24, plot_w / len(SWITCH_COUNTS)
    svg.text(left - 70, top3 - 36, '3. Automatic mode (knob 1): stepping or velocity jogging, for '
             'each "Step / Vel  Mode Switch Sensitivity."', 14, weight="bold")
    svg.text(left - 70, top3 - 18, "Each cell: 8 report cycles of turning at that many counts per "
             "cycle. Once it jogs, it keeps jogging until the intensity falls to 0 (the wheel "
             "stops).", 12, colour=MUTED)
    for r, setting in enumerate(SENSITIVITIES):
        kinds = switch_point(sim, setting - 1)
        y = top3 + r * row_h
        svg.text(left - 8, y + row_h / 2 + 4, f'"{setting}"', 11, "end", MUTED)
        first_velocity = None
        for c, counts in enumerate(SWITCH_COUNTS):
            kind = kinds.get(counts, "none")
            if kind == "velocity" and first_velocity is None:
                first_velocity = c
            fill = {"velocity": VELOCITY_ORANGE, "step": STEP_BLUE}.get(kind, "#eeeeee")
            svg.rect(left + c * col_w, y, col_w, row_h, fill, "#ffffff",
                     f' data-setting="{setting}" data-counts="{counts}" data-kind="{kind}"')
        if first_velocity is not None:
            x = left + first_velocity * col_w
            svg.line(x, y, x, y + row_h, INK, 2.5)
    bottom = top3 + len(SENSITIVITIES) * row_h
    for c, counts in enumerate(SWITCH_COUNTS):
        x = left + (c + 0.5) * col_w
        svg.text(x, bottom + 16, str(counts), 11, "middle", MUTED)
        svg.text(x, bottom + 30, str(counts * 40), 10, "middle", "#888888")
    svg.text(left - 8, bottom + 16, "counts per cycle", 10, "end", MUTED)
    svg.text(left - 8, bottom + 30, "counts per second", 10, "end", "#888888")
    svg.text(left + plot_w / 2, bottom + 50, "how fast the wheel turns", 12, "middle")
    svg.add(f'<text transform="translate({left - 48:.1f},{top3 + len(SENSITIVITIES) * row_h / 2:.1f})'
            f' rotate(-90)" font-size="12" text-anchor="middle" fill="{INK}">setting</text>')
    lx = left + plot_w + 12
    svg.rect(lx, top3, 14, 14, STEP_BLUE)
    svg.text(lx + 20, top3 + 11, "step jog", 11)
    svg.rect(lx, top3 + 20, 14, 14, VELOCITY_ORANGE)
    svg.text(lx + 20, top3 + 31, "velocity jog", 11)
    svg.line(lx + 7, top3 + 40, lx + 7, top3 + 56, INK, 2.5)
    svg.text(lx + 20, top3 + 52, "switch point", 11)
    svg.save(path)


def draw_demo_session(sim, path):
    done = subprocess.run([sim, "--plot", path], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"draw-simulator-pictures: the demo failed:\n{done.stderr}")


PICTURES = [("tuning-chart.svg", draw_tuning_chart), ("demo-session.svg", draw_demo_session)]


def main():
    args = sys.argv[1:]
    check = bool(args) and args[0] == "--check"
    if check:
        args = args[1:]
    if not args or len(args) > (1 if check else 2):
        sys.exit(__doc__)
    sim = os.path.abspath(args[0])
    images = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "images")
    if not check:
        out = args[1] if len(args) > 1 else images
        os.makedirs(out, exist_ok=True)
        for name, draw in PICTURES:
            draw(sim, os.path.join(out, name))
            print(os.path.normpath(os.path.join(out, name)))
        return
    work = tempfile.mkdtemp()
    try:
        stale = []
        for name, draw in PICTURES:
            draw(sim, os.path.join(work, name))
            committed = os.path.join(images, name)
            if not os.path.exists(committed) or not filecmp.cmp(os.path.join(work, name),
                                                                 committed, shallow=False):
                stale.append(name)
        if stale:
            sys.exit("draw-simulator-pictures: docs/images/" + ", docs/images/".join(stale) +
                     " no longer match what the simulator draws; rerun "
                     "scripts/pictures/draw-simulator-pictures.py "
                     "build/posix/tools/hostsim/k4-hostsim, "
                     "look at the pictures and commit them")
        print("the guide's simulator pictures match the simulator")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
