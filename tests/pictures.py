#!/usr/bin/python3
"""Real pictures through the converter, checked by a BMP reader not ours.

Makes pictures from ImageMagick's built-in images, stores each in every bitmap
form a carrier may hold (written by Pillow or ImageMagick; made into the game's
form with make-carrier where no writer makes it), wraps them in carriers,
converts them all in one run and decodes every output with Pillow, comparing
each pixel with the picture the carrier holds.

  pictures.py CONVERT MAKE_CARRIER [RUNNER...]
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image

MAGICK = "/usr/bin/convert"

# Built-in image, width, height: the sizes a game's pictures come in, every
# width from 1 to 9 among them.
PICTURES = [
    ("rose:", 70, 46), ("wizard:", 61, 73), ("granite:", 50, 50), ("logo:", 123, 91), ("netscape:", 216, 144),
    ("rose:", 1, 5), ("wizard:", 2, 3), ("logo:", 3, 7), ("netscape:", 4, 4), ("granite:", 239, 13),
    ("rose:", 5, 2), ("wizard:", 6, 3), ("logo:", 7, 8), ("netscape:", 8, 5), ("rose:", 9, 9),
]


def pillow(mode):
    def write(picture, path):
        image = Image.open(picture)
        image = image.convert("P", palette=Image.ADAPTIVE) if mode == "P" else image.convert(mode)
        image.save(path, "BMP")
    return write


def magick(options, coder):
    def write(picture, path):
        subprocess.run([MAGICK, picture, *options, f"{coder}:{path}"], check=True)
    return write


# Name, writer, make-carrier options, whether the payload holds the picture
# as a game does (rows top-down under a positive height, written here as the
# standard bitmap of the picture upside down), and whether the form is exact.
FORMS = [
    ("24-bit, rows packed", pillow("RGB"), ["--packed"], True, True),
    ("24-bit, rows packed, no sizes", pillow("RGB"), ["--packed", "--zero-sizes"], True, True),
    ("24-bit, rows padded", pillow("RGB"), [], True, True),
    ("24-bit, standard top-down", pillow("RGB"), ["--top-down"], False, True),
    ("1-bit palette", pillow("1"), [], True, False),
    ("4-bit palette", magick(["-colors", "16", "-type", "Palette", "-compress", "None"], "BMP3"), [], True, False),
    ("8-bit palette", pillow("P"), [], True, False),
    ("16-bit bitfields", magick(["-type", "TrueColor", "-define", "bmp:subtype=RGB565"], "BMP"), [], True, False),
    ("32-bit", pillow("RGBA"), [], True, True),
    ("V5 header", magick(["-type", "TrueColor"], "BMP"), [], True, True),
    ("RLE8, kept as carried", magick(["-colors", "200", "-type", "Palette", "-compress", "RLE"], "BMP3"), [], False,
     False),
]


def pixels(path):
    with Image.open(path) as image:
        return image.size, list(image.convert("RGB").getdata())


def main():
    convert, make_carrier = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    runner = sys.argv[3:]
    work = tempfile.mkdtemp(prefix="quillane-pictures.")
    os.chdir(work)
    cases, lines = [], []
    for p, (builtin, width, height) in enumerate(PICTURES):
        picture, upside_down = f"p{p}.png", f"p{p}-flipped.png"
        subprocess.run([MAGICK, builtin, "-resize", f"{width}x{height}!", picture], check=True)
        subprocess.run([MAGICK, picture, "-flip", upside_down], check=True)
        for f, (name, write, options, as_game, exact) in enumerate(FORMS):
            payload, carrier = f"p{p}f{f}.bmp", f"p{p}f{f}.gif"
            write(upside_down if as_game else picture, payload)
            form = ["--comment"] if (p + f) % 2 else []
            lines.append(" ".join(["--payload", payload, *options, *form, carrier]))
            cases.append((f"{builtin} {width}x{height}, {name}", picture, payload, carrier, as_game, exact))
    with open("carriers.txt", "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([*runner, make_carrier, "--list", "carriers.txt"], check=True)
    done = subprocess.run([*runner, convert, "-q", *[c[3] for c in cases]])
    failures = 0 if done.returncode == 0 else 1
    if failures:
        print(f"FAIL the converter exited with {done.returncode}")
    for what, picture, payload, carrier, as_game, exact in cases:
        size, expected = pixels(payload)
        if as_game:
            rows = [expected[r * size[0]:(r + 1) * size[0]] for r in range(size[1])]
            expected = [pixel for row in reversed(rows) for pixel in row]
        try:
            got = pixels(carrier + ".bmp")
        except Exception as e:  # any reason a reader cannot open it
            got = (None, str(e))
        problems = []
        if got != (size, expected):
            problems.append("the output is not the picture the carrier holds")
        if exact and pixels(picture) != (size, expected):
            problems.append("the carried bitmap is not the source picture")
        if problems:
            failures += 1
            print(f"FAIL {what}: {'; '.join(problems)}")
    print(f"{len(cases) - failures} of {len(cases)} pictures came out whole")
    if failures == 0:
        subprocess.run(["rm", "-rf", work])
    else:
        print(f"left in {work}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
