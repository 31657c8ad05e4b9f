#!/usr/bin/env python3
"""Draws the user guide's diagrams as SVG files from simple shapes and text.

Usage: draw-guide-pictures.py [OUTPUT_DIR]     (default: docs/images beside this script's tree)

  pendant-controls.svg  the pendant's controls and what each one is for
  knob-positions.svg    the mode knob: what each position does
  click-timing.svg      click, double click and hold, counted in host update ticks

Only the standard library is used. The colours follow the pendant picture of the configuration
dialog (scripts/pictures/draw-dialog-pictures.py), so the guide and the dialog look like one product.
"""
import math
import os
import sys
from xml.sax.saxutils import escape

FONT = "DejaVu Sans, Verdana, Arial, sans-serif"
INK = "#222222"
BODY = "#3a3d42"
STOP_RED = "#d63a32"
CYCLE_GREEN = "#2fa84f"
SIDE_ORANGE = "#f28c1b"
KNOB_GREY = "#b9bcc1"
LAMP_RED = "#e2463c"
CALLOUT = "#55606e"
PAPER = "#ffffff"


class Svg:
    def __init__(self, width, height, title):
        self.width = width
        self.height = height
        self.parts = [f"<title>{escape(title)}</title>",
                      f'<rect width="{width}" height="{height}" fill="{PAPER}"/>']

    def add(self, element):
        self.parts.append(element)

    def rect(self, x, y, w, h, fill, rx=0, stroke="none", width=1):
        self.add(f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{rx}" fill="{fill}" '
                 f'stroke="{stroke}" stroke-width="{width}"/>')

    def circle(self, cx, cy, r, fill, stroke="none", width=1):
        self.add(f'<circle cx="{cx:.1f}" cy="{cy:.1f}" r="{r}" fill="{fill}" stroke="{stroke}" '
                 f'stroke-width="{width}"/>')

    def line(self, x1, y1, x2, y2, colour=CALLOUT, width=1.5, dash=None):
        dashed = f' stroke-dasharray="{dash}"' if dash else ""
        self.add(f'<line x1="{x1:.1f}" y1="{y1:.1f}" x2="{x2:.1f}" y2="{y2:.1f}" '
                 f'stroke="{colour}" stroke-width="{width}"{dashed}/>')

    def text(self, x, y, string, size=14, anchor="start", weight="normal", colour=INK):
        self.add(f'<text x="{x:.1f}" y="{y:.1f}" font-family="{FONT}" font-size="{size}" '
                 f'font-weight="{weight}" fill="{colour}" text-anchor="{anchor}">'
                 f"{escape(string)}</text>")

    def lines(self, x, y, strings, size=14, anchor="start", first_bold=True, spacing=1.3):
        for i, string in enumerate(strings):
            weight = "bold" if first_bold and i == 0 else "normal"
            self.text(x, y + i * size * spacing, string, size, anchor, weight)

    def svg(self):
        body = "\n".join(self.parts)
        return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{self.width}" '
                f'height="{self.height}" viewBox="0 0 {self.width} {self.height}">\n{body}\n</svg>\n')


