#!/usr/bin/env python3
"""Draws the application icon and writes it as a Windows .ico file.

The artwork is a white box, seen from above at an angle, with a green strip of tape across its
lid, on a rounded tile in the window header's green. Every shape is defined below in unit
coordinates (0..1, y downwards) and rendered with supersampling at each size, so the icon can
be redrawn by editing this file.

Images written: 16, 32 and 48 pixels in 4-bit, 8-bit and 32-bit colour, and 256 pixels in
32-bit colour (stored as PNG, as Windows expects for that size).

Usage: make_icon.py OUTPUT.ico [PREVIEW.png]
"""

import struct
import sys
import zlib

HEADER_GREEN = (20, 134, 96)
FILL_GREEN = (28, 151, 108)
LID = (236, 246, 241)
LEFT_SIDE = (255, 255, 255)
RIGHT_SIDE = (200, 230, 216)
TAPE = (28, 145, 104)

# The box: lid corners back, right, front, left, and the bottom corners below them.
BACK, RIGHT, FRONT, LEFT = (0.5, 0.19), (0.82, 0.36), (0.5, 0.53), (0.18, 0.36)
DROP = 0.33
RIGHT_LOW, FRONT_LOW, LEFT_LOW = ((x, y + DROP) for x, y in (RIGHT, FRONT, LEFT))


def _between(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)


def _tape():
    """A strip across the lid from the back-left edge to the front-right edge."""
    start, end = _between(BACK, LEFT, 0.5), _between(RIGHT, FRONT, 0.5)
    across = ((LEFT[0] - BACK[0]) * 0.13, (LEFT[1] - BACK[1]) * 0.13)
    return [(start[0] - across[0], start[1] - across[1]), (start[0] + across[0], start[1] + across[1]),
            (end[0] + across[0], end[1] + across[1]), (end[0] - across[0], end[1] - across[1])]


def _shrink(polygon, amount):
    """Pulls a polygon towards its centre, so that the tile shows between the faces."""
    cx = sum(p[0] for p in polygon) / len(polygon)
    cy = sum(p[1] for p in polygon) / len(polygon)
    return [(x + (cx - x) * amount, y + (cy - y) * amount) for x, y in polygon]


# Painted in order; later shapes cover earlier ones.
FACES = [
    (_shrink([BACK, RIGHT, FRONT, LEFT], 0.04), LID),
    (_shrink([LEFT, FRONT, FRONT_LOW, LEFT_LOW], 0.04), LEFT_SIDE),
    (_shrink([FRONT, RIGHT, RIGHT_LOW, FRONT_LOW], 0.04), RIGHT_SIDE),
    (_tape(), TAPE),
]


def _inside(polygon, x, y):
    inside = False
    j = len(polygon) - 1
    for i in range(len(polygon)):
        xi, yi = polygon[i]
        xj, yj = polygon[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def _in_tile(x, y, margin=0.03, radius=0.2):
    lo, hi = margin + radius, 1 - margin - radius
    dx = max(lo - x, 0, x - hi)
    dy = max(lo - y, 0, y - hi)
    return dx * dx + dy * dy <= radius * radius and margin <= x <= 1 - margin and margin <= y <= 1 - margin


def _sample(x, y):
    """Colour and coverage (0 or 1) of one point of the artwork."""
    if not _in_tile(x, y):
        return (0, 0, 0), 0
    colour = tuple(round(a + (b - a) * y) for a, b in zip(HEADER_GREEN, FILL_GREEN))
    for polygon, face in FACES:
        if _inside(polygon, x, y):
            colour = face
    return colour, 1


def render(size, grid=4):
    """RGBA rows of the artwork at size x size pixels."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = covered = 0
            for sy in range(grid):
                for sx in range(grid):
                    colour, hit = _sample((px + (sx + 0.5) / grid) / size,
                                          (py + (sy + 0.5) / grid) / size)
                    if hit:
                        r, g, b, covered = r + colour[0], g + colour[1], b + colour[2], covered + 1
            if covered:
                row.append((r // covered, g // covered, b // covered, 255 * covered // (grid * grid)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


# 16 colours for the 4-bit images: the artwork's own tones and steps between them.
PALETTE_16 = [(0, 0, 0), (255, 255, 255), HEADER_GREEN, FILL_GREEN, LID, RIGHT_SIDE, TAPE,
              (24, 140, 100), (60, 160, 125), (110, 185, 155), (150, 205, 180), (180, 220, 200),
              (215, 238, 228), (16, 110, 78), (90, 120, 105), (128, 128, 128)]


def _palette_256():
    """The 16 tones, 24 steps of the tile's gradient and a 6 x 6 x 6 colour cube."""
    ramp = [tuple(round(a + (b - a) * i / 23) for a, b in zip(HEADER_GREEN, FILL_GREEN))
            for i in range(24)]
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    return PALETTE_16 + ramp + cube


def _nearest(colour, palette, cache):
    if colour not in cache:
        cache[colour] = min(range(len(palette)), key=lambda i: sum(
            (a - b) ** 2 for a, b in zip(colour, palette[i])))
    return cache[colour]


def _and_mask(rows):
    size = len(rows)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, pixel in enumerate(row):
            if pixel[3] < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return bytes(mask)


def dib(rows, bits):
    """One icon image as a DIB: header, palette, colour bits bottom-up, AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    if bits == 32:
        pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
        return header + pixels + _and_mask(rows)
    palette = PALETTE_16 if bits == 4 else _palette_256()
    cache = {}
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    stride = ((size * bits + 31) // 32) * 4
    data = bytearray()
    for row in reversed(rows):
        indices = [_nearest(p[:3], palette, cache) if p[3] >= 128 else 0 for p in row]
        line = bytearray(stride)
        for x, index in enumerate(indices):
            if bits == 8:
                line[x] = index
            else:
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
        data += line
    return header + table + bytes(data) + _and_mask(rows)


def png(rows):
    size = len(rows)
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    images = []  # (size, bits, data)
    for size in (16, 32, 48):
        rows = render(size)
        images += [(size, bits, dib(rows, bits)) for bits in (4, 8, 32)]
    large = render(256, grid=3)
    images.append((256, 32, png(large)))

    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for size, bits, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1,
                                 bits, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as f:
        f.write(directory + b"".join(data for _, _, data in images))
    if len(sys.argv) == 3:
        with open(sys.argv[2], "wb") as f:
            f.write(png(large))


if __name__ == "__main__":
    main()
