#!/usr/bin/env python3
"""Renders the configuration tree's icons (src/res/tree/tree_icons.svg) to the four strips the
sheet loads: coloured and grey, each in true colour and in the 16 colours of a shallow display.
Every strip is 160 x 16 pixels, ten 16 x 16 icons; magenta, RGB(255,0,255), marks the pixels
left transparent. The strips are committed, so the build never runs this; run it again after
changing the SVG:

    scripts/make_tree_icons.py

Needs rsvg-convert (Debian package librsvg2-bin) and plain Python.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDER = os.path.join(HERE, "..", "src", "res", "tree")
MAGENTA = (255, 0, 255)
# The 16 colours every display can show.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
VGA_OPAQUE = [c for c in VGA if c != MAGENTA]


def read_png(path):
    """RGBA rows of an 8-bit RGBA, non-interlaced PNG (what rsvg-convert writes)."""
    data = open(path, "rb").read()
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour == 6, "expected 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(width)])
        prev = line
    return rows


def write_png(path, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def nearest(colour, palette):
    return min(palette, key=lambda p: sum((a - b) ** 2 for a, b in zip(colour, p)))


def keyed(rows, grey, shallow):
    """Opaque pixels on magenta: half-transparent edges become either."""
    out = []
    for row in rows:
        line = []
        for r, g, b, a in row:
            if a < 128:
                line.append(MAGENTA)
                continue
            # Blend the edge against a light grey so antialiasing does not darken the outline.
            r, g, b = [(v * a + 236 * (255 - a)) // 255 for v in (r, g, b)]
            if grey:
                y = (r * 30 + g * 59 + b * 11) // 100
                # Lighter and flatter than the coloured icon: the tree's normal look.
                y = 96 + y * 5 // 8
                r = g = b = y
            colour = (r, g, b)
            if shallow:
                colour = nearest(colour, VGA_OPAQUE)
            elif colour == MAGENTA:
                colour = (254, 0, 254)
            line.append(colour)
        out.append(line)
    return out


def main():
    svg = os.path.join(FOLDER, "tree_icons.svg")
    with tempfile.TemporaryDirectory() as work:
        rendered = os.path.join(work, "strip.png")
        subprocess.run(["rsvg-convert", "-w", "160", "-h", "16", svg, "-o", rendered], check=True)
        rows = read_png(rendered)
    for name, grey, shallow in (("tree_coloured.png", False, False),
                                ("tree_grey.png", True, False),
                                ("tree_coloured_16.png", False, True),
                                ("tree_grey_16.png", True, True)):
        write_png(os.path.join(FOLDER, name), keyed(rows, grey, shallow))
    return 0


if __name__ == "__main__":
    sys.exit(main())
