#!/usr/bin/python3
"""quillane-pack --review as a modder meets it, in a real browser.

A game folder of carriers, three pictures edited (one into colours only
--nearest stores, one to another size, which is refused) and one named as a
page must show as text, is reviewed with -n, then packed. In headless
Chromium, offline: each carrier's before and after are, pixel for pixel,
Pillow's reading of its conversion before and after the real pack; the
pixels that look different are counted as Pillow's pictures differ; the
colours --nearest moved come farthest first; the carrier refused says why;
nothing of a name runs.

  review.py CONVERT PACK MAKE_CARRIER [RUNNER...]
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw
from catalogue import HOSTILE, HOSTILE_POSIX, Browser, check, failures

CARRIERS = {"res/title.gif": "--depth 24 --width 30 --height 20", "res/sprites/hero.gif": "--depth 8 --width 24 --height 16",
            "res/sprites/hostile.gif": "--depth 4 --width 9 --height 7", "res/big.gif": "--depth 8 --width 12 --height 12",
            "res/same.gif": "--depth 24 --width 8 --height 8"}


def slash(text):
    """Names as the Linux tools write them; the Windows tools join them with backslashes."""
    return text.replace("\\", "/")


def pillow(path):
    with Image.open(path) as image:
        return list(image.convert("RGBA").getdata())


def edit(hostile):
    """The title painted, the hero's text antialiased off its palette, the
    hostile one by index, the big one made larger."""
    image = Image.open("pictures/title.gif.png")
    ImageDraw.Draw(image).rectangle([3, 2, 17, 9], fill=(200, 30, 40))
    image.save("pictures/title.gif.png")
    image = Image.open("pictures/sprites/hero.gif.png").convert("RGB")
    for x in range(image.width):
        image.putpixel((x, 5), (255, 255 - 10 * x, 0))
    image.save("pictures/sprites/hero.gif.png")
    image = Image.open(f"pictures/sprites/{hostile}.png")
    ImageDraw.Draw(image).line([0, 0, 8, 6], fill=1)
    image.save(f"pictures/sprites/{hostile}.png")
    image = Image.open("pictures/big.gif.png")
    image.crop((0, 0, 14, 12)).save("pictures/big.gif.png")


def canvas_pixels(browser, image):
    """The pixels Chromium draws of an image, RGBA."""
    data = browser.js("""const image = arguments[0], canvas = document.createElement('canvas');
        [canvas.width, canvas.height] = [image.naturalWidth, image.naturalHeight];
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        return Array.from(context.getImageData(0, 0, canvas.width, canvas.height).data);""", image)
    return [tuple(data[i:i + 4]) for i in range(0, len(data), 4)]


def check_page(browser, review, before, after):
    browser.open("out/review.html", "document.images.length > 0")
    sections = browser.driver.find_elements("css selector", ".carrier")
    check("a section for each carrier packed", len(sections) == len(review["carriers"]) == 3, len(sections))
    for section, record in zip(sections, review["carriers"]):
        name = record["carrier"]
        browser.js("arguments[0].scrollIntoView()", section)
        images = section.find_elements("css selector", "img[data-src]")
        for image in images:
            browser.wait("return arguments[0].complete && arguments[0].naturalWidth > 0", image)
        was, now = before[name], after[name]
        shown = [canvas_pixels(browser, image) for image in images]
        check("before is the carrier as Pillow reads its conversion", shown[0] == was, name)
        check("after is the carrier packed, as Pillow reads its conversion", shown[1] == now, name)
        changed = [i for i, pixel in enumerate(now) if i >= len(was) or pixel != was[i]]
        facts = section.find_element("css selector", ".facts").text
        check("the pixels that look different, counted as Pillow's pictures differ", record["changed"] == len(changed) and
              facts.startswith(f"{len(changed):,} pixels look different"), f"{name}: {facts}")
        check("the tint marks them and no other", [i for i, p in enumerate(shown[3]) if p[3]] == changed, name)
        check("the name is text", section.find_element("css selector", ".name").text == name, name)
        deltas = [float(cell.text) for cell in section.find_elements("css selector", ".moves td:nth-child(3)")]
        far = [row.get_attribute("class") == "far" for row in section.find_elements("css selector", ".moves tbody tr")]
        check("colours moved farthest first, the far ones marked", deltas == sorted(deltas, reverse=True) and
              far == [d > 10 for d in deltas] and bool(deltas) == name.endswith("hero.gif"), f"{name} {deltas}")
    visible = lambda kind: browser.js(f"return getComputedStyle(document.querySelector('img.{kind}')).display") != "none"
    check("a tint first", visible("tint") and not visible("outline"))
    browser.find("input[name=mark][value=outline]").click()
    check("then an outline", visible("outline") and not visible("tint"))
    refused = slash(browser.find(".refused").text)
    check("the refused carrier, with its reason", "res/big.gif" in refused and "--resize" in refused, refused)
    check("no attribute a name slipped in", browser.js("return document.querySelectorAll('[onerror], [src=x]').length") == 0)
    browser.quiet()


def main():
    convert, pack, make = (os.path.abspath(p) for p in sys.argv[1:4])
    runner = sys.argv[4:]
    env = dict(os.environ, LC_ALL="C.UTF-8")
    run = lambda *args: subprocess.run([*runner, *args], capture_output=True, text=True, env=env)
    work = tempfile.mkdtemp(prefix="quillane-review-")
    os.chdir(work)
    browser = None
    try:
        os.makedirs("res/sprites")
        open("res/notes.txt", "w").write("the game's own text")
        with open("carriers.txt", "w") as f:
            f.write("".join(f"{options} --seed {n} {name}\n" for n, (name, options) in enumerate(CARRIERS.items())))
        run(make, "--list", "carriers.txt")
        # A name a page must show as text, as this system may hold it.
        hostile = HOSTILE if runner else HOSTILE_POSIX
        os.rename("res/sprites/hostile.gif", f"res/sprites/{hostile}")
        run(convert, "-q", "-r", "-f", "png", "-o", "pictures", "res")
        edit(hostile)
        run(convert, "-q", "-r", "-o", "before", "res")
        originals = {name: open(name, "rb").read() for name in CARRIERS if "hostile" not in name}
        checked = run(pack, "-n", "-r", "--nearest", "--from", "pictures", "--review", "out", "res")
        check("a check with a refusal exits 1 and names the review", checked.returncode == 1 and
              "; review in out/review.html" in slash(checked.stderr), checked.stderr)
        check("and writes no carrier", all(open(n, "rb").read() == data for n, data in originals.items()))
        packed = run(pack, "-r", "--nearest", "--from", "pictures", "-o", "packed", "res")
        check("the pack refuses the same carrier", packed.returncode == 1, packed.stderr)
        run(convert, "-q", "-r", "-o", "after", "packed")
        review = json.load(open("out/review.json", encoding="utf-8"))
        check("the check is reviewed: three carriers would be packed, one refused, one unchanged",
              (review["checkOnly"], [c["outcome"] for c in review["carriers"]], [slash(r["carrier"]) for r in review["refused"]],
               review["unchanged"]) == (True, ["would-pack"] * 3, ["res/big.gif"], 1), review)
        before = {c["carrier"]: pillow(f"before/{slash(c['carrier'])[4:]}.bmp") for c in review["carriers"]}
        after = {c["carrier"]: pillow(f"after/{slash(c['carrier'])[4:]}.bmp") for c in review["carriers"]}
        browser = Browser(os.path.join(work, "profile"), ["--allow-file-access-from-files"])
        check_page(browser, review, before, after)
    finally:
        if browser:
            browser.driver.quit()
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
