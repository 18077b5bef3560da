#!/usr/bin/env python3
"""Writes a carrier file and, beside it, the bitmap Quillane must make of it.

The carrier's filler bytes and pixels come from a seeded generator, so a
failure can be reproduced from the arguments alone.
"""
import argparse
import random
import struct


def bitmap(rng, width, height):
    rows = abs(height)
    pixels = bytes(rng.randrange(256) for _ in range(3 * width * rows))
    size = 54 + len(pixels)
    header = struct.pack("<2sIHHI", b"BM", size, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def flipped(bmp):
    width, height = struct.unpack_from("<ii", bmp, 18)
    if height <= 0:
        return bmp
    stride = 3 * width
    rows = [bmp[54 + r * stride : 54 + (r + 1) * stride] for r in range(height)]
    return bmp[:54] + b"".join(reversed(rows)) + bmp[54 + height * stride :]


def chain(payload):
    """Sub-blocks of 255 bytes while they are full; the first shorter one,
    possibly empty, ends the payload."""
    out = bytearray()
    for i in range(0, len(payload) + 1, 255):
        block = payload[i : i + 255]
        out.append(len(block))
        out += block
        if len(block) < 255:
            break
    return bytes(out)


def carrier(rng, lead, payload):
    head = bytes(rng.randrange(256) for _ in range(19))
    if lead == "comment":
        return head + b"\x21\xfe" + chain(payload)
    return head + b"\x2c" + bytes(rng.randrange(256) for _ in range(10)) + chain(payload)


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("carrier")
    ap.add_argument("expected")
    ap.add_argument("--lead", choices=["comment", "image"], default="comment",
                    help="which introducer (0x21 0xFE or 0x2C) starts the chain")
    ap.add_argument("--width", type=int, default=7)
    ap.add_argument("--height", type=int, default=5, help="negative for a top-down bitmap")
    ap.add_argument("--trailer", type=int, default=0,
                    help="bytes after the pixel rows, which must pass through untouched")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    rng = random.Random(args.seed)
    payload = bitmap(rng, args.width, args.height) + bytes(rng.randrange(256) for _ in range(args.trailer))
    with open(args.carrier, "wb") as f:
        f.write(carrier(rng, args.lead, payload))
    with open(args.expected, "wb") as f:
        f.write(flipped(payload))


if __name__ == "__main__":
    main()
