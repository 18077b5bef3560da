#!/usr/bin/python3
"""Real pictures through the converter and back, checked by a reader not ours.

Makes pictures from ImageMagick's built-in images, stores each in every bitmap
form a carrier may hold (written by Pillow or ImageMagick; made into the game's
form with make-carrier where no writer makes it), wraps them in carriers,
converts them all to BMP and to PNG and decodes every output with Pillow,
comparing each pixel with the picture the carrier holds. Then the pictures go
back: unedited ones give the carriers byte for byte, edited ones come out
again as edited, and colours a palette lacks are refused. Pictures in every
form an editor saves are packed and come out as Pillow reads them, and
damaged ones are refused with their reason.

Each section is a test of its own, run alone or after `prepare`, which makes
the pictures in every form once, into $QUILLANE_PICTURES_PREPARED, for the
sections that start from them; without it a section makes its own.

  pictures.py SECTION CONVERT MAKE_CARRIER PACK [RUNNER...]
"""
import filecmp
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image, ImageDraw

MAGICK = "/usr/bin/convert"
# GIMP in batch mode, where it is installed.
GIMP = shutil.which("gimp-console-2.10") or shutil.which("gimp-console")

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
    ("RLE8", magick(["-colors", "200", "-type", "Palette", "-compress", "RLE"], "BMP3"), [], False,
     False, True),
]

# Bitmaps whose every byte the seed draws, padding, unused bits and masks
# too, and whose palettes hold a colour twice: only a byte-for-byte round
# trip tells.
GENERATED = [["--depth", "1", "--width", "13", "--height", "5"], ["--depth", "4", "--width", "7", "--height", "4"],
             ["--depth", "8", "--width", "9", "--height", "6", "--packed"], ["--depth", "16", "--width", "5",
             "--height", "3"], ["--depth", "24", "--width", "6", "--height", "-4"], ["--depth", "32", "--width", "3",
             "--height", "2"], ["--depth", "16", "--compression", "3", "--info-size", "52", "--width", "7", "--height",
             "3"], ["--depth", "32", "--compression", "6", "--width", "4", "--height", "3"],
             ["--depth", "16", "--compression", "3", "--info-size", "56", "--width", "6", "--height", "2"],
             ["--depth", "32", "--compression", "3", "--info-size", "124", "--width", "5", "--height", "5"]]
THIRTY_TWO = 5


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


def rle(image, nibbles):
    """The palette image's indices, RLE8 or RLE4, bottom-up, runs and literals mixed."""
    width, height = image.size
    indices, out = list(image.getdata()), bytearray()
    for y in reversed(range(height)):
        row, x = indices[y * width:(y + 1) * width], 0
        while x < width:
            run = 1
            while x + run < width and run < 255 and row[x + run] == row[x]:
                run += 1
            if run >= 2 or width - x < 3:
                out += bytes([run, row[x] * 17 if nibbles else row[x]])
            else:
                run = min(width - x, 6)
                literal = row[x:x + run]
                data = bytes((literal[i] << 4) | (literal[i + 1] if i + 1 < run else 0) for i in range(0, run, 2)) \
                    if nibbles else bytes(literal)
                out += bytes([0, run]) + data + b"\0" * (len(data) % 2)
            x += run
        out += b"\0\0"
    return bytes(out[:-2] + b"\0\1")


def bmp(width, height, depth, compression, pixel_bytes, info_size=40, masks=(), palette=()):
    """A BMP file of a header of `info_size` bytes, masks inside it or after it."""
    inside = info_size >= 52
    extra = b"" if inside else b"".join(struct.pack("<I", m) for m in masks)
    colours = b"".join(bytes([b, g, r, 0]) for r, g, b in palette)
    offset = 14 + info_size + len(extra) + len(colours)
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, depth, compression, len(pixel_bytes), 2835, 2835,
                       len(palette), 0)
    if inside:
        info += b"".join(struct.pack("<I", m) for m in masks)
    info = info.ljust(info_size, b"\0")
    return struct.pack("<2sIHHI", b"BM", offset + len(pixel_bytes), 0, 0, offset) + info + extra + colours + pixel_bytes


def bitfields(image, info_size, masks, compression=3):
    """`image` at 16 bits under `masks`, bottom-up, and the colours a reader
    that scales each channel to 255, rounding down, shows."""
    width, height = image.size
    rgba = list(image.convert("RGBA").getdata())
    shown, rows = [], []
    def fields(mask):
        shift = (mask & -mask).bit_length() - 1
        return shift, (mask >> shift)
    for y in range(height):
        row = b""
        for r, g, b, a in rgba[y * width:(y + 1) * width]:
            value, colour = 0, []
            for channel, mask in zip((r, g, b, a), masks):
                if not mask:
                    continue
                shift, most = fields(mask)
                stored = (channel * most + 127) // 255
                value |= stored << shift
                colour.append(stored * 255 // most)
            shown.append(tuple(colour[:3]))
            row += struct.pack("<H", value)
        rows.append(row + b"\0" * (-len(row) % 4))
    return bmp(width, height, 16, compression, b"".join(reversed(rows)), info_size, masks), shown


def pillow_form(mode, ext):
    def write(picture, path):
        image = Image.open(picture).convert(mode)
        image.save(path + ext, "PNG" if ext == ".png" else "BMP")
        return path + ext, pixels(path + ext)[1]
    return write


def magick_form(options, coder, ext):
    def write(picture, path):
        subprocess.run([MAGICK, picture, *options, f"{coder}:{path}{ext}"], check=True)
        return path + ext, pixels(path + ext)[1]
    return write


def written(make):
    def write(picture, path):
        data, shown = make(Image.open(picture))
        with open(path + ".bmp", "wb") as f:
            f.write(data)
        return path + ".bmp", shown
    return write


def rle_form(nibbles):
    def make(image):
        indexed = image.convert("RGB").convert("P", palette=Image.ADAPTIVE, colors=16 if nibbles else 200)
        palette = indexed.getpalette()[:3 * (16 if nibbles else 200)]
        colours = [tuple(palette[i:i + 3]) for i in range(0, len(palette), 3)]
        data = rle(indexed, nibbles)
        return (bmp(*image.size, 4 if nibbles else 8, 2 if nibbles else 1, data, palette=colours),
                [colours[i] for i in indexed.getdata()])
    return make


RGB565, ARGB1555 = (0xF800, 0x07E0, 0x001F), (0x7C00, 0x03E0, 0x001F, 0x8000)

# Every form an editor saves a picture in, and what it shows: Pillow's
# reading where it reads the form, else the colours the file stores.
EDITOR_FORMS = [
    ("Pillow PNG, RGB", pillow_form("RGB", ".png")), ("Pillow PNG, RGBA", pillow_form("RGBA", ".png")),
    ("Pillow PNG, grey", pillow_form("L", ".png")), ("Pillow PNG, grey and alpha", pillow_form("LA", ".png")),
    ("Pillow PNG, palette", pillow_form("P", ".png")), ("Pillow PNG, 1-bit", pillow_form("1", ".png")),
    ("Pillow BMP, 24-bit", pillow_form("RGB", ".bmp")), ("Pillow BMP, 32-bit", pillow_form("RGBA", ".bmp")),
    ("Pillow BMP, palette", pillow_form("P", ".bmp")), ("Pillow BMP, 1-bit", pillow_form("1", ".bmp")),
    ("ImageMagick PNG24", magick_form([], "PNG24", ".png")), ("ImageMagick PNG48", magick_form([], "PNG48", ".png")),
    ("ImageMagick PNG8", magick_form([], "PNG8", ".png")),
    ("ImageMagick interlaced PNG", magick_form(["-interlace", "PNG"], "PNG", ".png")),
    ("ImageMagick BMP3", magick_form([], "BMP3", ".bmp")), ("ImageMagick V5 BMP", magick_form([], "BMP", ".bmp")),
    ("ImageMagick 12-byte header", magick_form([], "BMP2", ".bmp")),
    ("ImageMagick RLE8", magick_form(["-type", "Palette", "-colors", "200", "-compress", "RLE"], "BMP3", ".bmp")),
    ("RLE8, runs and literals", written(rle_form(False))), ("RLE4", written(rle_form(True))),
    ("16-bit, masks after a 40-byte header", written(lambda i: bitfields(i, 40, RGB565))),
    ("16-bit, 52-byte header", written(lambda i: bitfields(i, 52, RGB565))),
    ("16-bit R5G6B5, 56-byte header", written(lambda i: bitfields(i, 56, RGB565 + (0,)))),
    ("16-bit alpha bitfields", written(lambda i: bitfields(i, 40, ARGB1555, compression=6))),
    ("16-bit, 124-byte header", written(lambda i: bitfields(i, 124, RGB565 + (0,)))),
]


def editor_forms(run, convert, make_carrier, pack):
    """Each form packed into a 24-bit carrier of other pixels, which then shows the picture."""
    os.mkdir("forms")
    os.chdir("forms")
    subprocess.run([MAGICK, "granite:", "-resize", "37x23!", "picture.png"], check=True)
    run.tool(make_carrier, "--width", "37", "--height", "23", "--packed", "base.gif")
    carriers, shown = [f"e{n}.gif" for n in range(len(EDITOR_FORMS))], []
    for carrier, (what, write) in zip(carriers, EDITOR_FORMS):
        shutil.copy("base.gif", carrier)
        shown.append(write("picture.png", carrier)[1])
    run.tool(pack, "-q", *carriers)
    run.tool(convert, "-q", "-f", "png", "-o", "back", *carriers)
    for carrier, (what, write), colours in zip(carriers, EDITOR_FORMS, shown):
        if pixels(f"back/{carrier}.png")[1] != [p[:3] for p in colours]:
            run.fail(f"{what}: the packed carrier does not show the picture")
    os.chdir("..")
    return len(EDITOR_FORMS)


def bgra(info_size, masks, alpha):
    """Writes an RGBA picture as 32-bit uncompressed BMP pixels, each fourth byte its alpha or 0."""
    def write(picture, path):
        image = Image.open(picture)
        rows = [bytes(v for r, g, b, a in image.crop((0, y, image.width, y + 1)).getdata()
                      for v in (b, g, r, a if alpha else 0)) for y in reversed(range(image.height))]
        with open(path + ".bmp", "wb") as f:
            f.write(bmp(*image.size, 32, 0, b"".join(rows), info_size, masks))
    return write


def gimp_rle(picture, path):
    """Saved by GIMP as BMP with "RLE" ticked, which it writes for RGBA as a
    56-byte header over uncompressed pixels, its alpha mask named."""
    script = (f'(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{picture}" "")))'
              f' (layer (car (gimp-image-get-active-drawable image))))'
              f' (file-bmp-save2 RUN-NONINTERACTIVE image layer "{path}.bmp" "" 1 1 4) (gimp-quit 0))')
    subprocess.run([GIMP, "-i", "-d", "-f", "-b", script], check=True, capture_output=True)


# Forms an edited picture comes in, packed into a bitmap with alpha, and
# whether they carry alpha: a 32-bit BMP's fourth bytes are its alpha when
# they are not all 0, and a picture without alpha leaves the bitmap's.
ALPHA_FORMS = [
    ("Pillow BMP, 32-bit, alpha in the fourth byte", pillow_form("RGBA", ".bmp"), True),
    ("56-byte header, alpha mask named", bgra(56, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), True), True),
    ("Pillow PNG, RGBA", pillow_form("RGBA", ".png"), True), ("Pillow BMP, 24-bit", pillow_form("RGB", ".bmp"), False),
    ("Pillow PNG, RGB", pillow_form("RGB", ".png"), False), ("32-bit, fourth bytes 0", bgra(40, (), False), False),
] + ([("GIMP BMP, RLE ticked", gimp_rle, True)] if GIMP else [])