def pendant_controls():
    s = Svg(900, 560, "The pendant's controls")
    # The body, seen from the front; SIDE sits on the left edge.
    bx, by, bw, bh = 335, 40, 260, 470
    s.rect(bx, by, bw, bh, BODY, rx=34)
    s.rect(bx + 110, by - 18, 40, 20, "#222", rx=4)  # cable
    # Lamps and the axis display.
    s.rect(bx + 30, by + 32, bw - 60, 58, "#1f2226", rx=8)
    for i in range(3):
        s.circle(bx + 62 + i * 38, by + 61, 10, LAMP_RED, stroke="#111")
    s.rect(bx + 170, by + 44, 52, 34, "#0c0e10", rx=4)
    s.text(bx + 196, by + 69, "Z", 22, "middle", "bold", "#ff6a50")
    # STOP, the mode knob, the cycle button.
    s.circle(bx + 62, by + 150, 24, STOP_RED, stroke="#111", width=2)
    s.text(bx + 62, by + 192, "STOP", 13, "middle", "bold", "#ffffff")
    s.circle(bx + 130, by + 150, 22, KNOB_GREY, stroke="#111", width=2)
    s.line(bx + 130, by + 150, bx + 130, by + 130, "#222", 3)
    s.circle(bx + 198, by + 150, 24, CYCLE_GREEN, stroke="#111", width=2)
    # The reset switch.
    s.rect(bx + 112, by + 212, 36, 22, "#1f2226", rx=4, stroke="#888")
    s.rect(bx + 116, by + 216, 14, 14, "#d9d9d9", rx=2)
    # The wheel.
    wx, wy = bx + 130, by + 350
    s.circle(wx, wy, 92, "#2b2d31", stroke="#777", width=6)
    s.circle(wx, wy, 76, "#a9acb1", stroke="#666", width=2)
    s.circle(wx + 40, wy - 38, 12, "#7d8086")
    # SIDE on the left edge.
    s.rect(bx - 12, by + 150, 16, 64, SIDE_ORANGE, rx=5, stroke="#111")

    left = 20
    right = 645
    callouts = [
        # (anchor point on the pendant, text position, side, lines)
        ((bx + 40, by + 61), (left, 60), "left",
         ["Three lamps", "copy the host's LEDs 800, 804, 805.", "Wheel ignored while 804 or 805 lit."]),
        ((bx + 222, by + 61), (right, 60), "right",
         ["Axis indicator", "the axis the wheel moves", "(X, Y, Z, and A, B, C if included)"]),
        ((bx + 38, by + 150), (left, 150), "left",
         ["STOP", "double click at knob 1: next step size", "single click: TAB screen"]),
        ((bx - 12, by + 182), (left, 250), "left",
         ["SIDE", "click: next axis", "hold: second function"]),
        ((bx + 152, by + 140), (right, 140), "right",
         ["Mode knob", "positions 1 to 9", "(see the knob picture)"]),
        ((bx + 222, by + 160), (right, 215), "right",
         ["Cycle button", "with SIDE held: cycle start"]),
        ((bx + 148, by + 223), (right, 290), "right",
         ["Reset switch", "on: puts the host in reset", "off: takes it out of reset"]),
        ((wx - 92, wy), (left, 380), "left",
         ["Jog wheel", "steps, speed, or adjusts a", "value, depending on the knob"]),
    ]
    for (px, py), (tx, ty), side, words in callouts:
        s.circle(px, py, 4, CALLOUT)
        if side == "left":
            s.line(px, py, 292, ty - 5)
            s.lines(tx, ty, words, 14)
        else:
            s.line(px, py, tx - 10, ty - 5)
            s.lines(tx, ty, words, 14)
    s.text(465, 545, "SIDE + STOP: stop.  SIDE + cycle button: cycle start.  Schematic, not to scale.",
           13, "middle", colour=CALLOUT)
    return s.svg()


KNOB_LABELS = {
    1: ["1  Step jog", "(automatic step / velocity", "while Auto Mode is ticked)", "SIDE held: single step", "or velocity jog"],
    2: ["2  Velocity jog", "speed follows the wheel", "SIDE held: slower"],
    3: ["3  Continuous jog", "at the jog speed %", "SIDE held: as position 4"],
    4: ["4  Adjust jog speed %", "DRO 3, 0.1 to 100"],
    5: ["5  Adjust DRO 821", "1 to 250"],
    6: ["6  Adjust DRO 74", "1 to 250"],
    7: ["7  Zero / reference", "STOP double click: zero", "SIDE + STOP double: ref."],
    8: ["8  Actions row F1", "STOP / SIDE + STOP"],
    9: ["9  Actions row F2", "STOP / SIDE + STOP"],
}


