#!/usr/bin/env python3
"""Draws the configuration dialog's pictures as 24-bit BMP files from simple shapes.

Usage: draw-dialog-pictures.py OUTPUT_DIR

The pictures are the pendant's front, the group markers S, V and C, the X/Y/Z lamps, the axis
letters A, B and C, the row markers F1 and F2, the action button and the side button. Only the
standard library is used: the BMP bytes are written directly.
"""
import math
import os
import struct
import sys

FACE = (240, 240, 240)  # the dialog's face colour, so the pictures sit flush on it

# 5 x 7 glyphs, one string per row, '#' for a lit pixel.
GLYPHS = {
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "B": ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "V": ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "X": ["#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "Z": ["#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "2": [".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"],
}


class Canvas:
    def __init__(self, width, height, background=FACE):
        self.width = width
        self.height = height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def rounded_rect(self, x0, y0, x1, y1, radius, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx = min(max(x, x0 + radius), x1 - 1 - radius)
                cy = min(max(y, y0 + radius), y1 - 1 - radius)
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(int(cy - radius) - 1, int(cy + radius) + 2):
            for x in range(int(cx - radius) - 1, int(cx + radius) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def ring(self, cx, cy, inner, outer, colour):
        for y in range(int(cy - outer) - 1, int(cy + outer) + 2):
            for x in range(int(cx - outer) - 1, int(cx + outer) + 2):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if inner * inner <= d <= outer * outer:
                    self.put(x, y, colour)

    def text(self, x, y, string, colour, scale=1):
        for ch in string:
            glyph = GLYPHS[ch]
            for row, bits in enumerate(glyph):
                for col, bit in enumerate(bits):
                    if bit == "#":
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += 6 * scale

    def centred_text(self, cx, cy, string, colour, scale=1):
        width = (6 * len(string) - 1) * scale
        self.text(cx - width // 2, cy - (7 * scale) // 2, string, colour, scale)

    def bmp(self):
        row_size = (self.width * 3 + 3) & ~3
        image = bytearray()
        for row in reversed(self.pixels):  # bottom-up, as BMP stores rows
            line = bytearray()
            for r, g, b in row:
                line += bytes((b, g, r))
            line += b"\0" * (row_size - len(line))
            image += line
        header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(image), 0, 0, 14 + 40)
        info = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0, len(image),
                           2835, 2835, 0, 0)
        return header + info + bytes(image)


def pendant_front():
    c = Canvas(274, 214)
    body, edge = (52, 54, 60), (30, 31, 35)
    c.rect(128, 0, 146, 8, (20, 20, 20))  # cable
    c.rounded_rect(58, 6, 216, 210, 20, edge)
    c.rounded_rect(61, 9, 213, 207, 18, body)
    c.rect(52, 96, 59, 136, (230, 130, 30))  # side button on the left edge
    # Display window with the three axis lamps.
    c.rounded_rect(78, 20, 196, 58, 4, (24, 40, 28))
    for i, (letter, lit) in enumerate((("X", False), ("Y", False), ("Z", True))):
        x = 96 + i * 38
        c.disc(x, 39, 7, (250, 70, 50) if lit else (90, 30, 26))
        c.text(x + 10, 36, letter, (210, 230, 210))
    # STOP and cycle buttons.
    c.disc(98, 82, 13, (120, 20, 20))
    c.disc(98, 82, 11, (210, 40, 36))
    c.centred_text(98, 103, "STOP", (235, 235, 235))
    c.disc(176, 82, 13, (20, 80, 30))
    c.disc(176, 82, 11, (50, 170, 70))
    # Mode knob.
    c.disc(137, 84, 12, (25, 25, 28))
    c.disc(137, 84, 10, (120, 122, 128))
    c.rect(136, 74, 139, 84, (245, 245, 245))
    # Jog wheel: a knurled rim, the dish and the finger dimple.
    c.disc(137, 158, 42, (18, 18, 20))
    for step in range(60):
        angle = step * math.pi / 30
        c.disc(137 + 39 * math.cos(angle), 158 + 39 * math.sin(angle), 2, (95, 97, 104))
    c.disc(137, 158, 33, (150, 153, 160))
    c.ring(137, 158, 31, 33, (110, 112, 118))
    c.disc(155, 143, 7, (95, 97, 104))
    return c


def marker(letter):
    c = Canvas(20, 20)
    c.rounded_rect(0, 0, 20, 20, 4, (40, 90, 160))
    c.centred_text(10, 10, letter, (255, 255, 255), 2)
    return c


def xyz_lamps():
    c = Canvas(30, 48)
    for i, letter in enumerate("XYZ"):
        y = 8 + i * 16
        c.disc(8, y, 6, (60, 20, 18))
        c.disc(8, y, 4, (240, 70, 50))
        c.text(19, y - 3, letter, (20, 20, 20))
    return c


def axis_letter(letter):
    c = Canvas(16, 16)
    c.disc(7.5, 7.5, 7.5, (60, 62, 68))
    c.disc(7.5, 7.5, 6, (235, 235, 235))
    c.text(6, 4, letter, (20, 20, 20))
    return c


def row_marker(text):
    c = Canvas(22, 16)
    c.rounded_rect(0, 0, 22, 16, 3, (90, 92, 100))
    c.centred_text(11, 8, text, (255, 255, 255))
    return c


def action_button():
    c = Canvas(16, 16)
    c.disc(7.5, 7.5, 7.5, (20, 50, 110))
    c.disc(7.5, 7.5, 6, (60, 120, 220))
    c.disc(5.5, 5.5, 2, (170, 200, 250))
    return c


def side_button():
    c = Canvas(16, 16)
    c.rounded_rect(4, 0, 12, 16, 3, (140, 70, 10))
    c.rounded_rect(5, 1, 11, 15, 2, (235, 135, 30))
    return c


PICTURES = {
    "pendant_front.bmp": pendant_front,
    "marker_s.bmp": lambda: marker("S"),
    "marker_v.bmp": lambda: marker("V"),
    "marker_c.bmp": lambda: marker("C"),
    "xyz_lamps.bmp": xyz_lamps,
    "axis_a.bmp": lambda: axis_letter("A"),
    "axis_b.bmp": lambda: axis_letter("B"),
    "axis_c.bmp": lambda: axis_letter("C"),
    "row_f1.bmp": lambda: row_marker("F1"),
    "row_f2.bmp": lambda: row_marker("F2"),
    "action_button.bmp": action_button,
    "side_button.bmp": side_button,
}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, draw in PICTURES.items():
        data = draw().bmp()
        path = os.path.join(out, name)
        # Rewrite only on change, so an unchanged picture does not rebuild the resources.
        if os.path.exists(path) and open(path, "rb").read() == data:
            continue
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
