#!/usr/bin/env python3
"""Draws the status panel's badge images as pixel art and writes them as PNG files.

Each badge comes as a lit and an unlit image on the panel's two blues; magenta, RGB(255,0,255),
marks the pixels the panel leaves transparent. The images are committed, so the build never runs
this; run it again after changing a glyph:

    scripts/make_badges.py [output folder, default src/res/badges]

Plain Python only (zlib and struct), so it runs wherever Python 3 does.
"""

import os
import struct
import sys
import zlib

LIT = (84, 151, 216)
UNLIT = (45, 92, 137)
TRANSPARENT = (255, 0, 255)
INK = (0, 0, 0)

# A 5 x 7 pixel font, only the letters the badges spell ('I' is narrower).
GLYPHS = {
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "I": ["###", ".#.", ".#.", ".#.", ".#.", ".#.", "###"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "C": [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "U": ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "S": [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "3": ["####.", "....#", "....#", ".###.", "....#", "....#", "####."],
    "/": ["....#", "....#", "...#.", "..#..", ".#...", "#....", "#...."],
    "G": [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".###."],
    "W": ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"],
    " ": ["..", "..", "..", "..", "..", "..", ".."],
}
GLYPH_HEIGHT = 7

# '#' the badge colour, 'o' ink, '.' transparent.
PADLOCK = [
    "...#####...",
    "..#######..",
    "..##...##..",
    "..##...##..",
    "..##...##..",
    "..##...##..",
    ".#########.",
    "###########",
    "#####o#####",
    "####ooo####",
    "#####o#####",
    "#####o#####",
    "###########",
    ".#########.",
]

HEADPHONES = [
    "....#######....",
    "..###.....###..",
    ".##.........##.",
    ".#...........#.",
    "##...........##",
    "#.............#",
    "#.............#",
    "###.........###",
    "####.......####",
    "####.......####",
    "####.......####",
    "####.......####",
    ".###.......###.",
]

# File stem, size, text (or None for a glyph image).
BADGES = [
    ("on_air", 40, 11, "ON AIR"),
    ("cluster", 53, 11, "CLUSTER"),
    ("mp3_ogg", 51, 11, "MP3/OGG"),
    ("wma", 32, 11, "WMA"),
    ("padlock", 11, 14, None),
    ("listener", 15, 13, None),
]


def text_width(text):
    return sum(len(GLYPHS[c][0]) for c in text) + len(text) - 1


def label_badge(width, height, text, colour):
    """A rounded plate of the colour with the text in ink, centred."""
    pixels = [[colour] * width for _ in range(height)]
    for x, y in ((0, 0), (width - 1, 0), (0, height - 1), (width - 1, height - 1)):
        pixels[y][x] = TRANSPARENT
    left = (width - text_width(text)) // 2
    top = (height - GLYPH_HEIGHT) // 2
    for c in text:
        glyph = GLYPHS[c]
        for dy, row in enumerate(glyph):
            for dx, cell in enumerate(row):
                if cell == "#":
                    pixels[top + dy][left + dx] = INK
        left += len(glyph[0]) + 1
    return pixels


def glyph_badge(width, height, art, colour):
    assert len(art) == height and all(len(row) == width for row in art)
    palette = {"#": colour, "o": INK, ".": TRANSPARENT}
    return [[palette[cell] for cell in row] for row in art]


def png(pixels):
    height = len(pixels)
    width = len(pixels[0])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in pixels)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "res", "badges")
    os.makedirs(out, exist_ok=True)
    for stem, width, height, text in BADGES:
        for state, colour in (("lit", LIT), ("unlit", UNLIT)):
            if text is not None:
                assert text_width(text) <= width - 2, stem
                pixels = label_badge(width, height, text, colour)
            else:
                pixels = glyph_badge(width, height, PADLOCK if stem == "padlock" else HEADPHONES,
                                     colour)
            with open(os.path.join(out, "%s_%s.png" % (stem, state)), "wb") as f:
                f.write(png(pixels))


if __name__ == "__main__":
    main()
