#!/usr/bin/python3
"""Real pictures through the converter and back, checked by a reader not ours.

Makes pictures from ImageMagick's built-in images, stores each in every bitmap
form a carrier may hold (written by Pillow or ImageMagick; made into the game's
form with make-carrier where no writer makes it), wraps them in carriers,
converts them all to BMP and to PNG and decodes every output with Pillow,
comparing each pixel with the picture the carrier holds. Then the pictures go
back: unedited ones give the carriers byte for byte, edited ones come out
again as edited, and colours a palette lacks are refused.

  pictures.py CONVERT MAKE_CARRIER PACK [RUNNER...]
"""
import filecmp
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

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
# standard bitmap of the picture upside down), whether the form is exact,
# and whether it has a palette.
FORMS = [
    ("24-bit, rows packed", pillow("RGB"), ["--packed"], True, True, False),
    ("24-bit, rows packed, no sizes", pillow("RGB"), ["--packed", "--zero-sizes"], True, True, False),
    ("24-bit, rows padded", pillow("RGB"), [], True, True, False),
    ("24-bit, standard top-down", pillow("RGB"), ["--top-down"], False, True, False),
    ("1-bit palette", pillow("1"), [], True, False, True),
    ("4-bit palette", magick(["-colors", "16", "-type", "Palette", "-compress", "None"], "BMP3"), [], True, False, True),
    ("8-bit palette", pillow("P"), [], True, False, True),
    ("16-bit bitfields", magick(["-type", "TrueColor", "-define", "bmp:subtype=RGB565"], "BMP"), [], True, False,
     False),
    ("32-bit", pillow("RGBA"), [], True, True, False),
    ("32-bit with alpha", magick(["-alpha", "set", "-define", "bmp:subtype=ARGB8888"], "BMP"), [], True, False, False),
    ("V5 header", magick(["-type", "TrueColor"], "BMP"), [], True, True, False),
    ("RLE8, kept as carried", magick(["-colors", "200", "-type", "Palette", "-compress", "RLE"], "BMP3"), [], False,
     False, True),
]
RLE = len(FORMS) - 1

# Bitmaps whose every byte the seed draws, padding and unused bits too, and
# whose palettes hold a colour twice: only a byte-for-byte round trip tells.
GENERATED = [["--depth", "1", "--width", "13", "--height", "5"], ["--depth", "4", "--width", "7", "--height", "4"],
             ["--depth", "8", "--width", "9", "--height", "6", "--packed"], ["--depth", "16", "--width", "5",
             "--height", "3"], ["--depth", "24", "--width", "6", "--height", "-4"], ["--depth", "32", "--width", "3",
             "--height", "2"]]


def pixels(path, mode="RGB"):
    with Image.open(path) as image:
        return image.size, list(image.convert(mode).getdata())


def flipped(size, rows):
    lines = [rows[r * size[0]:(r + 1) * size[0]] for r in range(size[1])]
    return [pixel for line in reversed(lines) for pixel in line]


def snapshot(names):
    return {name: (open(name, "rb").read(), os.stat(name).st_mtime_ns) for name in names}


class Run:
    def __init__(self, runner):
        self.runner = runner
        self.failures = 0

    def tool(self, *args, expect=0):
        done = subprocess.run([*self.runner, *args], capture_output=True, text=True)
        if done.returncode != expect:
            self.fail(f"{os.path.basename(args[0])} {' '.join(args[1:4])}... exited with {done.returncode}: "
                      f"{done.stderr.strip()[:300]}")
        return done

    def fail(self, what):
        self.failures += 1
        print(f"FAIL {what}")


