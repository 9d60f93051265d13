#!/usr/bin/env python3
"""Writes the exception dialog's pictures as 24-bit BMP files into a folder:
the header picture (a red disc with a white cross, 32 x 32), the four 16 x 16
row icons of the list pages (library, package, program, source unit) and the
13 x 13 plus and minus signs of the group headers. Each picture's top-left
pixel is the background that the dialog draws as transparent.

Usage: make_dialog_bitmaps.py FOLDER
"""
import os
import struct
import sys

MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
GREY = (128, 128, 128)


def write_bmp(path, pixels):
    """pixels: rows from the top, each a list of (r, g, b)."""
    height = len(pixels)
    width = len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += bytes(stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def canvas(w, h, colour=MAGENTA):
    return [[colour] * w for _ in range(h)]


def error_picture():
    size = 32
    p = canvas(size, size)
    c = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= 15:
                p[y][x] = (96, 0, 0) if d > 13.5 else (220, 32, 32)
    for i in range(9, 23):
        for t in (-1, 0, 1):
            for x, y in ((i + t, i), (i + t, 31 - i)):
                if 0 <= x < size:
                    p[y][x] = WHITE
    return p


def page_icon(fill, mark):
    """A sheet with a folded corner in the fill colour and a 5 x 5 mark."""
    p = canvas(16, 16)
    for y in range(1, 15):
        for x in range(3, 13):
            edge = x in (3, 12) or y in (1, 14)
            p[y][x] = BLACK if edge else fill
    for y in range(1, 4):
        for x in range(13 - (4 - y), 13):
            p[y][x] = MAGENTA
    for dy, row in enumerate(mark):
        for dx, ch in enumerate(row):
            if ch == "#":
                p[6 + dy][5 + dx] = BLACK
    return p


def sign(plus):
    p = canvas(13, 13)
    for y in range(2, 11):
        for x in range(2, 11):
            edge = x in (2, 10) or y in (2, 10)
            p[y][x] = GREY if edge else WHITE
    for x in range(4, 9):
        p[6][x] = BLACK
    if plus:
        for y in range(4, 9):
            p[y][6] = BLACK
    return p


MARKS = {
    "rr_dll": (("#####", "#...#", "#...#", "#...#", "#####"), (230, 230, 230)),
    "rr_bpl": (("####.", "#...#", "####.", "#...#", "####."), (255, 236, 160)),
    "rr_vcl": (("#...#", "#...#", ".#.#.", ".#.#.", "..#.."), (180, 210, 255)),
    "rr_pas": (("####.", "#...#", "####.", "#....", "#...."), (200, 240, 200)),
}


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    write_bmp(os.path.join(folder, "rr_error.bmp"), error_picture())
    for name, (mark, fill) in MARKS.items():
        write_bmp(os.path.join(folder, name + ".bmp"), page_icon(fill, mark))
    write_bmp(os.path.join(folder, "rr_plus.bmp"), sign(True))
    write_bmp(os.path.join(folder, "rr_minus.bmp"), sign(False))


if __name__ == "__main__":
    main()
