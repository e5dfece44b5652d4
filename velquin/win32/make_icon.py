#!/usr/bin/env python3
"""Draws the program icon (a serial connector with a filter arrow) as an ICO file.

ICO with 32x32 and 16x16 images, 32-bit BGRA with an AND mask, written by hand
so the build needs nothing beyond python3.
"""
import struct
import sys

BACK = (0x1F, 0x5F, 0xB4, 255)     # blue tile
BODY = (0xE8, 0xE8, 0xE8, 255)     # connector shell
PIN = (0x30, 0x30, 0x30, 255)
MARK = (0x2E, 0xB8, 0x4A, 255)     # green filter bar
CLEAR = (0, 0, 0, 0)


def pixel(x, y, n):
    u, v = (x + 0.5) / n, (y + 0.5) / n          # 0..1, v downwards
    r = 0.14
    # rounded tile
    dx = max(r - u, 0, u - (1 - r))
    dy = max(r - v, 0, v - (1 - r))
    if dx * dx + dy * dy > r * r:
        return CLEAR
    # green bar across the top
    if 0.12 < v < 0.24 and 0.2 < u < 0.8:
        return MARK
    # trapezoid connector shell (D-sub shape)
    top, bottom = 0.36, 0.78
    if top < v < bottom:
        t = (v - top) / (bottom - top)
        half = 0.40 - 0.10 * t
        if abs(u - 0.5) < half:
            # two rows of pins
            for row_v, count in ((0.50, 5), (0.65, 4)):
                for i in range(count):
                    pu = 0.5 + (i - (count - 1) / 2) * 0.13
                    if (u - pu) ** 2 + (v - row_v) ** 2 < 0.045 ** 2 * (1.6 if n <= 16 else 1):
                        return PIN
            return BODY
    return BACK


def image(n):
    rows = []
    for y in reversed(range(n)):                   # BMP rows run bottom-up
        rows.append(b"".join(bytes((p[2], p[1], p[0], p[3])) for p in (pixel(x, y, n) for x in range(n))))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(n)):
        row = bytearray(mask_row)
        for x in range(n):
            if pixel(x, y, n)[3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + bytes(mask)


def main(path):
    sizes = (32, 16)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
