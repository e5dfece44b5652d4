#!/usr/bin/env python3
"""Draws the setup program's images: PNG and ICO files kept beside this script.

    python3 update/win32/ui/res/make_images.py

draws them anew after a change to this script or to common/win32/image_encoding.py
(about half a minute), with make_images.sha256, the record the build checks them
against. The files are the same byte for byte from run to run.

setup-N.png (120 x 264 at 100 %, the wizard's illustration), critical-N.png
(38 x 43, the error symbol) and question-N.png (32 x 32, the exit
confirmation's symbol) are each drawn for N = 100, 150 and 200 % display
scale; update.ico is a computer with a compact disc, in images of 16, 20, 24,
32, 40, 48 and 256 pixels, all stored as PNG.

Shapes are signed distance functions (negative inside); each pixel is
supersampled, so edges are smooth without any imaging library.
"""

import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "..",
                                "common", "win32"))
import image_encoding  # noqa: E402  (found through the path above)

SAMPLES = 4  # per axis and pixel


# ---------------------------------------------------------------- canvas

class Canvas:
    """A picture drawn in design units (the 100 % pixel grid) at `scale`
    device pixels per unit, so every size is drawn, not resampled."""

    def __init__(self, width, height, background=None, scale=1.0):
        self.scale = scale
        self.width = int(width * scale + 0.5)
        self.height = int(height * scale + 0.5)
        # Edges stay as smooth at larger scales with fewer samples per pixel.
        self.samples = max(2, int(SAMPLES / scale + 0.5))
        # Straight (not premultiplied) colour and alpha, 0..1.
        fill = background if background else (0.0, 0.0, 0.0, 0.0)
        self.pixels = [list(fill) for _ in range(self.width * self.height)]

    def rgba8(self):
        """The pixels as 0..255 tuples, as image_encoding takes them."""
        return [tuple(round(v * 255) for v in p) for p in self.pixels]

    def _pixel_box(self, box):
        if not box:
            return 0, 0, self.width, self.height
        x0, y0, x1, y1 = (v * self.scale for v in box)
        return (max(0, int(x0)), max(0, int(y0)), min(self.width, int(math.ceil(x1))),
                min(self.height, int(math.ceil(y1))))

    def paint(self, shape, colour, box=None, opacity=1.0):
        """Composites `colour` (an RGBA tuple or a function of x, y) where
        `shape(x, y) < 0`, within the box (x0, y0, x1, y1); all in design units."""
        x0, y0, x1, y1 = self._pixel_box(box)
        n = self.samples
        k = 1.0 / self.scale
        offsets = [(i + 0.5) / n for i in range(n)]
        for y in range(y0, y1):
            for x in range(x0, x1):
                inside = 0
                for oy in offsets:
                    for ox in offsets:
                        if shape((x + ox) * k, (y + oy) * k) < 0:
                            inside += 1
                if not inside:
                    continue
                cover = inside / (n * n) * opacity
                c = colour((x + 0.5) * k, (y + 0.5) * k) if callable(colour) else colour
                self._blend(x, y, c, cover)

    def glow(self, shape, colour, spread, box=None, opacity=1.0):
        """A soft shadow or glow: alpha falls off over `spread` units outside
        the shape."""
        x0, y0, x1, y1 = self._pixel_box(box)
        k = 1.0 / self.scale
        for y in range(y0, y1):
            for x in range(x0, x1):
                d = shape((x + 0.5) * k, (y + 0.5) * k)
                t = 1.0 - min(max(d / spread, 0.0), 1.0)
                if t > 0:
                    self._blend(x, y, colour, t * t * opacity)

    def _blend(self, x, y, c, cover):
        r, g, b = c[0], c[1], c[2]
        a = (c[3] if len(c) > 3 else 1.0) * cover
        p = self.pixels[y * self.width + x]
        out_a = a + p[3] * (1 - a)
        if out_a <= 0:
            return
        for i, v in enumerate((r, g, b)):
            p[i] = (v * a + p[i] * p[3] * (1 - a)) / out_a
        p[3] = out_a


# ---------------------------------------------------------------- shapes

def rounded_rect(x0, y0, x1, y1, radius):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - radius, (y1 - y0) / 2 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - radius
    return sdf


def rect(x0, y0, x1, y1):
    return rounded_rect(x0, y0, x1, y1, 0.0)


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1) * min(rx, ry)


def segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def sdf(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - half_width
    return sdf


def arc(cx, cy, r, half_width, start_deg, end_deg):
    """Ring segment from start to end angle, counter-clockwise on screen
    (angles measured with y pointing up), with round caps."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    ends = [(cx + r * math.cos(a), cy - r * math.sin(a)) for a in (a0, a1)]

    def within(angle):
        span = (a1 - a0) % (2 * math.pi)
        return (angle - a0) % (2 * math.pi) <= span

    def sdf(x, y):
        angle = math.atan2(-(y - cy), x - cx)
        if within(angle):
            return abs(math.hypot(x - cx, y - cy) - r) - half_width
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - half_width
    return sdf


def polygon(points):
    """Convex or concave polygon, even-odd rule, with exact edge distance."""
    def sdf(x, y):
        d = float("inf")
        inside = False
        n = len(points)
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            t = max(0.0, min(1.0, ((x - ax) * ex + (y - ay) * ey) / (ex * ex + ey * ey)))
            d = min(d, math.hypot(x - ax - t * ex, y - ay - t * ey))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / (by - ay):
                inside = not inside
        return -d if inside else d
    return sdf


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def subtract(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


# ---------------------------------------------------------------- colours

def rgb(hex_colour, alpha=1.0):
    v = int(hex_colour.lstrip("#"), 16)
    return ((v >> 16 & 255) / 255, (v >> 8 & 255) / 255, (v & 255) / 255, alpha)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


def linear(c0, c1, x0, y0, x1, y1):
    """Gradient from c0 at (x0, y0) to c1 at (x1, y1)."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    return lambda x, y: mix(c0, c1, ((x - x0) * dx + (y - y0) * dy) / length2)


def radial(c0, c1, cx, cy, r):
    return lambda x, y: mix(c0, c1, math.hypot(x - cx, y - cy) / r)


def bounds(*coords, margin=2):
    xs, ys = coords[0::2], coords[1::2]
    return (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)


# ---------------------------------------------------------------- drawings

def draw_monitor(c, x0, y0, w, h, screen_glow=True):
    """A monitor with its screen, neck and foot; (x0, y0) is its top-left."""
    x1, y1 = x0 + w, y0 + h
    bezel = max(1.5, w * 0.09)
    c.paint(rounded_rect(x0, y0, x1, y1, w * 0.08),
            linear(rgb("f4f1ea"), rgb("c9c3b6"), x0, y0, x1, y1), bounds(x0, y0, x1, y1))
    c.paint(subtract(rounded_rect(x0, y0, x1, y1, w * 0.08),
                     rounded_rect(x0 + 0.7, y0 + 0.7, x1 - 0.7, y1 - 0.7, w * 0.07)),
            rgb("8a8478"), bounds(x0, y0, x1, y1))
    sx0, sy0, sx1, sy1 = x0 + bezel, y0 + bezel, x1 - bezel, y1 - bezel * 1.6
    c.paint(rounded_rect(sx0, sy0, sx1, sy1, w * 0.03),
            linear(rgb("2f6fc4"), rgb("0b2a5c"), sx0, sy0, sx1, sy1), bounds(sx0, sy0, sx1, sy1))
    if screen_glow:
        # A soft reflection across the upper left of the glass.
        c.paint(intersect(rounded_rect(sx0, sy0, sx1, sy1, w * 0.03),
                          polygon([(sx0, sy0), (sx0 + (sx1 - sx0) * 0.75, sy0),
                                   (sx0, sy0 + (sy1 - sy0) * 0.8)])),
                rgb("ffffff", 0.18), bounds(sx0, sy0, sx1, sy1))
    cx = (x0 + x1) / 2
    nw, nh = w * 0.12, h * 0.12
    c.paint(rect(cx - nw, y1, cx + nw, y1 + nh),
            linear(rgb("b9b2a4"), rgb("8f887b"), cx - nw, 0, cx + nw, 0),
            bounds(cx - nw, y1, cx + nw, y1 + nh))
    fw = w * 0.36
    c.paint(rounded_rect(cx - fw, y1 + nh - 0.5, cx + fw, y1 + nh + h * 0.09, h * 0.04),
            linear(rgb("ebe6dc"), rgb("a9a294"), 0, y1 + nh, 0, y1 + nh + h * 0.09),
            bounds(cx - fw, y1 + nh, cx + fw, y1 + nh + h * 0.1))
    return sx0, sy0, sx1, sy1


def draw_disc(c, cx, cy, r):
    """A compact disc: silver with a rainbow sheen and a clear hub."""
    def sheen(x, y):
        angle = math.atan2(y - cy, x - cx)
        t = 0.5 + 0.5 * math.sin(2 * angle + 0.6)
        base = mix(rgb("d8dde6"), rgb("ffffff"), t)
        tint = mix(rgb("9fd3ff"), rgb("f7c6ff"), 0.5 + 0.5 * math.cos(2 * angle))
        return mix(base, tint, 0.35 * (1 - t))
    c.paint(subtract(circle(cx, cy, r), circle(cx, cy, r * 0.17)), sheen,
            bounds(cx - r, cy - r, cx + r, cy + r))
    c.paint(subtract(circle(cx, cy, r), circle(cx, cy, r - max(0.8, r * 0.06))),
            rgb("7b8594"), bounds(cx - r, cy - r, cx + r, cy + r))
    c.paint(subtract(circle(cx, cy, r * 0.36), circle(cx, cy, r * 0.17)),
            rgb("aeb6c2", 0.9), bounds(cx - r, cy - r, cx + r, cy + r))


def draw_document(c, x0, y0, w, h):
    x1, y1 = x0 + w, y0 + h
    fold = w * 0.26
    sheet = polygon([(x0, y0), (x1 - fold, y0), (x1, y0 + fold), (x1, y1), (x0, y1)])
    box = bounds(x0, y0, x1, y1, margin=6)
    c.glow(lambda x, y: sheet(x - 2, y - 3), rgb("00282c", 0.55), 5, box)
    c.paint(sheet, linear(rgb("ffffff"), rgb("e3e8ec"), x0, y0, x1, y1), box)
    c.paint(polygon([(x1 - fold, y0), (x1, y0 + fold), (x1 - fold, y0 + fold)]),
            linear(rgb("c9d1d8"), rgb("f4f6f8"), x1 - fold, y0 + fold, x1, y0), box)
    c.paint(subtract(sheet, polygon([(x0 + 0.8, y0 + 0.8), (x1 - fold - 0.3, y0 + 0.8),
                                     (x1 - 0.8, y0 + fold + 0.3), (x1 - 0.8, y1 - 0.8),
                                     (x0 + 0.8, y1 - 0.8)])),
            rgb("8c98a3"), box)
    # Heading and text lines.
    top = y0 + h * 0.16
    c.paint(rect(x0 + w * 0.14, top, x0 + w * 0.58, top + 2.2), rgb("1f6f78"), box)
    line_y = top + 7
    widths = [0.72, 0.66, 0.72, 0.5, 0.72, 0.68, 0.4]
    for i, frac in enumerate(widths):
        y = line_y + i * 5
        if y + 1.4 > y1 - h * 0.08:
            break
        c.paint(rect(x0 + w * 0.14, y, x0 + w * (0.14 + frac), y + 1.4), rgb("9aa6b0"), box)


def draw_diskette(c, x0, y0, s, body_top, body_bottom, label_colour):
    x1, y1 = x0 + s, y0 + s
    notch = s * 0.1
    body = polygon([(x0, y0), (x1 - notch, y0), (x1, y0 + notch), (x1, y1), (x0, y1)])
    box = bounds(x0, y0, x1, y1, margin=6)
    c.glow(lambda x, y: body(x - 1.5, y - 2.5), rgb("00282c", 0.55), 4, box)
    c.paint(body, linear(body_top, body_bottom, x0, y0, x1, y1), box)
    # Metal shutter with its window.
    c.paint(rect(x0 + s * 0.25, y0, x0 + s * 0.75, y0 + s * 0.34),
            linear(rgb("f1f3f5"), rgb("9ba3ad"), x0 + s * 0.25, 0, x0 + s * 0.75, 0), box)
    c.paint(rect(x0 + s * 0.56, y0 + s * 0.05, x0 + s * 0.67, y0 + s * 0.28),
            rgb("3a3f46"), box)
    # Paper label.
    c.paint(rounded_rect(x0 + s * 0.14, y0 + s * 0.46, x1 - s * 0.14, y1, s * 0.03),
            linear(rgb("ffffff"), rgb("dfe4e8"), 0, y0 + s * 0.46, 0, y1), box)
    c.paint(rect(x0 + s * 0.14, y0 + s * 0.46, x1 - s * 0.14, y0 + s * 0.53), label_colour, box)
    for i in range(3):
        y = y0 + s * (0.62 + i * 0.11)
        c.paint(rect(x0 + s * 0.22, y, x1 - s * 0.22, y + 0.9), rgb("b3bcc4"), box)


def setup_illustration(scale):
    w, h = 120, 264
    c = Canvas(w, h, scale=scale)
    c.paint(rect(0, 0, w, h), linear(rgb("0d7f86"), rgb("03464d"), 0, 0, w * 0.35, h))
    # Light falling from the top left, and a few soft arcs for depth.
    c.glow(circle(18, 22, 4), rgb("7fe3df", 0.45), 110)
    for r, alpha in ((150, 0.07), (190, 0.05), (230, 0.04)):
        c.paint(subtract(circle(-30, 300, r + 10), circle(-30, 300, r)), rgb("ffffff", alpha))

    draw_document(c, 22, 40, 58, 76)

    # Computer: monitor on a desktop case, with a keyboard.
    cx0, cy0 = 30, 96
    c.glow(rounded_rect(cx0 - 12 + 3, 159 + 4, cx0 + 72 + 3, 181 + 4, 3), rgb("00282c", 0.5),
           6, (0, 150, w, 210))
    c.glow(rounded_rect(cx0 + 4, cy0 + 4, cx0 + 64, cy0 + 56, 5), rgb("00282c", 0.45), 6,
           (0, 80, w, 170))
    sx0, sy0, sx1, sy1 = draw_monitor(c, cx0, cy0, 60, 52)
    # Setup progress on the screen.
    c.paint(rect(sx0 + 5, sy0 + 7, sx1 - 5, sy0 + 9), rgb("ffffff", 0.85),
            bounds(sx0, sy0, sx1, sy1))
    c.paint(rounded_rect(sx0 + 5, sy1 - 10, sx1 - 5, sy1 - 5, 1.2), rgb("0a1f45"),
            bounds(sx0, sy0, sx1, sy1))
    c.paint(rounded_rect(sx0 + 5.8, sy1 - 9.2, sx0 + 5.8 + (sx1 - sx0 - 11.6) * 0.68, sy1 - 5.8,
                         0.8), linear(rgb("8ef0a6"), rgb("22b455"), 0, sy1 - 9, 0, sy1 - 6),
            bounds(sx0, sy0, sx1, sy1))
    for i in range(3):
        y = sy0 + 13 + i * 4
        c.paint(rect(sx0 + 5, y, sx0 + 5 + (sx1 - sx0 - 10) * (0.8 - i * 0.2), y + 1.2),
                rgb("b8d4ff", 0.8), bounds(sx0, sy0, sx1, sy1))

    # Desktop case under the monitor.
    kx0, ky0, kx1, ky1 = cx0 - 12, 159, cx0 + 72, 181
    c.paint(rounded_rect(kx0, ky0, kx1, ky1, 3),
            linear(rgb("f2eee6"), rgb("b9b2a4"), 0, ky0, 0, ky1), bounds(kx0, ky0, kx1, ky1))
    c.paint(subtract(rounded_rect(kx0, ky0, kx1, ky1, 3),
                     rounded_rect(kx0 + 0.7, ky0 + 0.7, kx1 - 0.7, ky1 - 0.7, 2.4)),
            rgb("8a8478"), bounds(kx0, ky0, kx1, ky1))
    c.paint(rounded_rect(kx0 + 8, ky0 + 8, kx0 + 34, ky0 + 11, 1), rgb("55504a"),
            bounds(kx0, ky0, kx1, ky1))
    c.paint(rounded_rect(kx0 + 8, ky0 + 14, kx0 + 34, ky0 + 17, 1), rgb("55504a"),
            bounds(kx0, ky0, kx1, ky1))
    c.paint(circle(kx1 - 9, ky0 + 11, 2.6), linear(rgb("a6f5b8"), rgb("1e9c48"), kx1 - 11,
                                                    ky0 + 9, kx1 - 7, ky0 + 13),
            bounds(kx1 - 13, ky0 + 7, kx1 - 5, ky0 + 15))
    c.paint(rect(kx1 - 24, ky0 + 10, kx1 - 15, ky0 + 12), rgb("8a8478"),
            bounds(kx0, ky0, kx1, ky1))

    draw_diskette(c, 14, 206, 40, rgb("2d5aa8"), rgb("14306a"), rgb("e0584a"))
    draw_diskette(c, 62, 214, 40, rgb("3a3d44"), rgb("17191d"), rgb("3fa7e0"))
    return c


def critical_symbol(scale):
    c = Canvas(38, 43, scale=scale)
    cx, cy, r = 18.5, 19.5, 16.5
    c.glow(circle(cx + 1, cy + 2.5, r), rgb("000000", 0.35), 4)
    c.paint(circle(cx, cy, r), radial(rgb("ff6b5e"), rgb("a30d0d"), cx - 5, cy - 6, r * 1.9))
    c.paint(subtract(circle(cx, cy, r), circle(cx, cy, r - 1.0)), rgb("7d0707"))
    # Highlight across the upper half.
    c.paint(intersect(circle(cx, cy, r - 2), ellipse(cx, cy - 7, r * 0.8, r * 0.55)),
            linear(rgb("ffffff", 0.45), rgb("ffffff", 0.0), 0, cy - r, 0, cy))
    arm = 7.2
    cross = union(segment(cx - arm, cy - arm, cx + arm, cy + arm, 2.5),
                  segment(cx - arm, cy + arm, cx + arm, cy - arm, 2.5))
    c.paint(lambda x, y: cross(x - 0.6, y - 0.9), rgb("5a0000", 0.45))
    c.paint(cross, rgb("ffffff"))
    return c


def question_symbol(scale):
    c = Canvas(32, 32, scale=scale)
    cx, cy, r = 15.5, 15.5, 14.5
    c.glow(circle(cx + 0.8, cy + 1.6, r), rgb("000000", 0.3), 2.5)
    c.paint(circle(cx, cy, r), radial(rgb("6fb4ff"), rgb("0f4fb0"), cx - 5, cy - 6, r * 1.9))
    c.paint(subtract(circle(cx, cy, r), circle(cx, cy, r - 0.9)), rgb("0b3b85"))
    c.paint(intersect(circle(cx, cy, r - 1.5), ellipse(cx, cy - 6.5, r * 0.78, r * 0.5)),
            linear(rgb("ffffff", 0.5), rgb("ffffff", 0.0), 0, cy - r, 0, cy))
    hook = arc(cx, 11.8, 5.0, 1.9, -40, 165)
    end_x, end_y = cx + 5.0 * math.cos(math.radians(-40)), 11.8 + 5.0 * math.sin(math.radians(40))
    stem = union(segment(end_x, end_y, cx, 18.2, 1.9), segment(cx, 18.2, cx, 19.6, 1.9))
    mark = union(hook, stem, circle(cx, 24.3, 2.1))
    c.paint(lambda x, y: mark(x - 0.5, y - 0.8), rgb("062a66", 0.45))
    c.paint(mark, rgb("ffffff"))
    return c


def icon_picture(size):
    """The application icon: a monitor with a compact disc in front of it.
    Below 28 pixels the shapes are drawn on a 16-unit grid with fewer details,
    above on a 32-unit grid."""
    small = size < 28
    c = Canvas(16 if small else 32, 16 if small else 32, scale=size / (16 if small else 32))
    if small:
        draw_monitor(c, 0.5, 1, 12.5, 10, screen_glow=False)
        draw_disc(c, 11, 11, 4.75)
    else:
        draw_monitor(c, 1, 2, 24, 19)
        draw_disc(c, 22, 22, 9.5)
    return c


# Per cent of the 96 dots-per-inch design. 125 % is the 150 % drawing reduced,
# which looks the same and keeps the program 24 KB smaller.
SCALES = (100, 150, 200)
ICON_SIZES = (16, 20, 24, 32, 40, 48, 256)


def main():
    files = {}
    for percent in SCALES:
        scale = percent / 100
        for name, draw in (("setup", setup_illustration), ("critical", critical_symbol),
                           ("question", question_symbol)):
            c = draw(scale)
            files[f"{name}-{percent}.png"] = image_encoding.png(c.width, c.height, c.rgba8())
    icons = [icon_picture(size) for size in ICON_SIZES]
    # All as PNG: the program runs on no Windows that reads only bitmaps, and
    # its icon is a fifth of the size.
    files["update.ico"] = image_encoding.ico([(c.width, c.rgba8()) for c in icons], png_from=0)
    image_encoding.write_beside(__file__, files)


if __name__ == "__main__":
    main()