def main():
    convert, make_carrier, pack = (os.path.abspath(p) for p in sys.argv[1:4])
    run = Run(sys.argv[4:])
    work = tempfile.mkdtemp(prefix="quillane-pictures.")
    os.chdir(work)
    cases, lines = [], []
    for p, (builtin, width, height) in enumerate(PICTURES):
        picture, upside_down = f"p{p}.png", f"p{p}-flipped.png"
        subprocess.run([MAGICK, builtin, "-resize", f"{width}x{height}!", picture], check=True)
        subprocess.run([MAGICK, picture, "-flip", upside_down], check=True)
        for f, (name, write, options, as_game, exact, palette) in enumerate(FORMS):
            payload, carrier = f"p{p}f{f}.bmp", f"p{p}f{f}.gif"
            write(upside_down if as_game else picture, payload)
            form = ["--comment"] if (p + f) % 2 else []
            lines.append(" ".join(["--payload", payload, *options, *form, carrier]))
            cases.append((f"{builtin} {width}x{height}, {name}", picture, payload, carrier, as_game, exact, f))
    generated = [f"g{g}.gif" for g in range(len(GENERATED))]
    lines += [" ".join([*options, "--seed", str(g), generated[g]]) for g, options in enumerate(GENERATED)]
    with open("carriers.txt", "w") as f:
        f.write("\n".join(lines) + "\n")
    run.tool(make_carrier, "--list", "carriers.txt")
    carriers = [c[3] for c in cases]
    everything = carriers + generated
    originals = snapshot(everything)

    # Converted, as BMP beside each carrier and as PNG in a folder of its own.
    run.tool(convert, "-q", *everything)
    png = run.tool(convert, "-q", "-f", "png", "-o", "png", *everything, expect=1)
    refused = [line for line in png.stderr.splitlines() if "cannot be written as PNG" in line]
    if len(refused) != len(PICTURES):
        run.fail(f"{len(refused)} carriers refused as PNG, not the {len(PICTURES)} RLE ones: {png.stderr[:300]}")
    for what, picture, payload, carrier, as_game, exact, form in cases:
        size, expected = pixels(payload, "RGBA")
        if as_game:
            expected = flipped(size, expected)
        for output, mode in ((carrier + ".bmp", "RGBA"), (f"png/{carrier}.png", "RGBA")):
            if form == RLE and output.endswith(".png"):
                continue
            try:
                got = pixels(output, mode)
            except Exception as e:  # any reason a reader cannot open it
                got = (None, str(e))
            if got != (size, expected):
                run.fail(f"{what}: {output} is not the picture the carrier holds")
        if form != RLE and Image.open(f"png/{carrier}.png").mode != ("RGBA" if "alpha" in what else "RGB"):
            run.fail(f"{what}: the PNG has alpha where the bitmap has none, or none where it has")
        if exact and pixels(picture) != (size, [p[:3] for p in expected]):
            run.fail(f"{what}: the carried bitmap is not the source picture")

    # Unedited, the pictures give the carriers back byte for byte, and left in
    # place, or checked, change nothing.
    pictured = generated + [c[3] for c in cases if c[6] != RLE]
    run.tool(pack, "-q", "-o", "from-bmp", *everything)
    run.tool(pack, "-q", "--from", "png", "-o", "from-png", *pictured)
    for folder, names in (("from-bmp", everything), ("from-png", pictured)):
        for name in names:
            if not filecmp.cmp(name, f"{folder}/{name}", shallow=False):
                run.fail(f"packing the unedited {folder[5:]} of {name} does not give the carrier back")
    run.tool(pack, "-q", "-n", "--from", "png", *pictured)
    run.tool(pack, "-q", *everything)
    if snapshot(everything) != originals:
        run.fail("packing unedited pictures in place, or checking them, changed a carrier")

    # Edited, in colours the bitmap holds, they come out again as edited.
    edited = {}
    for what, picture, payload, carrier, as_game, exact, form in cases:
        if form == RLE:
            continue
        image = Image.open(f"png/{carrier}.png")
        colour = image.getpixel((image.width - 1, image.height - 1)) if FORMS[form][5] else \
            (255, 0, 0, 255)[:len(image.getbands())]
        ImageDraw.Draw(image).rectangle([0, 0, image.width // 2, image.height // 2], fill=colour)
        image.save(f"png/{carrier}.png")
        edited[carrier] = pixels(f"png/{carrier}.png", "RGBA")
    run.tool(pack, "-q", "--from", "png", *edited)
    run.tool(convert, "-q", "-f", "png", "-o", "again", *edited)
    for carrier, picture in edited.items():
        if pixels(f"again/{carrier}.png", "RGBA") != picture:
            run.fail(f"{carrier}: the edit did not come out again")

    # A colour the palette lacks is refused, and the carrier stays as it was.
    carrier = cases[6][3]
    before = snapshot([carrier])
    image = Image.open(f"{carrier}.bmp").convert("RGB")
    image.putpixel((0, 0), (1, 2, 3))
    image.save(f"{carrier}.bmp")
    refusal = run.tool(pack, carrier, expect=1)
    if "not in the carrier's palette; the first at 0, 0" not in refusal.stderr or snapshot([carrier]) != before:
        run.fail(f"an edit off the palette was not refused as it should be: {refusal.stderr.strip()}")

    print(f"{len(cases)} pictures in {len(FORMS)} forms and {len(generated)} generated bitmaps: "
          f"{run.failures} failures")
    if run.failures == 0:
        subprocess.run(["rm", "-rf", work])
    else:
        print(f"left in {work}")
    return 1 if run.failures else 0


if __name__ == "__main__":
    sys.exit(main())