def alpha_forms(run, make_carrier, convert, pack):
    """Each form packed into a 32-bit bitmap with alpha of other pixels, which then shows it."""
    os.mkdir("alpha")
    os.chdir("alpha")
    size, levels = (37, 23), (0, 128, 255)
    def with_alpha(builtin, name, pattern):
        subprocess.run([MAGICK, builtin, "-resize", f"{size[0]}x{size[1]}!", name], check=True)
        image = Image.open(name).convert("RGB")
        image.putalpha(Image.frombytes("L", size, bytes(levels[pattern(x, y) % 3] for y in range(size[1])
                                                         for x in range(size[0]))))
        image.save(name)
        return list(image.getdata())
    old = with_alpha("granite:", "old.png", lambda x, y: x + y)
    new = with_alpha("logo:", "new.png", lambda x, y: x + 2 * y)
    # Stored as the game does: rows top-down under a positive height.
    Image.open("old.png").transpose(Image.FLIP_TOP_BOTTOM).save("flipped.png")
    subprocess.run([MAGICK, "flipped.png", "-define", "bmp:subtype=ARGB8888", "BMP:old.bmp"], check=True)
    run.tool(make_carrier, "--payload", "old.bmp", "base.gif")
    carriers = [f"a{n}.gif" for n in range(len(ALPHA_FORMS))]
    for carrier, (what, write, alpha) in zip(carriers, ALPHA_FORMS):
        shutil.copy("base.gif", carrier)
        write("new.png", carrier)
    run.tool(pack, "-q", *carriers)
    run.tool(convert, "-q", "-f", "png", "-o", "back", *carriers)
    # A pixel fully transparent shows no colour.
    shown = lambda pixels: [p if p[3] else (0, 0, 0, 0) for p in pixels]
    for carrier, (what, write, alpha) in zip(carriers, ALPHA_FORMS):
        expected = new if alpha else [n[:3] + o[3:] for n, o in zip(new, old)]
        if shown(pixels(f"back/{carrier}.png", "RGBA")[1]) != shown(expected):
            run.fail(f"{what}: the carrier with alpha does not show the picture{'' if alpha else ' over its own alpha'}")
    os.chdir("..")
    return len(ALPHA_FORMS)


# Palette bitmaps: 1, 4 and 8 bits, rows packed and padded, the first colour
# twice, and palettes shorter than the depth allows, whose indices reach past them.
PALETTES = [["--depth", "1", "--width", "13", "--height", "7"],
            ["--depth", "4", "--width", "9", "--height", "6", "--packed"],
            ["--depth", "8", "--width", "11", "--height", "5"],
            ["--depth", "8", "--width", "6", "--height", "4", "--packed", "--colours", "5"],
            ["--depth", "4", "--width", "7", "--height", "3", "--colours", "3"]]


