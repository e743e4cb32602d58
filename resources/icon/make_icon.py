#!/usr/bin/env python3
"""Draws the program icon (a gold key on a blue shield) and writes app.ico.

The 16, 32 and 48 pixel images are 32-bit BMP entries, the 256 pixel image is
PNG-compressed, as Windows expects. Only the standard library is needed:

    python3 resources/icon/make_icon.py resources/app.ico
"""
import math
import struct
import sys
import zlib

SIZES = (16, 32, 48, 256)
SAMPLES = 4  # per axis, for anti-aliasing

SHIELD = (0x1F, 0x4E, 0x9A)
SHIELD_EDGE = (0x0E, 0x2A, 0x5C)
KEY = (0xF2, 0xC1, 0x2E)
KEY_EDGE = (0x8A, 0x62, 0x08)


def shield_distance(x, y):
    """Signed distance (negative inside) to a shield in the unit square."""
    # Top: a rectangle with rounded corners; bottom: two arcs, each tangent to
    # a side of the rectangle, meeting in a point at the foot.
    dx = abs(x - 0.5) - 0.38
    dy = abs(y - 0.32) - 0.22
    top = math.hypot(max(dx, 0.0), max(dy, 0.0)) + min(max(dx, dy), 0.0) - 0.03
    radius = 0.41
    left_arc = math.hypot(x - (0.09 + radius), y - 0.54) - radius
    right_arc = math.hypot(x - (0.91 - radius), y - 0.54) - radius
    bottom = max(left_arc, right_arc, 0.50 - y)
    return min(top, bottom)


def key_distance(x, y):
    """Signed distance to a key lying diagonally across the shield."""
    # Rotate so the key's shaft runs along the u axis.
    angle = math.radians(-45)
    px, py = x - 0.5, y - 0.52
    u = px * math.cos(angle) - py * math.sin(angle)
    v = px * math.sin(angle) + py * math.cos(angle)
    bow = math.hypot(u + 0.20, v) - 0.15
    hole = 0.055 - math.hypot(u + 0.22, v)
    bow = max(bow, hole)
    shaft = max(abs(v) - 0.045, abs(u - 0.10) - 0.26)
    tooth1 = max(abs(v - 0.07) - 0.05, abs(u - 0.30) - 0.035)
    tooth2 = max(abs(v - 0.06) - 0.04, abs(u - 0.19) - 0.03)
    return min(bow, shaft, tooth1, tooth2)


def blend(under, over, alpha):
    return tuple(u + (o - u) * alpha for u, o in zip(under, over))


def pixel(x, y, size):
    edge = max(1.0, size / 64) / size  # outline width in unit coordinates
    shield = shield_distance(x, y)
    if shield > 0:
        return None
    colour = SHIELD_EDGE if shield > -edge else SHIELD
    key = key_distance(x, y)
    if key <= 0:
        colour = KEY_EDGE if key > -edge else KEY
    return colour


def render(size):
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            r = g = b = a = 0.0
            for sj in range(SAMPLES):
                for si in range(SAMPLES):
                    x = (i + (si + 0.5) / SAMPLES) / size
                    y = (j + (sj + 0.5) / SAMPLES) / size
                    c = pixel(x, y, size)
                    if c is not None:
                        r += c[0]
                        g += c[1]
                        b += c[2]
                        a += 1
            n = SAMPLES * SAMPLES
            if a:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bmp_entry(rows, size):
    """A BITMAPINFOHEADER, bottom-up BGRA pixels and the AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    return header + bytes(pixels) + bytes(mask)


def png_entry(rows, size):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(path):
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_entry(rows, size) if size >= 256 else bmp_entry(rows, size)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app.ico")
