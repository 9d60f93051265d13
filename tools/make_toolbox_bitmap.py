#!/usr/bin/env python3
"""Writes the control's toolbox picture: a 24 x 24, 4-bit BMP file showing a
small monitor with a play sign on its screen. Containers draw the colour of
the bottom-left pixel (silver here) as transparent.

Usage: make_toolbox_bitmap.py OUTPUT.bmp [--ascii]
"""
import struct
import sys

SIZE = 24
SILVER, BLACK, NAVY, WHITE, GREY, YELLOW = range(6)
PALETTE = [(192, 192, 192), (0, 0, 0), (0, 0, 128), (255, 255, 255), (128, 128, 128),
           (255, 255, 0)] + [(0, 0, 0)] * 10  # (r, g, b)
ASCII = {SILVER: ".", BLACK: "#", NAVY: "n", WHITE: "w", GREY: "g", YELLOW: "y"}


def picture():
    rows = [[SILVER] * SIZE for _ in range(SIZE)]

    def fill(x0, y0, x1, y1, colour):  # inclusive corners, top-down rows
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                rows[y][x] = colour

    fill(1, 2, 22, 17, BLACK)  # the monitor's case
    fill(3, 4, 20, 15, NAVY)  # its screen
    fill(3, 4, 20, 4, GREY)  # a lit edge along the top of the screen
    # The play sign: a triangle pointing right, 7 rows high at its base.
    for i in range(7):
        half = (6 - i) // 2
        for y in range(9 - half, 10 + half):
            rows[y][9 + i] = YELLOW
    fill(10, 18, 13, 19, GREY)  # the neck
    fill(6, 20, 17, 21, BLACK)  # the foot
    fill(7, 20, 16, 20, GREY)
    return rows


def bmp(rows):
    row_bytes = ((SIZE * 4 + 31) // 32) * 4
    offset = 14 + 40 + 4 * len(PALETTE)
    size = offset + row_bytes * SIZE
    out = bytearray(b"BM" + struct.pack("<IHHI", size, 0, 0, offset))
    out += struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 4, 0, row_bytes * SIZE, 2835, 2835,
                       len(PALETTE), 0)
    for r, g, b in PALETTE:
        out += bytes((b, g, r, 0))
    for row in reversed(rows):  # bottom-up rows
        line = bytearray()
        for x in range(0, SIZE, 2):
            line.append((row[x] << 4) | row[x + 1])
        line += bytes(row_bytes - len(line))
        out += line
    return bytes(out)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write(__doc__)
        return 2
    rows = picture()
    with open(argv[1], "wb") as f:
        f.write(bmp(rows))
    if "--ascii" in argv[2:]:
        for row in rows:
            print("".join(ASCII[c] for c in row))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