def bmp_indices(path):
    """A standard BMP's palette and indices, top row first, read here."""
    data = open(path, "rb").read()
    offset, info = struct.unpack("<II", data[10:18])
    width, height = struct.unpack("<ii", data[18:26])
    depth, used = struct.unpack("<H", data[28:30])[0], struct.unpack("<I", data[46:50])[0] or 1 << data[28]
    start = 14 + info
    palette = [tuple(data[start + 4 * i + 2 - k] for k in range(3)) for i in range(min(used, (offset - start) // 4))]
    stride, rows = (width * depth + 31) // 32 * 4, []
    for r in range(abs(height)):
        row = data[offset + r * stride:]
        rows.append([row[x * depth // 8] >> (8 - depth - x * depth % 8) & (1 << depth) - 1 for x in range(width)])
    return palette, rows[::-1] if height > 0 else rows


def png_header(path):
    """IHDR's bit depth and colour type, and PLTE's colours."""
    data, at, found = open(path, "rb").read(), 8, {}
    while at < len(data):
        size = struct.unpack(">I", data[at:at + 4])[0]
        found.setdefault(data[at + 4:at + 8], data[at + 8:at + 8 + size])
        at += 12 + size
    plte = found.get(b"PLTE", b"")
    return found[b"IHDR"][8], found[b"IHDR"][9], [tuple(plte[i:i + 3]) for i in range(0, len(plte), 3)]


def lab(rgb):
    """CIELAB of an sRGB colour, D65."""
    linear = [c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4 for c in (v / 255 for v in rgb)]
    xyz = [sum(m * c for m, c in zip(row, linear)) / white for row, white in zip(
        ((0.4124564, 0.3575761, 0.1804375), (0.2126729, 0.7151522, 0.0721750), (0.0193339, 0.1191920, 0.9503041)),
        (0.95047, 1.0, 1.08883))]
    f = [t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29 for t in xyz]
    return 116 * f[1] - 16, 500 * (f[0] - f[1]), 200 * (f[1] - f[2])


def palettes(run, convert, make_carrier, pack):
    """Palette bitmaps as indexed PNGs, edited by index and by colour, near colours mapped."""
    os.mkdir("palettes")
    os.chdir("palettes")
    carriers = [f"i{n}.gif" for n in range(len(PALETTES))]
    with open("carriers.txt", "w") as f:
        f.write("".join(" ".join(options + ["--seed", str(n + 40), carrier]) + "\n"
                        for n, (options, carrier) in enumerate(zip(PALETTES, carriers))))
    run.tool(make_carrier, "--list", "carriers.txt")
    run.tool(convert, "-q", *carriers)
    run.tool(convert, "-q", "-f", "png", "-o", "png", *carriers)
    stored = {carrier: bmp_indices(f"{carrier}.bmp") for carrier in carriers}
    for options, carrier in zip(PALETTES, carriers):
        palette, rows = stored[carrier]
        depth, colour_type, plte = png_header(f"png/{carrier}.png")
        shown = palette + [(0, 0, 0)] * (max(max(row) for row in rows) + 1 - len(palette))
        image = Image.open(f"png/{carrier}.png")
        if (depth, colour_type) != (int(options[1]), 3) or plte != shown or \
                list(image.getdata()) != [i for row in rows for i in row]:
            run.fail(f"{carrier}: the indexed PNG is not the carrier's palette and indices")
        # By index: a pixel moved to the duplicate of the first colour keeps it.
        image.putpixel((0, 0), 1)
        image.save(f"png/{carrier}.png")
    # GIMP keeps an indexed picture indexed: a fill in a colour off the
    # palette paints with the palette's nearest entry, and packs as it shows.
    gimp, painted = carriers[2], None
    if GIMP:
        fill = (f'(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "png/{gimp}.png" "")))'
                f' (layer (car (gimp-image-get-active-drawable image))))'
                f' (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 3 1 4 3)'
                f' (gimp-context-set-foreground (list 250 210 0)) (gimp-drawable-edit-fill layer FILL-FOREGROUND)'
                f' (file-png-save-defaults RUN-NONINTERACTIVE image layer "png/{gimp}.png" "") (gimp-quit 0))')
        subprocess.run([GIMP, "-i", "-d", "-f", "-b", fill], check=True, capture_output=True)
        painted = Image.open(f"png/{gimp}.png")
        if painted.mode != "P":
            run.fail("GIMP did not keep the indexed picture indexed")
    run.tool(pack, "-q", "--from", "png", *carriers)
    run.tool(convert, "-q", "--force", *carriers)
    for carrier in carriers:
        palette, rows = stored[carrier]
        rows[0][0] = 1
        if carrier == gimp and painted:
            rows = [[painted.getpixel((x, y)) for x in range(len(rows[0]))] for y in range(len(rows))]
        if bmp_indices(f"{carrier}.bmp") != (palette, rows):
            run.fail(f"{carrier}: the edit by index did not go back index for index")
    # A palette swap, every entry recoloured and the indices kept, goes back
    # with --palette alone, and -n -v names each entry it changes.
    swap = [carrier for carrier in carriers if carrier != carriers[2]]
    for carrier in swap:
        image = Image.open(f"png/{carrier}.png")
        entries = 3 * len(stored[carrier][0])
        image.putpalette([255 - v for v in image.getpalette()[:entries]] + image.getpalette()[entries:])
        image.save(f"png/{carrier}.png")
    # Windows' tools name the pictures with backslashes.
    refused = run.tool(pack, "--from", "png", *swap, expect=1).stderr.replace("\\", "/")
    listed = run.tool(pack, "-n", "-v", "--palette", "--from", "png", *swap).stdout
    run.tool(pack, "-q", "--palette", "--from", "png", *swap)
    run.tool(convert, "-q", "--force", *swap)
    for carrier in swap:
        palette, rows = stored[carrier]
        inverted = [tuple(255 - v for v in colour) for colour in palette]
        if f"the palette of png/{carrier}.png differs from the carrier's in {len(palette)} entries" not in refused or \
                f"{carrier}.png: no pixel changed; {len(palette)} palette entries changed" not in listed or \
                any(f"entry {i}: #{bytes(a).hex()} -> #{bytes(b).hex()}" not in listed
                    for i, (a, b) in enumerate(zip(palette, inverted))):
            run.fail(f"{carrier}: the palette swap was not refused, or its entries not listed: {refused} {listed}")
        if bmp_indices(f"{carrier}.bmp") != (inverted, rows):
            run.fail(f"{carrier}: the palette swap did not go back entry for entry, the indices kept")
    # By colour: an antialiased blend off the palette is refused, then mapped
    # to the nearest colours, as this test works them out.
    carrier = carriers[2]
    palette, rows = stored[carrier]
    image = Image.open(f"png/{carrier}.png").convert("RGB")
    for x in range(image.width):
        for y in range(2):
            r, g, b = image.getpixel((x, y))
            t = x / (image.width - 1)
            image.putpixel((x, y), (round(r + (250 - r) * t), round(g + (210 - g) * t), round(b * (1 - t))))
    # Yellow text on the palette: a colour it has nothing near.
    for x in range(min(3, image.width)):
        image.putpixel((x, 2), (255, 255, 0))
    image.save(f"png/{carrier}.png")
    refusal = run.tool(pack, "-v", "--from", "png", carrier, expect=1).stderr
    if "not in the carrier's palette" not in refusal or "--nearest" not in refusal or "nearest is entry" not in refusal:
        run.fail(f"a colour off the palette was not refused with what to do: {refusal}")
    # Entries 0 to 3 kept out, as a game's transparent keys are: only their very colours go to them.
    packed = run.tool(pack, "-v", "--nearest", "--reserve", "0-3", "--from", "png", carrier)
    moved = packed.stderr.splitlines()
    if "; entries 0-3 kept out of --nearest" not in packed.stdout:
        run.fail(f"-v did not say which entries were kept out: {packed.stdout}")
    # Colours moved farther than ΔE 10 are listed, most pixels first, whatever -v says.
    labs = [lab(c) if i > 3 else (math.inf,) * 3 for i, c in enumerate(palette)]
    far = {}
    for colour in image.getdata():
        nearest = min(math.dist(lab(colour), entry) for entry in labs)
        if colour not in palette and nearest > 10:
            far[colour] = far.get(colour, 0) + 1
    listed = [line.strip() for line in moved[1:]]
    counts = [int(line.split(" in ")[1].split()[0]) for line in listed]
    if not far or not moved or f"moved {len(far)} colours farther than ΔE 10" not in moved[0] or \
            len(listed) != min(5, len(far)) or counts != sorted(counts, reverse=True) or \
            any(far.get(tuple(bytes.fromhex(line[1:7]))) != count for line, count in zip(listed, counts)):
        run.fail(f"{carrier}: the colours --nearest moved far were not listed as they should be: {moved}")
    run.tool(convert, "-q", "--force", carrier)
    now = bmp_indices(f"{carrier}.bmp")[1]
    for x in range(image.width):
        for y in range(3):
            colour = image.getpixel((x, y))
            if colour in palette:
                ok = palette[now[y][x]] == colour
            else:
                distances = [math.dist(lab(colour), entry) for entry in labs]
                ok = now[y][x] == distances.index(min(distances))
            if not ok:
                run.fail(f"{carrier}: pixel {x}, {y} of {colour} stored as entry {now[y][x]}, not the nearest")
                return len(carriers)
    os.chdir("..")
    return len(carriers)


def tree_twice(run, convert, make_carrier, pack):
    """The README's line for a tree, run again after each round of edits: every edit is kept and packed."""
    os.mkdir("tree")
    os.chdir("tree")
    os.makedirs("res/menu")
    pictures = {"title.gif": ["--width", "23", "--height", "11"], "menu/a.gif": ["--depth", "8", "--width", "9"],
                "menu/b.gif": ["--depth", "16", "--width", "6", "--height", "5"]}
    for name, options in pictures.items():
        run.tool(make_carrier, *options, "--seed", str(len(name)), f"res/{name}")
    originals = {name: open(f"res/{name}", "rb").read() for name in pictures}

    def line():
        converted = run.tool(convert, "-r", "-f", "png", "-o", "pictures", "res")
        run.tool(pack, "-q", "-r", "--from", "pictures", "-o", "res-new", "res")
        return converted.stderr.replace("\\", "/")  # as Windows names them too

    def shows(name, picture):
        run.tool(convert, "-q", "--force", "-f", "png", "-o", "check", f"res-new/{name}")
        return pixels(f"check/{os.path.basename(name)}.png") == pixels(picture)

    line()
    edited = []
    for name, editor in (("title.gif", "gimp"), ("menu/b.gif", "pillow")):
        picture = f"pictures/{name}.png"
        if editor == "gimp" and GIMP:
            fill = (f'(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{picture}" "")))'
                    f' (layer (car (gimp-image-get-active-drawable image))))'
                    f' (gimp-image-select-rectangle image CHANNEL-OP-REPLACE 2 1 5 4)'
                    f' (gimp-context-set-foreground (list 200 40 90)) (gimp-drawable-edit-fill layer FILL-FOREGROUND)'
                    f' (file-png-save-defaults RUN-NONINTERACTIVE image layer "{picture}" "") (gimp-quit 0))')
            subprocess.run([GIMP, "-i", "-d", "-f", "-b", fill], check=True, capture_output=True)
        else:
            image = Image.open(picture)
            ImageDraw.Draw(image).rectangle([1, 1, 3, 2], fill=(255, 0, 0) if image.mode == "RGB" else 0)
            image.save(picture)
        edited.append(name)
        expected = {name: pixels(f"pictures/{name}.png") for name in edited}
        said = line().replace("\\", "/")  # the Windows tools join names with \
        for name in edited:
            if f"pictures/{name}.png: kept: it shows another picture than its carrier" not in said or \
                    pixels(f"pictures/{name}.png") != expected[name]:
                run.fail(f"{name}: running the line again did not keep the edit: {said.strip()}")
            if not shows(name, f"pictures/{name}.png"):
                run.fail(f"{name}: running the line again did not pack the edit")
        if f"3 files: {3 - len(edited)} converted, 0 failed, {len(edited)} kept" not in said:
            run.fail(f"the summary does not count the kept edits: {said.strip()}")
    for name in pictures:
        if name not in edited and open(f"res-new/{name}", "rb").read() != originals[name]:
            run.fail(f"{name}: an unedited carrier did not come back byte for byte")
    os.chdir("..")
    return len(edited)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_file(width, height, idat, before=b""):
    header = chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    return b"\x89PNG\r\n\x1a\n" + header + before + b"".join(chunk(b"IDAT", d) for d in idat) + chunk(b"IEND", b"")


def damage(run, make_carrier, pack):
    """Pictures cut, damaged or lying, each refused with its reason, the carrier untouched."""
    os.mkdir("damage")
    os.chdir("damage")
    width, height = 29, 17
    run.tool(make_carrier, "--width", str(width), "--height", str(height), "base.gif")
    random.seed(7)
    rows = b"".join(b"\0" + bytes(random.randrange(256) for _ in range(3 * width)) for _ in range(height))
    good = zlib.compress(rows)
    wrong_adler = good[:-4] + bytes([good[-4] ^ 1]) + good[-3:]
    png = png_file(width, height, [good])
    with open("picture.bmp", "wb") as f:
        Image.frombytes("RGB", (width, height), bytes(random.randrange(256) for _ in range(3 * width * height))).save(f, "BMP")
    bmp_bytes = open("picture.bmp", "rb").read()
    cases = [("a PNG cut in its signature", ".png", png[:5], "cut short"),
             ("a PNG cut in its header", ".png", png[:30], "cut short"),
             ("a PNG cut in its image data", ".png", png[:len(png) // 2], "cut short"),
             ("a PNG without its end", ".png", png[:-12], "cut short"),
             ("a chunk's CRC wrong", ".png", png[:40] + bytes([png[40] ^ 1]) + png[41:], "checksum mismatch"),
             ("the Adler-32 wrong, in a chunk of its own", ".png",
              png_file(width, height, [wrong_adler[:-4], wrong_adler[-4:]]), "checksum mismatch"),
             ("image data past the picture", ".png", png_file(width, height, [zlib.compress(rows + bytes(10 ** 7))]),
              "Too much image data"),
             ("a deflate block of the reserved type", ".png", png_file(width, height, [b"\x78\x9c\x07" + bytes(40)]),
              "damaged"),
             ("a critical chunk of no known name", ".png", png_file(width, height, [good], chunk(b"\x9bXyZ", b"a")),
              "[9B]XyZ"),
             ("a header larger than the bitmap", ".png", png_file(8000, 8000, [good]), "is 8000 x 8000"),
             ("neither PNG nor BMP", ".png", b"GIF89a" + bytes(40), "not a PNG or BMP picture"),
             ("a BMP cut in its header", ".bmp", bmp_bytes[:40], "cut short"),
             ("a BMP cut in its rows", ".bmp", bmp_bytes[:len(bmp_bytes) // 2], "cut short"),
             ("a BMP cut by a byte", ".bmp", bmp_bytes[:-1], "cut short"),
             ("a 64-bit BMP", ".bmp", bmp_bytes[:28] + struct.pack("<H", 64) + bmp_bytes[30:], "a 64-bit BMP: not supported"),
             ("a BMP with a PNG inside", ".bmp", bmp_bytes[:28] + struct.pack("<HI", 0, 5) + bmp_bytes[34:54] + png,
              "a BMP with a PNG inside: not supported"),
             ("an OS/2 2.x header", ".bmp", bmp(width, height, 24, 0, bmp_bytes[54:], 64),
              "a BMP with an OS/2 2.x header: not supported")]
    carriers = [f"d{n}.gif" for n in range(len(cases))]
    for carrier, (what, ext, data, reason) in zip(carriers, cases):
        shutil.copy("base.gif", carrier)
        with open(carrier + ext, "wb") as f:
            f.write(data)
    before = snapshot(carriers)
    refusals = run.tool(pack, *carriers, expect=1).stderr.splitlines()
    for carrier, (what, ext, data, reason) in zip(carriers, cases):
        line = next((line for line in refusals if line.startswith(f"quillane-pack: {carrier}: ")), "none")
        if reason not in line:
            run.fail(f"{what}: not refused as it should be: {line}")
    if snapshot(carriers) != before or any(name.endswith(".temp") for name in os.listdir(".")):
        run.fail("a damaged picture changed its carrier or left a staging file")
    os.chdir("..")
    return len(cases)


def carriers_in_every_form(run, make_carrier, make=True):
    """The pictures in every form, and the generated bitmaps, as carriers;
    with `make`, written here, else only named, as a prepared folder holds them."""
    cases, lines = [], []
    for p, (builtin, width, height) in enumerate(PICTURES):
        picture, upside_down = f"p{p}.png", f"p{p}-flipped.png"
        if make:
            subprocess.run([MAGICK, builtin, "-resize", f"{width}x{height}!", picture], check=True)
            subprocess.run([MAGICK, picture, "-flip", upside_down], check=True)
        for f, (name, write, options, as_game, exact, palette) in enumerate(FORMS):
            payload, carrier = f"p{p}f{f}.bmp", f"p{p}f{f}.gif"
            if make:
                write(upside_down if as_game else picture, payload)
            form = ["--comment"] if (p + f) % 2 else []
            lines.append(" ".join(["--payload", payload, *options, *form, carrier]))
            cases.append((f"{builtin} {width}x{height}, {name}", picture, payload, carrier, as_game, exact, f))
    generated = [f"g{g}.gif" for g in range(len(GENERATED))]
    lines += [" ".join([*options, "--seed", str(g), generated[g]]) for g, options in enumerate(GENERATED)]
    if make:
        with open("carriers.txt", "w") as f:
            f.write("\n".join(lines) + "\n")
        run.tool(make_carrier, "--list", "carriers.txt")
    return cases, generated


PREPARED = os.environ.get("QUILLANE_PICTURES_PREPARED")


def prepare(run, convert, make_carrier, pack):
    """Makes the pictures in every form once, for the sections that start from them."""
    shutil.rmtree(PREPARED, ignore_errors=True)
    os.makedirs(PREPARED)
    os.chdir(PREPARED)
    cases, generated = carriers_in_every_form(run, make_carrier)
    if run.failures == 0:
        open("complete", "w").close()
    return f"{len(cases)} pictures in {len(FORMS)} forms and {len(generated)} generated bitmaps made"


def every_form(run, make_carrier):
    """The carriers in every form here, copied from the prepared folder where there is one."""
    if PREPARED and os.path.exists(f"{PREPARED}/complete"):
        shutil.copytree(PREPARED, ".", dirs_exist_ok=True)
        return carriers_in_every_form(run, make_carrier, make=False)
    return carriers_in_every_form(run, make_carrier)


def converted(run, convert, everything):
    """Converted, as BMP beside each carrier and as PNG in a folder of its own,
    where a bitmap that shows no picture comes as the BMP it converts to."""
    run.tool(convert, "-q", *everything)
    run.tool(convert, "-q", "-f", "png", "-o", "png", *everything)


def forms(run, convert, make_carrier, pack):
    """Every form converted to BMP and PNG, each output the picture its carrier holds, as Pillow reads it."""
    cases, generated = every_form(run, make_carrier)
    carriers = [c[3] for c in cases]
    everything = carriers + generated
    converted(run, convert, everything)
    for what, picture, payload, carrier, as_game, exact, form in cases:
        size, expected = pixels(payload, "RGBA")
        if as_game:
            expected = flipped(size, expected)
        for output, mode in ((carrier + ".bmp", "RGBA"), (f"png/{carrier}.png", "RGBA")):
            try:
                got = pixels(output, mode)
            except Exception as e:  # any reason a reader cannot open it
                got = (None, str(e))
            if got != (size, expected):
                run.fail(f"{what}: {output} is not the picture the carrier holds")
        mode = "P" if FORMS[form][5] else "RGBA" if "alpha" in what else "RGB"
        if Image.open(f"png/{carrier}.png").mode != mode:
            run.fail(f"{what}: the PNG is not {mode}, as the bitmap is")
        if exact and pixels(picture) != (size, [p[:3] for p in expected]):
            run.fail(f"{what}: the carried bitmap is not the source picture")
    return f"{len(cases)} pictures in {len(FORMS)} forms converted"


def round_trips(run, convert, make_carrier, pack):
    """Unedited, the pictures give the carriers back byte for byte, and left in
    place, or checked, change nothing."""
    cases, generated = every_form(run, make_carrier)
    carriers = [c[3] for c in cases]
    everything = carriers + generated
    originals = snapshot(everything)
    converted(run, convert, everything)
    run.tool(pack, "-q", "-o", "from-bmp", *everything)
    run.tool(pack, "-q", "--from", "png", "-o", "from-png", *everything)
    for folder in ("from-bmp", "from-png"):
        for name in everything:
            if not filecmp.cmp(name, f"{folder}/{name}", shallow=False):
                run.fail(f"packing the unedited {folder[5:]} of {name} does not give the carrier back")
    run.tool(pack, "-q", "-n", "--from", "png", *everything)
    run.tool(pack, "-q", *everything)
    if snapshot(everything) != originals:
        run.fail("packing unedited pictures in place, or checking them, changed a carrier")
    return f"{len(everything)} unedited carriers, {len(generated)} generated among them, given back"


def edits(run, convert, make_carrier, pack):
    """Edited, in colours the bitmap holds, they come out again as edited; a
    colour the palette lacks is refused, and the carrier stays as it was."""
    cases, generated = every_form(run, make_carrier)
    converted(run, convert, [c[3] for c in cases])
    edited = {}
    for what, picture, payload, carrier, as_game, exact, form in cases:
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

    carrier = cases[6][3]
    before = snapshot([carrier])
    image = Image.open(f"{carrier}.bmp").convert("RGB")
    image.putpixel((0, 0), (1, 2, 3))
    image.save(f"{carrier}.bmp")
    refusal = run.tool(pack, carrier, expect=1)
    if "not in the carrier's palette; the first at 0, 0 from the top left" not in refusal.stderr or \
            snapshot([carrier]) != before:
        run.fail(f"an edit off the palette was not refused as it should be: {refusal.stderr.strip()}")
    return f"{len(edited)} edits packed"


def bmp_edit(run, convert, make_carrier, pack):
    """A 32-bit bitmap's fourth bytes are unused, whatever they hold: a pixel
    edited in its BMP goes back as that pixel alone."""
    cases, generated = every_form(run, make_carrier)
    carrier = generated[THIRTY_TWO]
    run.tool(convert, "-q", carrier)
    data = bytearray(open(f"{carrier}.bmp", "rb").read())
    pixel = struct.unpack("<I", data[10:14])[0]
    data[pixel:pixel + 3] = bytes([1, 2, 3])
    with open(f"{carrier}.bmp", "wb") as f:
        f.write(data)
    run.tool(pack, "-q", carrier)
    run.tool(convert, "-q", carrier)
    if open(f"{carrier}.bmp", "rb").read() != data:
        run.fail("a 32-bit pixel edited in its BMP did not go back as it was edited")
    return "a 32-bit pixel edited in its BMP"


def transparent(run, convert, make_carrier, pack):
    """An editor that clears the colour of fully transparent pixels changes nothing."""
    picture = Image.new("RGBA", (9, 5), (200, 30, 10, 255))
    ImageDraw.Draw(picture).rectangle([0, 0, 4, 2], fill=(90, 180, 40, 0))
    picture.transpose(Image.FLIP_TOP_BOTTOM).save("clear.png")
    subprocess.run([MAGICK, "clear.png", "-define", "bmp:subtype=ARGB8888", "BMP:clear.bmp"], check=True)
    run.tool(make_carrier, "--payload", "clear.bmp", "clear.gif")
    run.tool(convert, "-q", "-f", "png", "clear.gif")
    cleared = Image.open("clear.gif.png")
    cleared.putdata([p if p[3] else (0, 0, 0, 0) for p in cleared.getdata()])
    cleared.save("clear.gif.png")
    if "unchanged" not in run.tool(pack, "-v", "clear.gif").stdout:
        run.fail("clearing the colour of transparent pixels counted as a change")
    return "transparent pixels cleared"


def workflow(run, convert, make_carrier, pack):
    """Every order of the documented steps keeps the latest edit and packs again to nothing, on a game
    folder that holds other files too."""
    os.makedirs("res/ui")
    os.makedirs("res/sounds")
    run.tool(make_carrier, "--width", "9", "--height", "6", "--seed", "1", "res/title.gif")
    run.tool(make_carrier, "--depth", "8", "--colours", "6", "--width", "7", "--height", "4", "--seed", "2", "res/ui/menu.gif")
    # The game's other files: GIFs as ImageMagick and Pillow write them, a sound, a text, an empty folder.
    subprocess.run([MAGICK, "rose:", "res/rose.gif"], check=True)
    subprocess.run([MAGICK, "-size", "8x8", "xc:white", "xc:black", "-append", "-colors", "2", "res/ui/bw.gif"], check=True)
    Image.new("1", (8, 8)).save("res/ui/mono.gif")
    Image.new("RGB", (5, 5), (9, 90, 200)).save("res/ui/flat.gif", comment=b"BM, but a comment")
    open("res/sounds/jingle.wav", "wb").write(bytes(range(256)) * 3)
    open("res/readme.txt", "w").write("the game's own notes\n")
    os.makedirs("res/empty")
    os.utime("res/readme.txt", (1000000000, 1000000000))

    def edit(picture, colour, at=(1, 1)):
        image = Image.open(picture)
        image = image if image.mode in ("RGB", "P") else image.convert("RGB")
        image.putpixel(at, colour)
        image.save(picture)
        return pixels(picture)

    def holds(carrier, expected):
        run.tool(convert, "-q", "--force", "-f", "png", "-o", "check", carrier)
        return pixels(f"check/{os.path.basename(carrier)}.png") == expected

    # Beside the carrier: its BMP (as the window writes it) and its PNG; the PNG edited and packed; packed again
    # the next day with the whole folder, the stale BMP must not put the original back.
    run.tool(convert, "-q", "-r", "res")
    run.tool(convert, "-q", "-r", "-f", "png", "res")
    edited = edit("res/title.gif.png", (250, 20, 30))
    run.tool(pack, "-q", "res/title.gif")
    again = run.tool(pack, "-v", "-r", "res")
    said = again.stdout.replace("\\", "/")  # as Windows names them too
    if not holds("res/title.gif", edited) or pixels("res/title.gif.bmp") != edited or \
            "res/title.gif: unchanged" not in said:
        run.fail(f"packing twice did not leave the edit: {again.stdout.strip()}")
    if "2 not carriers" in again.stderr or "; 4 not carriers" not in again.stderr:
        run.fail(f"the game's other GIFs were not told apart: {again.stderr.strip()}")
    # From a folder of pictures, in place, with a stale BMP beside the carrier.
    os.remove("res/ui/menu.gif.png")
    run.tool(convert, "-q", "-r", "-f", "png", "-o", "pictures", "res")
    menu = edit("pictures/ui/menu.gif.png", 0, (0, 0))
    run.tool(pack, "-q", "-r", "--from", "pictures", "res")
    again = run.tool(pack, "-v", "-r", "res")
    if not holds("res/ui/menu.gif", menu) or "res/ui/menu.gif: unchanged" not in again.stdout.replace("\\", "/"):
        run.fail(f"a pack from a folder of pictures was undone by the picture beside the carrier: {again.stdout.strip()}")
    # A colour the palette lacks, packed with --nearest: the picture then packs to what the carrier holds.
    image = Image.open("pictures/ui/menu.gif.png").convert("RGB")
    image.putpixel((2, 2), (1, 254, 3))
    image.save("pictures/ui/menu.gif.png")
    run.tool(pack, "-q", "--nearest", "-r", "--from", "pictures", "res")
    kept = run.tool(convert, "-r", "-f", "png", "-o", "pictures", "res").stderr
    plain = run.tool(pack, "-v", "-r", "--from", "pictures", "res")
    if "menu.gif.png" in kept or Image.open("pictures/ui/menu.gif.png").convert("RGB").getpixel((2, 2)) != (1, 254, 3) or \
            "unchanged" not in plain.stdout:
        run.fail(f"a picture packed with --nearest counted as an edit: {kept.strip()} {plain.stdout.strip()}")
    # --force replaces an edit by name, and keeps it as a backup when asked.
    edited = edit("pictures/title.gif.png", (5, 6, 7))
    forced = run.tool(convert, "--force", "-b", "-f", "png", "-o", "pictures", "res/title.gif").stderr
    if "title.gif.png: replaced: it shows another picture" not in forced or \
            pixels("pictures/title.gif.png~") != edited:
        run.fail(f"--force replaced an edit without naming it or keeping its backup: {forced.strip()}")
    # What cannot be looked at is a failure, never kept.
    os.mkdir("res/ui/menu.gif.bmp.tmp")
    os.rename("res/ui/menu.gif.bmp", "res/ui/menu.gif.bmp.was")
    os.rename("res/ui/menu.gif.bmp.tmp", "res/ui/menu.gif.bmp")
    folder = run.tool(convert, "res/ui/menu.gif", expect=1).stderr
    if "cannot read" not in folder or "kept" in folder:
        run.fail(f"a folder at the output's name was called kept: {folder.strip()}")
    os.rmdir("res/ui/menu.gif.bmp")
    # The README's tree line through the whole game folder, and res-new a whole game folder.
    line = run.tool(convert, "-r", "-f", "png", "-o", "pictures", "res")
    run.tool(pack, "-q", "-r", "--from", "pictures", "-o", "res-new", "res")
    others = ["rose.gif", "ui/bw.gif", "ui/mono.gif", "ui/flat.gif", "sounds/jingle.wav", "readme.txt"]
    for name in others:
        if not os.path.exists(f"res-new/{name}") or not filecmp.cmp(f"res/{name}", f"res-new/{name}", shallow=False) or \
                int(os.path.getmtime(f"res-new/{name}")) != int(os.path.getmtime(f"res/{name}")):
            run.fail(f"res-new/{name} is not the game's file as it was")
    stray = [f for f in os.listdir("res-new") + os.listdir("res-new/ui") if f.endswith((".png", ".bmp", ".temp", "~"))]
    if not os.path.isdir("res-new/empty") or stray or "not carriers" not in line.stderr:
        run.fail(f"res-new is not a whole game folder of its own: {stray} {line.stderr.strip()}")
    return len(others)


def rle_pictures():
    """What RLE must get right: name, depth, palette length and indices, top row first."""
    random.seed(5)
    noise = lambda width, colours, rows: [[random.randrange(colours) for _ in range(width)] for _ in range(rows)]
    turns = lambda width, a, b: [b if x % 2 else a for x in range(width)]
    mixed = lambda depth: [sum(([random.randrange(1 << depth)] * random.choice((1, 2, 3, 40, 300)) for _ in range(40)),
                                [])[:97] for _ in range(13)]
    return ([(f"RLE4, {w} wide", 4, 16, noise(w, 16, 3)) for w in (1, 3, 5, 7)] +
            [(f"RLE{d}, one run of {w}", d, 1 << d, [[5] * w]) for d in (8, 4) for w in (255, 256, 510, 511)] +
            [(f"RLE{d}, no repeats", d, 1 << d, [[(x * 7 + r) % (1 << d) for x in range(301)] for r in range(2)])
             for d in (8, 4)] +
            [(f"RLE{d}, two indices in turn", d, 1 << d, [turns(301, 1, 9), turns(301, 0, 15)])
             for d in (8, 4)] +
            [(f"RLE{d}, rows ending after indices as they are", d, 1 << d,
              [[x + 1 for x in range(10)], [9] * 4 + [x + 1 for x in range(6)]]) for d in (8, 4)] +
            [(f"RLE{d}, one pixel wide", d, 1 << d, noise(1, 1 << d, 9)) for d in (8, 4)] +
            [(f"RLE{d}, one row", d, 1 << d, noise(37, 1 << d, 1)) for d in (8, 4)] +
            [(f"RLE{d}, palette of 2", d, 2, noise(37, 2, 5)) for d in (8, 4)] +
            [(f"RLE{d}, runs and noise", d, 1 << d, mixed(d)) for d in (8, 4)])


def compression(path):
    return struct.unpack("<I", open(path, "rb").read()[30:34])[0]


def magick_colours(path):
    raw = subprocess.run([MAGICK, path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
    return [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]


def read(reader, path):
    """What `reader` makes of `path`, or None where it cannot read it."""
    try:
        return reader(path)
    except Exception:  # any reason a reader cannot read it
        return None


def browser_colours(names):
    """Each picture as headless Chromium, offline, draws it on a canvas."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/lib/chromium/chromium" if os.path.exists("/usr/lib/chromium/chromium") \
        else "/usr/bin/chromium"
    # Without file access a canvas that drew a file:// picture may not be read.
    for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--allow-file-access-from-files",
                 f"--user-data-dir={os.path.abspath('profile')}"]:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        driver.execute_cdp_cmd("Network.enable", {})
        driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                               {"offline": True, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0})
        with open("page.html", "w") as f:
            f.write("<!DOCTYPE html><title>RLE</title>")
        driver.get("file://" + os.path.abspath("page.html"))
        draw = """const [name, done] = arguments, image = new Image();
            image.onerror = () => done([]);
            image.onload = () => {
              const canvas = document.createElement('canvas');
              [canvas.width, canvas.height] = [image.width, image.height];
              const context = canvas.getContext('2d');
              context.drawImage(image, 0, 0);
              done(Array.from(context.getImageData(0, 0, image.width, image.height).data));
            };
            image.src = name;"""
        drawn = [driver.execute_async_script(draw, name) for name in names]
    finally:
        driver.quit()
    return [[tuple(rgba[i:i + 4]) for i in range(0, len(rgba), 4)] for rgba in drawn]


def rle_codec(run, convert, make_carrier, pack):
    """Our RLE8 and RLE4, as a pack writes an edit of an RLE carrier, read back
    exactly by Pillow, ImageMagick, GIMP and Chromium, the carrier's bytes
    before its chain as they were; ImageMagick's and GIMP's RLE read by our
    decoder as Pillow reads them."""
    cases = rle_pictures()
    carriers = [f"c{n}.gif" for n in range(len(cases))]
    for n, (what, depth, colours, rows) in enumerate(cases):
        packed = [bytes(row) if depth == 8 else bytes(row[x] << 4 | (row[x + 1] if x + 1 < len(row) else 0)
                                                      for x in range(0, len(row), 2)) for row in reversed(rows)]
        # Index 0 is not black, which Chromium shows pixels the data leaves unset.
        palette = [((i * 37 + 200) % 256, i * 91 % 256, i) for i in range(colours)]
        stride = (len(rows[0]) * depth + 31) // 32 * 4
        for name, data in ((f"r{n}.bmp", b"".join(p + bytes(-len(p) % 4) for p in packed)),
                           (f"blank{n}.bmp", bytes(stride * len(rows)))):
            with open(name, "wb") as f:
                f.write(bmp(len(rows[0]), len(rows), depth, 0, data, palette=palette))
        # The carrier holds RLE of index 0; the picture paints the indices over it.
        run.tool(make_carrier, "--recode", f"blank{n}.bmp", f"blank{n}-rle.bmp")
        run.tool(make_carrier, "--payload", f"blank{n}-rle.bmp", carriers[n])
        image = Image.new("P", (len(rows[0]), len(rows)))
        image.putpalette([v for colour in palette for v in colour])
        image.putdata([i for row in rows for i in row])
        image.save(f"{carriers[n]}.png")
        subprocess.run([MAGICK, f"r{n}.bmp", "-compress", "RLE", f"BMP3:r{n}-magick.bmp"], check=True)
    blanks = {carrier: open(carrier, "rb").read() for carrier in carriers}
    run.tool(pack, "-q", *carriers)
    run.tool(convert, "-q", *carriers)
    for n, carrier in enumerate(carriers):
        os.replace(f"{carrier}.bmp", f"r{n}-ours.bmp")
        before, after = blanks[carrier], open(carrier, "rb").read()
        chain = before.index(b"BM") - 1
        if after[:chain] != before[:chain] or after[-1:] != b";":
            run.fail(f"{cases[n][0]}: the carrier's bytes before its chain, or its trailer, changed")
    # GIMP, started once, writes the indices it reads from each of ours, a
    # line each, and RLE of its own for a few pictures: each file it opens
    # starts a plug-in.
    gimp_writes = [n for n, case in enumerate(cases) if "noise" in case[0] or "no repeats" in case[0]]
    ours = " ".join(f'"r{n}-ours.bmp"' for n in range(len(cases)))
    own = " ".join(f'"r{n}.bmp"' for n in gimp_writes)
    gimp = subprocess.run([GIMP or "gimp-console", "-i", "-d", "-f", "-b", f"""
        (define (open-image name) (car (gimp-file-load RUN-NONINTERACTIVE name name)))
        (define (layer image) (car (gimp-image-get-active-drawable image)))
        (define (indices image port)
          (let loop ((i 0) (width (car (gimp-image-width image))) (height (car (gimp-image-height image))))
            (when (< i (* width height))
              (display (vector-ref (cadr (gimp-drawable-get-pixel (layer image) (modulo i width) (quotient i width)))
                                   0) port)
              (write-char #\\space port)
              (loop (+ i 1) width height)))
          (newline port)
          (gimp-image-delete image))
        (let ((port (open-output-file "gimp.txt")))
          (for-each (lambda (name) (indices (open-image name) port)) '({ours}))
          (close-output-port port))
        (for-each (lambda (name) (let* ((image (open-image name)) (out (string-append name "-gimp.bmp")))
                                   (file-bmp-save2 RUN-NONINTERACTIVE image (layer image) out out 1 0 0)))
                  '({own}))""", "-b", "(gimp-quit 0)"], capture_output=True, text=True)
    if gimp.returncode:
        run.fail(f"GIMP stopped: {gimp.stderr.strip()[-300:]}")
    gimp_read = read(lambda path: [[int(i) for i in line.split()] for line in open(path)], "gimp.txt") or []
    drawn = browser_colours([f"r{n}-ours.bmp" for n in range(len(cases))])
    theirs = []
    pillow_indices, pillow_colours = lambda path: list(Image.open(path).getdata()), lambda path: pixels(path)[1]
    for n, (what, depth, colours, rows) in enumerate(cases):
        indices, shown, ours = [i for row in rows for i in row], pixels(f"r{n}.bmp")[1], f"r{n}-ours.bmp"
        if compression(ours) != (1 if depth == 8 else 2):
            run.fail(f"{what}: not written as RLE{depth}")
        if read(pillow_indices, ours) != indices:
            run.fail(f"{what}: Pillow does not read the indices encoded")
        if read(magick_colours, ours) != shown:
            run.fail(f"{what}: ImageMagick does not read the colours encoded")
        if (gimp_read[n] if n < len(gimp_read) else None) != indices:
            run.fail(f"{what}: GIMP does not read the indices encoded")
        if drawn[n] != [colour + (255,) for colour in shown]:
            run.fail(f"{what}: Chromium does not draw the colours encoded")
        for writer, name in (("ImageMagick", f"r{n}-magick.bmp"), ("GIMP", f"r{n}.bmp-gimp.bmp")):
            kind = compression(name) if os.path.exists(name) else None
            if kind not in (1, 2):
                continue
            # Debian 12's Pillow reads an odd-length run of RLE4 indices as they are one pixel short.
            reader, expected = ("Pillow", read(pillow_colours, name)) if kind == 1 else \
                ("ImageMagick", read(magick_colours, name))
            theirs.append((writer, kind))
            if run.tool(make_carrier, "--recode", name, f"{name}-ours.bmp").returncode == 0 and \
                    read(pillow_colours, f"{name}-ours.bmp") != expected:
                run.fail(f"{what}: {writer}'s RLE{8 if kind == 1 else 4} is not decoded as {reader} reads it")
    if set(theirs) != {("ImageMagick", 1), ("GIMP", 1), ("GIMP", 2)}:
        run.fail(f"ImageMagick's RLE8 and GIMP's RLE8 and RLE4 were not all there: {sorted(set(theirs))}")
    return f"{len(cases)} pictures encoded, read back by four readers; {len(theirs)} of theirs decoded"


def resizes(run, convert, make_carrier, pack):
    """A picture of another size goes back with --resize alone, its bitmap
    written at that size in the carrier's own form, as Pillow reads it."""
    made = {"p1.gif": "--depth 1 --width 13 --height 7", "p4.gif": "--depth 4 --width 9 --height 6 --packed",
            "p8.gif": "--depth 8 --width 11 --height 5", "down.gif": "--depth 24 --width 6 --height 4 --top-down"}
    with open("carriers.txt", "w") as f:
        f.write("".join(f"{options} {carrier}\n" for carrier, options in made.items()))
    run.tool(make_carrier, "--list", "carriers.txt")
    # ImageMagick's V5 header, and RLE of its palette pictures.
    for options, carrier in ((["-type", "TrueColor", "BMP:v5.bmp"], "v5.gif"),
                             (["-colors", "16", "-type", "Palette", "-compress", "None", "BMP3:v5.bmp"], "rle4.gif"),
                             (["-colors", "200", "-type", "Palette", "-compress", "None", "BMP3:v5.bmp"], "rle8.gif")):
        subprocess.run([MAGICK, "rose:", "-resize", "9x7!", *options], check=True)
        if carrier.startswith("rle"):
            run.tool(make_carrier, "--recode", "v5.bmp", "v5.bmp")
        run.tool(make_carrier, "--payload", "v5.bmp", carrier)
    carriers = list(made) + ["v5.gif", "rle4.gif", "rle8.gif"]
    run.tool(convert, "-q", *carriers)
    form = lambda path: (lambda d: (d[14:18], d[28:34], struct.unpack("<i", d[22:26])[0] < 0))(open(path, "rb").read())
    forms = {carrier: form(f"{carrier}.bmp") for carrier in carriers}
    run.tool(convert, "-q", "-f", "png", "-o", "png", *carriers)
    edited = {}
    for carrier in carriers:
        image = Image.open(f"png/{carrier}.png")
        wider = image.crop((0, 0, image.width + 3, image.height - 1))
        fill = 0 if image.mode == "P" else (9, 9, 9, 255)[:len(image.getbands())]
        ImageDraw.Draw(wider).rectangle([image.width, 0, image.width + 2, image.height], fill=fill)
        wider.save(f"png/{carrier}.png")
        edited[carrier] = pixels(f"png/{carrier}.png", "RGBA")
    refused = run.tool(pack, "--from", "png", *carriers, expect=1).stderr.replace("\\", "/")
    warned = run.tool(pack, "--resize", "--from", "png", *carriers).stderr
    run.tool(convert, "-q", "-o", "again", *carriers)
    for carrier in carriers:
        (width, height), _ = edited[carrier]
        if f"png/{carrier}.png is {width} x {height}" not in refused or \
                f"{carrier}: its bitmap goes back at {width} x {height}, not {width - 3} x {height + 1}: the game may " \
                "not expect the new size" not in warned:
            run.fail(f"{carrier}: the new size was not refused, or not warned of: {refused} {warned}")
        if pixels(f"again/{carrier}.bmp", "RGBA") != edited[carrier] or form(f"again/{carrier}.bmp") != forms[carrier]:
            run.fail(f"{carrier}: the bitmap is not the picture at its new size in the carrier's own form")
        if not filecmp.cmp(f"{carrier}.bmp", f"again/{carrier}.bmp", shallow=False):
            run.fail(f"{carrier}: the BMP beside it was not brought in line with the new size")
    return f"{len(carriers)} bitmaps written at a new size"


# The edits a modder makes, each as GIMP, ImageMagick and Pillow make it,
# on a picture of the carrier named: its RLE painted with the palette's
# colours, a palette swap (GIMP's colormap; ImageMagick edits pixels, not
# palettes), a new size, and a blur whose colours only --nearest stores,
# entries 0 to 3 kept out.
RESERVED = "0-3"
MODS = {
    "paint": (["rle8.gif", "rle4.gif"], [], {
        "Pillow": lambda p: (lambda i: (ImageDraw.Draw(i).rectangle([1, 1, 4, 3], fill=5), i.save(p)))(Image.open(p)),
        "ImageMagick": lambda p: [MAGICK, p, "-fill", "#%02x%02x%02x" % Image.open(p).convert("RGB").getpixel((6, 5)),
                                  "-draw", "rectangle 1,1 4,3", p],
        "GIMP": '(gimp-image-select-rectangle image CHANNEL-OP-REPLACE 1 1 4 3) (gimp-context-set-foreground '
                '(list 250 210 0)) (gimp-drawable-edit-fill layer FILL-FOREGROUND)'}),
    "palette": (["p8.gif"], ["--palette"], {
        "Pillow": lambda p: (lambda i: (i.putpalette([255, 0, 128] + i.getpalette()[3:]), i.save(p)))(Image.open(p)),
        "GIMP": '(let ((map (cadr (gimp-image-get-colormap image)))) (vector-set! map 0 255) (vector-set! map 1 0) '
                '(vector-set! map 2 128) (gimp-image-set-colormap image (vector-length map) map))'}),
    "resize": (["t24.gif", "rle4.gif"], ["--resize"], {
        "Pillow": lambda p: Image.open(p).crop((0, 0, 33, 5)).save(p),
        "ImageMagick": lambda p: [MAGICK, p, "-background", "#%02x%02x%02x" % Image.open(p).convert("RGB").getpixel((0, 0)),
                                  "-extent", "33x5", p],
        "GIMP": '(gimp-image-resize image 33 5 0 0) (gimp-layer-resize-to-image-size layer) (gimp-image-flatten image)'}),
    "reserve": (["p8.gif"], ["--nearest", "--reserve", RESERVED], {
        "Pillow": lambda p: Image.open(p).convert("RGB").resize((24, 18)).resize((12, 9)).save(p),
        "ImageMagick": lambda p: [MAGICK, p, "-blur", "0x1", p],
        "GIMP": '(gimp-image-convert-rgb image) (plug-in-gauss RUN-NONINTERACTIVE image layer 3 3 0)'}),
}


def editors(run, convert, make_carrier, pack):
    """RLE, palette swaps, new sizes and reserved entries, each edited in GIMP,
    ImageMagick and Pillow, packed, and read back as the edit by Pillow and
    ImageMagick alike; the nearest colours never a reserved entry's."""
    subprocess.run([MAGICK, "rose:", "-resize", "12x9!", "-colors", "200", "-type", "Palette", "-compress", "RLE",
                    "BMP3:rle8.bmp"], check=True)
    subprocess.run([MAGICK, "rose:", "-resize", "12x9!", "-colors", "16", "-type", "Palette", "-compress", "None",
                    "BMP3:plain4.bmp"], check=True)
    run.tool(make_carrier, "--recode", "plain4.bmp", "rle4.bmp")
    for name in ("rle8", "rle4"):
        run.tool(make_carrier, "--payload", f"{name}.bmp", f"{name}.gif")
    run.tool(make_carrier, "--depth", "8", "--width", "12", "--height", "9", "p8.gif")
    run.tool(make_carrier, "--depth", "24", "--width", "30", "--height", "7", "t24.gif")
    cases = [(f"{mod}-{editor}-{carrier}", options, edit) for mod, (carriers, options, edits) in MODS.items()
             for editor, edit in edits.items() for carrier in carriers if editor != "GIMP" or GIMP]
    for name, options, edit in cases:
        shutil.copy(name.rsplit("-", 1)[1], name)
    run.tool(convert, "-q", "-f", "png", *[name for name, _, _ in cases])
    gimp = ""
    for name, options, edit in cases:
        if isinstance(edit, str):
            gimp += (f'(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{name}.png" "")))'
                     f' (layer (car (gimp-image-get-active-drawable image)))) {edit}'
                     f' (set! layer (car (gimp-image-get-active-drawable image)))'
                     f' (file-png-save-defaults RUN-NONINTERACTIVE image layer "{name}.png" ""))')
        elif isinstance(edit(f"{name}.png"), list):
            subprocess.run(edit(f"{name}.png"), check=True)
    if gimp:
        subprocess.run([GIMP, "-i", "-d", "-f", "-b", gimp, "-b", "(gimp-quit 0)"], check=True, capture_output=True)
    for name, options, edit in cases:
        run.tool(pack, "-q", *options, name)
    run.tool(convert, "-q", "-o", "again", *[name for name, _, _ in cases])
    for name, options, edit in cases:
        wanted, got = pixels(f"{name}.png"), pixels(f"again/{name}.bmp")
        if "--reserve" in options:
            palette, rows = bmp_indices(f"again/{name}.bmp")
            wanted = (wanted[0], [palette[i] for row in rows for i in row])
            if any(i <= 3 and palette[i] != colour for i, colour in zip([i for row in rows for i in row], pixels(f"{name}.png")[1])):
                run.fail(f"{name}: a colour went to an entry kept out of --nearest")
        if got != wanted or read(magick_colours, f"again/{name}.bmp") != wanted[1]:
            run.fail(f"{name}: Pillow or ImageMagick does not read the packed carrier as the edit")
    return f"{len(cases)} edits by {'three' if GIMP else 'two'} editors packed"


SECTIONS = {
    "prepare": prepare,
    "forms": forms,
    "round_trips": round_trips,
    "edits": edits,
    "bmp_edit": bmp_edit,
    "transparent": transparent,
    "palettes": lambda *tools: f"{palettes(*tools)} palette bitmaps by index and colour"
                               f"{', one edited in GIMP' if GIMP else ''}",
    "editor_forms": lambda *tools: f"{editor_forms(*tools)} editors' forms packed",
    "alpha": lambda run, convert, make_carrier, pack: f"{alpha_forms(run, make_carrier, convert, pack)} into a bitmap "
                                                      "with alpha",
    "damage": lambda run, convert, make_carrier, pack: f"{damage(run, make_carrier, pack)} damaged pictures refused",
    "rle": rle_codec,
    "resize": resizes,
    "editors": editors,
    "tree": lambda *tools: f"a tree converted and packed again after {tree_twice(*tools)} rounds of edits",
    "workflow": lambda *tools: f"every order of the steps, {workflow(*tools)} other files of the game's folder kept",
}


def main():
    if len(sys.argv) < 5 or sys.argv[1] not in SECTIONS:
        sys.exit(f"usage: pictures.py {{{'|'.join(SECTIONS)}}} CONVERT MAKE_CARRIER PACK [RUNNER...]")
    section = sys.argv[1]
    if section == "prepare" and not PREPARED:
        sys.exit("pictures.py prepare: QUILLANE_PICTURES_PREPARED names no folder")
    convert, make_carrier, pack = (os.path.abspath(p) for p in sys.argv[2:5])
    run = Run(sys.argv[5:])
    work = tempfile.mkdtemp(prefix=f"quillane-pictures-{section}.")
    os.chdir(work)
    said = SECTIONS[section](run, convert, make_carrier, pack)
    print(f"{section}: {said}: {run.failures} failures")
    os.chdir("/")
    if run.failures == 0:
        shutil.rmtree(work)
    else:
        print(f"left in {work}")
    return 1 if run.failures else 0


if __name__ == "__main__":
    sys.exit(main())
