#!/usr/bin/env python3
"""Draws the program icon (a serial connector with a filter arrow): velquin.ico,
kept beside this script.

    python3 velquin/win32/ui/res/make_icon.py

draws it anew after a change to this script or to common/win32/image_encoding.py,
with make_icon.sha256, the record the build checks it against. The file is the
same byte for byte from run to run.

Images of 16, 20, 24, 32, 40 and 48 pixels, and one of 256 pixels stored as
PNG, each pixel supersampled so edges are smooth at every size; drawn by hand
so that nothing beyond python3 is needed.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "..",
                                "common", "win32"))
import image_encoding  # noqa: E402  (found through the path above)

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


def main():
    images = [(n, [pixel(x, y, n) for y in range(n) for x in range(n)]) for n in SIZES]
    image_encoding.write_beside(__file__, {"velquin.ico": image_encoding.ico(images)})


if __name__ == "__main__":
    main()
