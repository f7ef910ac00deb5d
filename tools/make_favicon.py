#!/usr/bin/env python3
"""Draws the TVXHandvane icon and writes it as http/favicon.ico.

A phone with a weather vane arrow across its screen, drawn from a few shapes
in unit coordinates and rendered with supersampling at each size. The icon
holds six 32-bit images: 256x256 as a PNG stream, then 64, 48, 32, 24 and 16
as bitmaps with an AND mask. Only the standard library is used.

Usage: tools/make_favicon.py [output.ico]   (default: http/favicon.ico)
The build embeds the committed .ico; run this only when the artwork changes.
"""

import math
import os
import struct
import sys
import zlib

BODY = (0x2B, 0x3A, 0x4A)
SCREEN = (0x9F, 0xD3, 0xF5)
VANE = (0xF2, 0x8C, 0x28)
VANE_EDGE = (0xB8, 0x5A, 0x10)


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if x < left or x > right or y < top or y > bottom:
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_circle(x, y, cx, cy, r):
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def distance_to_segment(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)
    t = min(max(t, 0.0), 1.0)
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy))


def in_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


# The vane: a shaft from lower left to upper right, a head at the tip and a
# swept fin at the tail, like the arrow on a weather vane.
SHAFT_FROM = (0.22, 0.74)
SHAFT_TO = (0.70, 0.30)
HEAD = [(0.86, 0.15), (0.60, 0.23), (0.78, 0.41)]
FIN = [(0.30, 0.67), (0.12, 0.66), (0.06, 0.88), (0.22, 0.77), (0.31, 0.94), (0.35, 0.72)]


def colour_at(x, y):
    """Colour of the topmost shape at (x, y), or None for transparent."""
    if in_polygon(x, y, HEAD) or in_polygon(x, y, FIN):
        return VANE
    shaft = distance_to_segment(x, y, *SHAFT_FROM, *SHAFT_TO)
    if shaft <= 0.045:
        return VANE if shaft <= 0.035 else VANE_EDGE
    if in_rounded_rect(x, y, 0.36, 0.24, 0.64, 0.78, 0.02):
        return SCREEN
    if in_circle(x, y, 0.50, 0.86, 0.028):
        return SCREEN
    if in_rounded_rect(x, y, 0.30, 0.10, 0.70, 0.94, 0.07):
        return BODY
    return None


def render(size, samples=4):
    """Rows of (r, g, b, a) from top to bottom, non-premultiplied."""
    rows = []
    step = 1.0 / (size * samples)
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = hits = 0
            for sy in range(samples):
                y = (py * samples + sy + 0.5) * step
                for sx in range(samples):
                    x = (px * samples + sx + 0.5) * step
                    colour = colour_at(x, y)
                    if colour is not None:
                        r += colour[0]
                        g += colour[1]
                        b += colour[2]
                        hits += 1
            if hits:
                row.append((r // hits, g // hits, b // hits, 255 * hits // (samples * samples)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def encode_bitmap(rows):
    """BITMAPINFOHEADER, bottom-up BGRA pixels, then the 1-bit AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((p[2], p[1], p[0], p[3])) for row in reversed(rows) for p in row)
    mask_row_bytes = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:  # transparent: the screen shows through
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def build_icon():
    images = [(256, encode_png(render(256, 3)))]
    for size in (64, 48, 32, 24, 16):
        images.append((size, encode_bitmap(render(size))))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dimension = 0 if size == 256 else size  # 0 stands for 256
        directory += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, data in images)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "http", "favicon.ico")
    icon = build_icon()
    with open(target, "wb") as out:
        out.write(icon)
    print(f"{target}: {len(icon)} bytes")


if __name__ == "__main__":
    main()
