"""PNG and ICO files for the programs' resources, and the record of what made them.

An image here is its width, its height and its pixels: (red, green, blue,
alpha) tuples of 0 to 255, straight alpha, row by row from the top. The files
come out the same byte for byte from the same pixels.

The drawing scripts write their files into the source tree beside themselves,
with a record of hashes (<script>.sha256, in sha256sum's format, paths from the
top of the source tree) that the build checks instead of drawing them again.
"""

import hashlib
import os
import struct
import zlib

SOURCE_ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))


def _png_filtered(raw, previous, bpp):
    """The row under whichever PNG filter leaves the smallest sum of signed
    bytes, the usual guess at what deflate packs best."""
    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c

    n = len(raw)
    left = [raw[i - bpp] if i >= bpp else 0 for i in range(n)]
    corner = [previous[i - bpp] if i >= bpp else 0 for i in range(n)]
    candidates = [
        bytes(raw),
        bytes((raw[i] - left[i]) & 255 for i in range(n)),
        bytes((raw[i] - previous[i]) & 255 for i in range(n)),
        bytes((raw[i] - (left[i] + previous[i]) // 2) & 255 for i in range(n)),
        bytes((raw[i] - paeth(left[i], previous[i], corner[i])) & 255 for i in range(n)),
    ]
    kind = min(range(5), key=lambda k: sum(v if v < 128 else 256 - v for v in candidates[k]))
    return bytes((kind,)) + candidates[kind]


def png(width, height, pixels):
    """A PNG of the pixels: RGBA, or RGB when every pixel is opaque."""
    opaque = all(p[3] == 255 for p in pixels)
    channels = 3 if opaque else 4
    plain, filtered = bytearray(), bytearray()
    previous = bytes(width * channels)
    for y in range(height):
        row = bytes(v for p in pixels[y * width:(y + 1) * width] for v in p[:channels])
        plain += b"\0" + row
        filtered += _png_filtered(row, previous, channels)
        previous = row
    # Shaded drawings pack smaller under the row filters, flat ones without.
    packed = min((zlib.compress(bytes(data), 9) for data in (filtered, plain)), key=len)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    header = struct.pack(">IIBBBBB", width, height, 8, 2 if opaque else 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", packed) +
            chunk(b"IEND", b""))


def _icon_bitmap(size, pixels):
    """One ICO image in true colour: straight alpha, and the mask older
    systems draw with."""
    colour, mask = bytearray(), bytearray()
    mask_stride = (size + 31) // 32 * 4
    for y in range(size - 1, -1, -1):  # bottom-up, as bitmaps are
        row_mask = bytearray(mask_stride)
        for x in range(size):
            r, g, b, a = pixels[y * size + x]
            colour += bytes((b, g, r, a))
            if a == 0:
                row_mask[x // 8] |= 0x80 >> (x % 8)
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def ico(images, png_from=256):
    """An ICO of square (size, pixels) images; those of png_from pixels and
    more are stored as PNG, which every Windows since Vista reads at any size."""
    data = [png(size, size, pixels) if size >= png_from else _icon_bitmap(size, pixels)
            for size, pixels in images]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for (size, _), blob in zip(images, data):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob),
                                 offset)
        offset += len(blob)
    return directory + b"".join(data)


def _record_line(path):
    with open(path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    return f"{digest}  {os.path.relpath(path, SOURCE_ROOT)}\n"


def write_beside(script, files):
    """Writes files ({name: bytes}) into the script's folder, then the record
    of the script, this module and the files."""
    script = os.path.abspath(script)
    folder = os.path.dirname(script)
    paths = []
    for name, data in files.items():
        paths.append(os.path.join(folder, name))
        with open(paths[-1], "wb") as f:
            f.write(data)
    record = os.path.splitext(script)[0] + ".sha256"
    with open(record, "w", encoding="ascii", newline="\n") as f:
        f.writelines(_record_line(p) for p in [script, os.path.abspath(__file__)] + paths)
