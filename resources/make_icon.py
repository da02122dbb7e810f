#!/usr/bin/env python3
"""Writes resources/KestrixTray.ico: the program's icon, a small bar graph in
16 x 16 and 32 x 32, each a 32-bit image with an alpha channel and its AND mask.

Run it again only when the picture changes; the .ico is kept in the repository.
"""
import os
import struct
import sys

FRAME = (0x37, 0x38, 0x3A)   # RGB of the frame, the upper frame grey of the load graph
FIELD = (0xFF, 0xFF, 0xFF)   # the graph's field
GRID = (0x80, 0x80, 0x80)    # grid lines
BAR = (0x00, 0x80, 0xFF)     # the bars
BARS = [0.35, 0.55, 0.45, 0.80, 0.65, 0.95]  # heights of the bars, left to right


def picture(size):
    """Rows from the top; each pixel (r, g, b, a)."""
    rows = [[FIELD + (255,) for _ in range(size)] for _ in range(size)]
    step = size // 4
    for y in range(step, size, step):
        for x in range(size):
            rows[y][x] = GRID + (255,)
    inner = size - 2
    bar_width = max(1, inner // len(BARS))
    for i, height in enumerate(BARS):
        top = size - 1 - int(round(height * (inner - 1)))
        for x in range(1 + i * bar_width, min(size - 1, 1 + (i + 1) * bar_width - (1 if size >= 32 else 0))):
            for y in range(top, size - 1):
                rows[y][x] = BAR + (255,)
    for i in range(size):
        for (x, y) in ((i, 0), (i, size - 1), (0, i), (size - 1, i)):
            rows[y][x] = FRAME + (255,)
    return rows


def dib(size):
    rows = picture(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = b"\x00" * (mask_stride * size)  # every pixel opaque
    return header + xor + mask


def main():
    sizes = [16, 32]
    images = [dib(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b"".join(images)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "KestrixTray.ico")
    with open(path, "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