def knob_positions():
    s = Svg(900, 600, "The mode knob")
    cx, cy, radius = 450, 320, 120
    s.circle(cx, cy, radius + 26, "#e9eaec", stroke="#9aa0a6", width=2)
    s.circle(cx, cy, radius - 30, KNOB_GREY, stroke="#333", width=3)
    # Nine positions over 270 degrees, position 1 at lower left, clockwise to 9 at lower right.
    for position in range(1, 10):
        angle = math.radians(225 - (position - 1) * 270 / 8)
        ix, iy = cx + (radius - 4) * math.cos(angle), cy - (radius - 4) * math.sin(angle)
        s.circle(ix, iy, 15, BODY)
        s.text(ix, iy + 6, str(position), 16, "middle", "bold", "#ffffff")
        lx = cx + (radius + 60) * math.cos(angle)
        ly = cy - (radius + 60) * math.sin(angle)
        s.line(cx + (radius + 14) * math.cos(angle), cy - (radius + 14) * math.sin(angle),
               lx, ly, CALLOUT, 1.2)
        words = KNOB_LABELS[position]
        anchor = "middle"
        if lx < cx - 40:
            anchor = "end"
        elif lx > cx + 40:
            anchor = "start"
        tx = lx + (-6 if anchor == "end" else 6 if anchor == "start" else 0)
        ty = ly - (len(words) * 17 + 4) if ly < cy - radius else ly + 5
        if abs(ly - cy) < radius and anchor != "middle":
            ty = ly - 8
        s.lines(tx, ty, words, 14, anchor)
    # Pointer at position 1.
    pointer = math.radians(225)
    s.line(cx, cy, cx + (radius - 40) * math.cos(pointer), cy - (radius - 40) * math.sin(pointer),
           "#222", 5)
    s.text(cx, 585, "Any other knob reading keeps the mode you had.", 13, "middle",
           colour=CALLOUT)
    return s.svg()


def click_timing():
    s = Svg(860, 360, "Clicks, double clicks and holds")
    tick = 42  # pixels per host update tick
    x0 = 230
    rows = [
        ("Click", "a press shorter than 5 ticks", [(0, 3)], None),
        ("Double click", "second press starts within", [(0, 2), (5, 7)], (2, 5, "3 ticks at most")),
                ("Hold", "5 ticks or more: no click", [(0, 7)], None),
    ]
    y = 60
    for name, note, presses, gap in rows:
        if presses is None:
            continue
        s.text(20, y + 8, name, 16, weight="bold")
        s.text(20, y + 28, note, 13, colour=CALLOUT)
        if name == "Double click":
            s.text(20, y + 45, "3 ticks of the first release", 13, colour=CALLOUT)
        # Tick grid and the signal: low while up, high while pressed.
        for t in range(0, 14):
            s.line(x0 + t * tick, y - 22, x0 + t * tick, y + 26, "#e3e5e8", 1)
        level_up, level_down = y + 18, y - 14
        points = [(x0, level_up)]
        for start, end in presses:
            points += [(x0 + start * tick + 10, level_up), (x0 + start * tick + 10, level_down),
                       (x0 + end * tick + 10, level_down), (x0 + end * tick + 10, level_up)]
        points.append((x0 + 13 * tick, level_up))
        path = " ".join(f"{px:.0f},{py:.0f}" for px, py in points)
        s.add(f'<polyline points="{path}" fill="none" stroke="{INK}" stroke-width="3"/>')
        for start, end in presses:
            s.rect(x0 + start * tick + 10, level_down, (end - start) * tick, level_up - level_down,
                   "#f4b4ae", stroke="none")
            s.text(x0 + (start + end) / 2 * tick + 10, level_down + 21, "pressed", 12, "middle")
        if gap:
            ga, gb, words = gap
            s.line(x0 + ga * tick + 10, y + 38, x0 + gb * tick + 10, y + 38, CALLOUT, 1.5)
            s.text(x0 + (ga + gb) / 2 * tick + 10, y + 54, words, 12, "middle", colour=CALLOUT)
        y += 100
    for t in range(0, 14, 2):
        s.text(x0 + t * tick, y - 40, str(t), 12, "middle", colour=CALLOUT)
    s.text(x0 + 6.5 * tick, y - 20, "host update ticks (at 10 a second: 0.1 s each)", 13, "middle",
           colour=CALLOUT)
    return s.svg()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "docs", "images")
    os.makedirs(out, exist_ok=True)
    for name, draw in (("pendant-controls.svg", pendant_controls),
                       ("knob-positions.svg", knob_positions),
                       ("click-timing.svg", click_timing)):
        with open(os.path.join(out, name), "w", encoding="utf-8") as f:
            f.write(draw())
        print(os.path.join(out, name))


if __name__ == "__main__":
    main()
