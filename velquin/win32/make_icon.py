#!/usr/bin/env python3
"""Draws the program icon (a serial connector with a filter arrow) as an ICO file.

ICO with images of 16, 20, 24, 32, 40 and 48 pixels (32-bit BGRA with an AND
mask) and one of 256 pixels stored as PNG, each pixel supersampled so edges
are smooth at every size; written by hand so the build needs nothing beyond
python3.
"""
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 256)

BACK = (0x1F, 0x5F, 0xB4, 255)     # blue tile
BODY = (0xE8, 0xE8, 0xE8, 255)     # connector shell
PIN = (0x30, 0x30, 0x30, 255)
MARK = (0x2E, 0xB8, 0x4A, 255)     # green filter bar
CLEAR = (0, 0, 0, 0)


def sample(u, v, n):
    """Colour at (u, v), both 0..1 with v downwards, in an image of n pixels."""
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


def pixel(x, y, n):
    """Straight-alpha RGBA of pixel (x, y): the mean of its samples."""
    per_axis = 4 if n <= 48 else 2
    total = [0.0, 0.0, 0.0, 0.0]
    for sy in range(per_axis):
        for sx in range(per_axis):
            r, g, b, a = sample((x + (sx + 0.5) / per_axis) / n, (y + (sy + 0.5) / per_axis) / n, n)
            total = [total[0] + r * a, total[1] + g * a, total[2] + b * a, total[3] + a]
    count = per_axis * per_axis
    alpha = total[3] / count
    if alpha == 0:
        return (0, 0, 0, 0)
    return tuple(round(c / total[3]) for c in total[:3]) + (round(alpha),)


def image(pixels, n):
    rows = []
    for y in reversed(range(n)):                   # BMP rows run bottom-up
        rows.append(b"".join(bytes((p[2], p[1], p[0], p[3])) for p in pixels[y]))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(n)):
        row = bytearray(mask_row)
        for x in range(n):
            if pixels[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + bytes(mask)


def png(pixels, n):
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    images = []
    for n in SIZES:
        pixels = [[pixel(x, y, n) for x in range(n)] for y in range(n)]
        images.append(png(pixels, n) if n >= 256 else image(pixels, n))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
