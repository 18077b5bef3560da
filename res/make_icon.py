#!/usr/bin/env python3
"""Draws the Quillane icon and writes it as a two-image, 32-bit .ico.

The .ico is committed so that building needs no Python; rerun this after
changing the drawing:  python3 res/make_icon.py res/quillane.ico
Standard library only, and deterministic, so the output can be compared
byte for byte with the committed file.
"""

import math
import struct
import sys

SIZES = (48, 32)
SUPERSAMPLE = 8

BG_TOP = (0x2B, 0x33, 0x4F)
BG_BOTTOM = (0x15, 0x19, 0x26)
RIM = (0x4A, 0x56, 0x80)
VANE_TIP = (0xFF, 0xD1, 0x4A)
VANE_BASE = (0xFF, 0x7A, 0x1C)
SHAFT = (0xFF, 0xF4, 0xDC)
INK = (0x5C, 0xE1, 0xE6)

# The quill lies on a gently bent line from the nib (lower left) to the tip.
NIB = (0.22, 0.80)
TIP = (0.82, 0.17)
BEND = 0.06
VANE_START = 0.30


def smoothstep(edge0, edge1, x):
    t = min(max((x - edge0) / (edge1 - edge0), 0.0), 1.0)
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def rounded_square_distance(x, y, margin, radius):
    cx = abs(x - 0.5) - (0.5 - margin - radius)
    cy = abs(y - 0.5) - (0.5 - margin - radius)
    outside = math.hypot(max(cx, 0.0), max(cy, 0.0))
    return outside + min(max(cx, cy), 0.0) - radius


def quill_frame(x, y):
    """Returns (u, v): u runs 0 at the nib to 1 at the tip, v is the signed
    distance across the bent axis, positive towards the upper left."""
    dx, dy = TIP[0] - NIB[0], TIP[1] - NIB[1]
    length = math.hypot(dx, dy)
    ax, ay = dx / length, dy / length
    px, py = x - NIB[0], y - NIB[1]
    u = (px * ax + py * ay) / length
    v = px * ay - py * ax
    return u, v - BEND * math.sin(math.pi * min(max(u, 0.0), 1.0))


def vane_half_widths(u):
    if u <= VANE_START or u >= 1.0:
        return 0.0, 0.0
    t = (u - VANE_START) / (1.0 - VANE_START)
    swell = math.sin(math.pi * t ** 0.8) ** 0.9
    return 0.150 * swell, 0.085 * swell


def in_barb_gap(u, v):
    """Two slanted splits in the wide side make it read as a feather."""
    for start in (0.52, 0.72):
        along = u - start - 0.9 * v
        if 0.0 < along < 0.022 and v > 0.035:
            return True
    return False


def sample(x, y):
    """Colour and coverage (0..1) of one sub-pixel sample."""
    edge = rounded_square_distance(x, y, margin=0.03, radius=0.19)
    if edge > 0.0:
        return (0, 0, 0), 0.0
    colour = mix(BG_TOP, BG_BOTTOM, smoothstep(0.0, 1.0, y))
    if edge > -0.035:
        colour = mix(colour, RIM, 0.55)

    if abs(y - 0.86) < 0.018 and 0.20 < x < 0.62:
        colour = mix(colour, INK, 1.0 - smoothstep(0.40, 0.62, x))

    u, v = quill_frame(x, y)
    wide, narrow = vane_half_widths(u)
    if (0.0 <= v < wide or -narrow < v < 0.0) and not in_barb_gap(u, v):
        shade = VANE_BASE if v < 0.0 else (0xFF, 0x9A, 0x2A)
        colour = mix(shade, VANE_TIP, smoothstep(VANE_START, 1.0, u))
    shaft_half = 0.022 * (1.0 - 0.7 * smoothstep(0.3, 1.0, u))
    if 0.08 <= u <= 0.97 and abs(v) < shaft_half:
        colour = SHAFT
    if 0.0 <= u < 0.08 and abs(v) < 0.022 * u / 0.08 + 0.004:
        colour = SHAFT
    return colour, 1.0


def render(size):
    """Rows of (r, g, b, a) tuples, top row first, straight (unpremultiplied) alpha."""
    rows = []
    step = 1.0 / (size * SUPERSAMPLE)
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = cover = 0.0
            for sy in range(SUPERSAMPLE):
                for sx in range(SUPERSAMPLE):
                    x = (px * SUPERSAMPLE + sx + 0.5) * step
                    y = (py * SUPERSAMPLE + sy + 0.5) * step
                    colour, a = sample(x, y)
                    r += colour[0] * a
                    g += colour[1] * a
                    b += colour[2] * a
                    cover += a
            n = SUPERSAMPLE * SUPERSAMPLE
            if cover == 0.0:
                row.append((0, 0, 0, 0))
            else:
                row.append((round(r / cover), round(g / cover), round(b / cover),
                            round(255 * cover / n)))
        rows.append(row)
    return rows


def dib(size, rows):
    """Icon image as the loader expects it: header with doubled height,
    bottom-up BGRA pixels, then a 1-bit AND mask for pre-alpha consumers."""
    mask_stride = ((size + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
        bits = bytearray(mask_stride)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = len(out) + 16 * len(images)
    blobs = []
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    images = [(size, dib(size, render(size))) for size in SIZES]
    with open(sys.argv[1], "wb") as f:
        f.write(ico(images))


if __name__ == "__main__":
    main()
