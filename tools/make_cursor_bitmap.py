#!/usr/bin/env python3
"""Writes the player's software cursor picture: a 44 x 44, 4-bit BMP file
with a plain arrow (black outline, white fill) whose tip is the top-left
pixel, on a pure red background that the player draws as transparent.

Usage: make_cursor_bitmap.py OUTPUT.bmp [--ascii]
"""
import struct
import sys

SIZE = 44
# The 16 standard colours, so that a cursor picture of the same size that a
# recording sends later keeps its colours as well as 4 bits allow.
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
           (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
           (255, 0, 255), (0, 255, 255), (255, 255, 255)]  # (r, g, b)
BLACK, RED, WHITE = 0, 9, 15

# The arrow's outline, tip first, in pixel-corner coordinates: a pixel
# belongs to the arrow when its centre lies inside.
ARROW = [(0, 0), (0, 27), (6, 21), (10, 31), (14, 29), (10, 20), (19, 20)]


def inside(px, py):
    """Even-odd rule test of the point against the arrow polygon."""
    hit = False
    n = len(ARROW)
    for i in range(n):
        x1, y1 = ARROW[i]
        x2, y2 = ARROW[(i + 1) % n]
        if (y1 > py) != (y2 > py):
            cross = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
            if px <= cross:
                hit = not hit
    return hit


def picture():
    filled = [[inside(x + 0.5, y + 0.5) for x in range(SIZE)] for y in range(SIZE)]
    filled[0][0] = True  # the hot spot
    rows = []
    for y in range(SIZE):
        row = []
        for x in range(SIZE):
            if not filled[y][x]:
                row.append(RED)
                continue
            edge = x == 0 or y == 0 or any(
                not (0 <= x + dx < SIZE and 0 <= y + dy < SIZE and filled[y + dy][x + dx])
                for dx in (-1, 0, 1) for dy in (-1, 0, 1))
            row.append(BLACK if edge else WHITE)
        rows.append(row)
    return rows


def bmp(rows):
    row_bytes = ((SIZE * 4 + 31) // 32) * 4
    offset = 14 + 40 + 4 * len(PALETTE)
    size = offset + row_bytes * SIZE
    out = bytearray(b"BM" + struct.pack("<IHHI", size, 0, 0, offset))
    out += struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 4, 0, row_bytes * SIZE, 2835, 2835, len(PALETTE), 0)
    for r, g, b in PALETTE:
        out += bytes((b, g, r, 0))
    for row in reversed(rows):  # bottom-up rows
        packed = bytearray()
        for x in range(0, SIZE, 2):
            packed.append((row[x] << 4) | row[x + 1])
        out += packed + bytes(row_bytes - len(packed))
    return bytes(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    rows = picture()
    with open(sys.argv[1], "wb") as f:
        f.write(bmp(rows))
    if "--ascii" in sys.argv[2:]:
        for row in rows:
            print("".join({BLACK: "#", WHITE: ".", RED: "-"}[c] for c in row))


if __name__ == "__main__":
    main()
