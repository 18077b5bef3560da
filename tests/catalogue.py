#!/usr/bin/python3
"""quillane-convert --catalogue as its users meet it, against sha256sum and in
a real browser.

A tree of ImageMagick's pictures in every bitmap form, failures, a hostile
payload and names a page must show as text is converted with --catalogue.
SHA256SUMS must pass sha256sum -c, and fail once an output changes; every
hash of index.json must be hashlib's, the payload read from the carrier
here. index.html is opened in headless Chromium, offline, every request,
dialog and console line noted: pictures load, failures say why, names stay
text, the filters, zoom, backgrounds and palettes work by keyboard and mouse.
Again in Japanese as BMP, over edits, from a check alone, interrupted, and
with --large N a page of N carriers.

  catalogue.py CONVERT MAKE_CARRIER [--large N] [--screenshot PNG] [RUNNER...]
"""
import hashlib
import itertools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from PIL import Image
from pictures import rle_form
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

MAGICK = "/usr/bin/convert"
CHROMIUM = "/usr/lib/chromium/chromium"
WAIT = 120  # seconds a browser step may take on a busy machine before it counts as hung
HOSTILE = "x' onerror='alert(1)' &amp; #% ;.gif"  # what a name may hold on Windows too
HOSTILE_POSIX = "<img src=x onerror=alert(1)>.gif"
JAPANESE = "タイトル画面.gif"
RUNS = {"rle.gif": (70, 46), "rle4.gif": (31, 17)}  # RLE8 from ImageMagick, RLE4 as pictures.py writes it
SEPARATORS = "/"  # and a backslash for the Windows build's paths
failures = []


def check(what, ok, detail=""):
    if not ok:
        failures.append(what)
        print(f"FAIL {what} {detail}")


def sha(data):
    return hashlib.sha256(data).hexdigest()


def payload_of(path):
    """The chain as the container is defined: from byte 30 after an image
    descriptor at 19, else from 21; a sub-block under 255 bytes ends it."""
    data = open(path, "rb").read()
    at, payload = 30 if data[19] == 0x2C else 21, b""
    while True:
        payload += data[at + 1:at + 1 + data[at]]
        at, size = at + 1 + data[at], data[at]
        if size != 255:
            return payload


def make_tree(make, runner, posix):
    pictures = {  # name: picture, size, ImageMagick's options, coder, make-carrier's options
        "screens/title": ("rose:", "70x46", ["-type", "TrueColor"], "BMP3", "--packed"),
        "screens/logo": ("logo:", "123x91", ["-colors", "200", "-type", "Palette", "-compress", "None"], "BMP3", ""),
        "screens/rle": ("rose:", "70x46", ["-colors", "16", "-type", "Palette", "-compress", "RLE"], "BMP3", ""),
        "sprites/wizard": ("wizard:", "61x73", ["-alpha", "set", "-define", "bmp:subtype=ARGB8888"], "BMP", ""),
        "sprites/granite": ("granite:", "50x50", ["-type", "TrueColor", "-define", "bmp:subtype=RGB565"], "BMP", ""),
        "sprites/coin": ("netscape:", "24x16", ["-colors", "16", "-type", "Palette", "-compress", "None"], "BMP3", ""),
        "sprites/mask": ("rose:", "35x23", ["-monochrome", "-compress", "None"], "BMP3", ""),
        "sprites/jp": ("rose:", "20x13", ["-type", "TrueColor"], "BMP3", ""),
        "sprites/hostile": ("wizard:", "9x9", ["-type", "TrueColor"], "BMP3", "--comment"),
        # Beside the folders, one named after them and one in capitals.
        "wallpaper": ("granite:", "24x24", ["-type", "TrueColor"], "BMP3", "--top-down"),  # under a negative height
        "notes": ("netscape:", "12x12", ["-colors", "4", "-type", "Palette", "-compress", "None"], "BMP3", ""),
    }
    with open("carriers.txt", "w") as carriers:
        for name, (picture, size, options, coder, form) in pictures.items():
            os.makedirs(os.path.join("tree", os.path.dirname(name)), exist_ok=True)
            # Rows top-down under a positive height, as the game stores them.
            bmp = os.path.basename(name) + ".bmp"
            subprocess.run([MAGICK, picture, "-resize", size + "!", "-flip", *options, f"{coder}:{bmp}"], check=True)
            carriers.write(f"--payload {bmp} {form} tree/{name}.gif\n")
        # Bytes after the rows that are a script, which nothing runs.
        open("trailer.bmp", "wb").write(open("hostile.bmp", "rb").read() + b"<script>alert(3)</script>")
        carriers.write("--payload trailer.bmp tree/sprites/trailer.gif\n")
        subprocess.run([MAGICK, "rose:", "-resize", "31x17!", "rose.png"], check=True)
        open("rle4.bmp", "wb").write(rle_form(True)(Image.open("rose.png"))[0])
        carriers.write("--payload rle4.bmp tree/screens/rle4.gif\n")
    subprocess.run([*runner, make, "--list", "carriers.txt"], check=True)
    # The fixture tool takes ANSI names, so the others are given afterwards.
    os.rename("tree/sprites/jp.gif", "tree/sprites/" + JAPANESE)
    os.rename("tree/sprites/hostile.gif", "tree/sprites/" + HOSTILE)
    os.rename("tree/notes.gif", "tree/Notes.GIF")
    # Carriers by their shape (a GIF header with a two-entry colour table,
    # a comment at byte 19, a bitmap inside) cut short, whose bytes are scripts.
    shaped = b"GIF89a\x01\x00\x01\x00\x80\x00\x00" + bytes(6) + b"\x21\xfe"
    open("tree/broken.gif", "wb").write(shaped + b"\x30BM<script>alert(2)</script>")
    if posix:
        open("tree/" + HOSTILE_POSIX, "wb").write(shaped + b"\x30BM<script>alert(4)</script>")
        shutil.copy("tree/screens/title.gif", b"tree/bad\xff.gif")


def convert(runner, program, args, language="C.UTF-8"):
    env = dict(os.environ, LANG=language, LC_ALL=language, SOURCE_DATE_EPOCH="1800000000")
    return subprocess.run([*runner, program, *args], capture_output=True, env=env)


def name_of(path):
    for separator in SEPARATORS:
        path = path.rsplit(separator, 1)[-1]
    return path


def shelf(source):
    """Where a person looks for a carrier: its folder's names, then its own, each by its letters in either case."""
    names = re.split(f"[{re.escape(SEPARATORS)}]", source)
    return [(n.lower(), n) for n in names[:-1]], (names[-1].lower(), names[-1])


def local(record, field):
    """A path of the index as this system names the file: exactly, from its hexadecimal where it has one."""
    if field + "Hex" in record:
        return bytes.fromhex(record[field + "Hex"])
    return record[field].replace("\\", "/") if "\\" in SEPARATORS else record[field]


def output_of(out, record):
    """Where a record's output lies: the index names it from the catalogue's folder."""
    name = local(record, "output")
    return os.path.join(os.fsencode(out), name) if isinstance(name, bytes) else os.path.join(out, name)


def check_hashes(out):
    records = json.load(open(os.path.join(out, "index.json"), encoding="utf-8"))["carriers"]
    sums = dict(reversed(line.split(b"  ", 1)) for line in open(os.path.join(out, "SHA256SUMS"), "rb").read().splitlines())
    written = [r for r in records if r["output"]]
    check("every output listed once", len(sums) == len(written), sums)
    for r in records:
        source = local(r, "source")
        check("the carrier's hash and size", (r["carrierSha256"], r["carrierBytes"]) ==
              (sha(open(source, "rb").read()), os.path.getsize(source)), r["source"])
        if r["outcome"] == "failed":
            continue
        payload = payload_of(source)
        check("the payload's hash and size", (r["payloadSha256"], r["payloadBytes"]) == (sha(payload), len(payload)), r)
        check("the output's hash", r["outputSha256"] == sha(open(output_of(out, r), "rb").read()), r["source"])
        named = os.fsencode(local(r, "output"))
        check("the index names it as SHA256SUMS does, from the folder, with /", ("outputHex" in r or "\\" not in r["output"])
              and sums.get(named) == r["outputSha256"].encode(), named)
    verified = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=out, capture_output=True)
    check("sha256sum -c verifies a fresh run", verified.returncode == 0, verified.stdout + verified.stderr)
    changed = output_of(out, written[0])
    original = open(changed, "rb").read()
    open(changed, "ab").write(b"\0")
    verified = subprocess.run(["sha256sum", "-c", "--quiet", "SHA256SUMS"], cwd=out, capture_output=True)
    check("sha256sum -c fails on the one output changed", verified.returncode == 1 and
          verified.stdout.count(b"FAILED") == 1, verified.stdout)
    open(changed, "wb").write(original)
    return records


class Browser:
    """Headless Chromium with a fresh profile, offline, every request and dialog noted."""

    def __init__(self, profile, flags=()):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM if os.path.exists(CHROMIUM) else "/usr/bin/chromium"
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1200,900",
                     f"--user-data-dir={profile}", *flags]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.execute_cdp_cmd("Network.enable", {})
        self.driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                                    {"offline": True, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0})
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": "window.alerts = [];"
            "window.alert = window.confirm = window.prompt = function (m) { alerts.push(String(m)); };"})

    def open(self, page, ready="document.getElementById('shown').textContent !== ''"):
        start = time.monotonic()
        self.driver.get("file://" + os.path.abspath(page))
        self.wait(f"return document.readyState === 'complete' && {ready}")
        return time.monotonic() - start

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, script, *args):
        WebDriverWait(self.driver, WAIT, poll_frequency=0.05).until(lambda d: d.execute_script(script, *args))

    def find(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def visible(self):
        return self.js("return [...document.querySelectorAll('.tile')].filter(t => !t.hidden).length")

    def quiet(self):
        """Nothing of a name or file ran or complained, and nothing went to the network."""
        try:
            check("no dialog", not self.driver.switch_to.alert)
        except NoAlertPresentException:
            pass
        check("no script but the page's ran", self.js("return window.alerts.length") == 0)
        complaints = [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
        check("nothing in the console", not complaints, complaints)
        # The browser's own pages come from inside it; the page's requests are file: URLs.
        requests = [json.loads(e["message"])["message"] for e in self.driver.get_log("performance")]
        outside = [m["params"]["request"]["url"] for m in requests if m["method"] == "Network.requestWillBeSent" and
                   not m["params"]["request"]["url"].startswith(("file:", "data:", "about:", "chrome:"))]
        check("no request leaves the machine", not outside, outside)


def check_page(browser, out, records, screenshot=None):
    browser.open(os.path.join(out, "index.html"))
    shelves = browser.js("return [...document.querySelectorAll('main section')].map(s => [s.querySelector('h2')"
                         ".textContent, [...s.querySelectorAll('.name')].map(n => n.title)])")
    expected = []
    for _, shelved in itertools.groupby(sorted(records, key=lambda r: shelf(r["source"])), lambda r: shelf(r["source"])[0]):
        sources = [r["source"] for r in shelved]
        expected.append([sources[0][:-len(name_of(sources[0])) - 1] or ".", sources])
    check("a tile for each carrier, each folder under one heading in the order of the tree, its carriers by name",
          shelves == expected, shelves)
    tiles = browser.driver.find_elements(By.CSS_SELECTOR, ".tile")
    by_source = {r["source"]: r for r in records}
    for tile in tiles:
        r = by_source[tile.find_element(By.CSS_SELECTOR, ".name").get_attribute("title")]
        name = name_of(r["source"])
        text = lambda selector: tile.find_element(By.CSS_SELECTOR, selector).get_attribute("textContent")
        check("the name shows as given, as the command line shows it", text(".name") == name, name)
        images = tile.find_elements(By.CSS_SELECTOR, "img")
        if r["outcome"] == "failed":
            check("a failure shows the command line's reason", text(".pic") == r["reason"], name)
        elif r["form"] in ("rgb", "palette", "bitfields") or r["outcome"] == "kept" or name in RUNS:
            browser.js("arguments[0].scrollIntoView()", images[0])
            browser.wait("return arguments[0].complete && arguments[0].naturalWidth > 0", images[0])
            size = browser.js("return [arguments[0].naturalWidth, arguments[0].naturalHeight]", images[0])
            check("the picture loads at its size, as Pillow reads the output", size == [r["width"], r["height"]] ==
                  list(RUNS.get(name, Image.open(output_of(out, r)).size)), f"{name} {size}")
            link = images[0].get_attribute("src")
            check("by a URL, which a click opens", "\\" not in link and tile.find_element(By.TAG_NAME, "a")
                  .get_attribute("href") == link, link)
        else:
            check("a bitmap that shows no picture says so", not images and r["reason"] in text(".pic"), name)
    check("only the page's scripts", browser.js("return document.scripts.length") == 2)
    check("no attribute a name slipped in", browser.js("return document.querySelectorAll('[onerror], [src=x]').length") == 0)
    if screenshot:
        browser.js("window.scrollTo(0, 0)")
        browser.find("input[name=zoom][value='2']").click()
        browser.driver.save_screenshot(screenshot)
        browser.find("input[name=zoom][value='1']").click()
    browser.quiet()


def check_controls(browser, records):
    driver, total = browser.driver, len(records)
    # "/" takes the keyboard to the filter, and what is typed narrows the tiles.
    browser.find("body").send_keys("/")
    driver.switch_to.active_element.send_keys("coin")
    check("/ and typing filter the tiles", (browser.visible(), browser.find("#shown").text) == (1, f"1 of {total} shown"))
    # Names, forms and reasons alike, whatever the case.
    for words in ("(rle4)", "5-6-5", "Not A Carrier", "TITLE"):
        driver.switch_to.active_element.send_keys(Keys.CONTROL, "a", Keys.NULL, words)
        shown = browser.js("return [...document.querySelectorAll('.tile:not([hidden]) .name')].map(n => n.title)")
        check("the filter finds names, forms and reasons", sorted(shown) == sorted(
              r["source"] for r in records if any(words.lower() in (r[f] or "").lower() for f in ("source", "description",
                                                                                              "reason"))), words)
    driver.switch_to.active_element.send_keys(Keys.CONTROL, "a", Keys.BACKSPACE)
    check("an empty filter shows all", browser.visible() == total)
    form = Select(browser.find("#form"))
    for option in form.options[1:]:
        form.select_by_value(option.get_attribute("value"))
        check("each form shows as many as it says", f"({browser.visible()})" in option.text, option.text)
    check("failures are the last form", browser.visible() == len([r for r in records if r["outcome"] == "failed"]))
    form.select_by_value("")
    # An arrow moves within the zoom's group, as in any group of radio buttons.
    browser.find("input[name=zoom][value='1']").send_keys(Keys.ARROW_RIGHT)
    image = browser.find("img[alt='coin.gif']")
    browser.js("arguments[0].scrollIntoView()", image)
    width = "return arguments[0].getBoundingClientRect().width"
    check("2× from the keyboard", browser.js(width, image) == 48)
    browser.find("input[name=zoom][value='4']").click()
    check("4×, pixels kept", (browser.js(width, image), browser.js("return getComputedStyle(arguments[0]).imageRendering",
                                                                    image)) == (96, "pixelated"))
    look = "return getComputedStyle(arguments[0].closest('.pic'))."
    for value, colour in [("black", "rgb(0, 0, 0)"), ("white", "rgb(255, 255, 255)")]:
        browser.find(f"input[name=background][value={value}]").click()
        check(f"a {value} background", browser.js(look + "backgroundColor", image) == colour)
    browser.find("input[name=background][value=checks]").click()
    check("a checkerboard", "conic-gradient" in browser.js(look + "backgroundImage", image))
    # Each entry a swatch big enough to see, at 2 entries and at 256, in index order with the colours Pillow reads (a
    # 1-bit bitmap as black and white), named on hover, on a click, from the arrow keys and where Tab reaches it.
    for picture in ("mask", "logo"):
        grid = browser.find(f"figure:has(img[alt='{picture}.gif']) .palette")
        browser.js("arguments[0].scrollIntoView({block: 'center'})", grid)
        browser.wait("return arguments[0].children.length > 0", grid)
        swatches = browser.js("return [...arguments[0].children].map(s => [getComputedStyle(s).backgroundColor, s.title,"
                              "Math.min(s.offsetWidth, s.offsetHeight) >= 8])", grid)
        read = Image.open(picture + ".bmp")
        flat = read.getpalette() if read.mode == "P" else [0, 0, 0, 255, 255, 255]
        hexes = [bytes(flat[i:i + 3]).hex() for i in range(0, len(flat), 3)]
        check("a swatch for each entry, in index order, named, big enough to see", swatches ==
              [["rgb(%d, %d, %d)" % tuple(bytes.fromhex(h)), f"entry {i}: #{h}", True] for i, h in enumerate(hexes)])
    line = "return (document.activeElement.nextElementSibling || {}).textContent"
    grid.find_elements(By.TAG_NAME, "span")[17].click()
    clicked = browser.js(line)
    driver.switch_to.active_element.send_keys(Keys.ARROW_RIGHT, Keys.ARROW_DOWN)
    moved = browser.js(line)
    browser.js("arguments[0].focus()", browser.find("figure:has(img[alt='mask.gif']) a"))
    driver.switch_to.active_element.send_keys(Keys.TAB)
    check("the entry clicked, moved to by the arrow keys a row of 16 a step, and reached by Tab, named",
          [clicked, moved, browser.js(line)] == [f"entry 17: #{hexes[17]}", f"entry 34: #{hexes[34]}", "entry 0: #000000"])
    browser.quiet()


def check_edits(browser, kept):
    """Edits kept stand out from the others in a border of their own, and the form menu shows them alone."""
    tiles = browser.js("return [...document.querySelectorAll('.tile')].map(t => [t.querySelector('.name').title,"
                       "(t.querySelector('.edit') || {}).offsetHeight > 0, getComputedStyle(t).borderTopColor])")
    form = Select(browser.find("#form"))
    form.select_by_value("edited")
    shown = browser.js("return [...document.querySelectorAll('.tile:not([hidden]) .name')].map(n => n.title)")
    check("each kept edit marked, and only those, in a colour of its own, and a choice that shows them alone",
          sorted(s for s, marked, _ in tiles if marked) == sorted(kept) == sorted(shown) and
          {edge for s, _, edge in tiles if s in kept}.isdisjoint(edge for s, _, edge in tiles if s not in kept) and
          form.first_selected_option.text == f"edited ({len(kept)})", (tiles, shown))
    form.select_by_value("")


def check_interrupted(browser, program, sources):
    """Ctrl-C while one job converts screens/title.gif (stopped there by the seam): the files it started are
    catalogued, the others named in the summary alone, and the page and the index say it was interrupted."""
    env = dict(os.environ, LC_ALL="C.UTF-8", QUILLANE_STOP_AT="staged@title.gif.temp")
    run = subprocess.Popen([program, "-j", "1", "-r", "-f", "png", "-o", "stop", "--catalogue", "tree"], env=env,
                           stderr=subprocess.PIPE)
    check("stopped at the seam", os.WIFSTOPPED(os.waitpid(run.pid, os.WUNTRACED)[1]))
    os.kill(run.pid, signal.SIGINT)
    os.kill(run.pid, signal.SIGCONT)
    errors = run.communicate()[1]
    index = json.load(open("stop/index.json", encoding="utf-8"))
    started = sources.index("tree/screens/title.gif") + 1
    check("interrupted, the catalogue of the files started, and a summary that counts the others",
          (run.returncode, index["interrupted"], [r["source"] for r in index["carriers"]],
           index["summary"].endswith(f", {len(sources) - started} not started: interrupted")) ==
          (130, True, sources[:started], True), (errors, index["summary"]))
    verified = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd="stop", capture_output=True)
    check("SHA256SUMS lists the outputs written, and they hold", verified.returncode == 0 and
          verified.stdout.count(b": OK") == len([r for r in index["carriers"] if r["output"]]), verified.stdout)
    browser.open("stop/index.html")
    check("the page says it was interrupted, with a tile for each file started", browser.js(
          "var m = document.querySelector('.interrupted'); return [m && m.offsetHeight > 0 && m.textContent.split(':')[0],"
          "document.querySelectorAll('.tile').length]") == ["interrupted", started])
    browser.quiet()


def check_large(browser, program, make, runner, count):
    with open("large.txt", "w") as f:
        for i in range(count):
            os.makedirs(f"large/d{i % 100:02}", exist_ok=True)
            # Palettes of 256 and of 16 among the others, each its own.
            depth = ["--depth 8 ", "--depth 4 ", "", ""][i % 4]
            f.write(f"{depth}--width {16 + i % 17} --height {16 + i % 5} --seed {i} large/d{i % 100:02}/c{i:05}.gif\n")
    subprocess.run([*runner, make, "--list", "large.txt"], check=True)
    start = time.monotonic()
    done = convert(runner, program, ["-q", "-r", "-f", "png", "-o", "large-out", "--catalogue", "large"])
    converted = time.monotonic() - start
    check("a large tree converts", done.returncode == 0, done.stderr)
    opened = browser.open("large-out/index.html")
    check("every tile is there", browser.js("return document.querySelectorAll('.tile').length") == count)
    loaded = browser.js("return [...document.images].filter(i => i.complete && i.naturalWidth > 0).length")
    check("pictures load as they come into view, not all at once", loaded < count // 10, loaded)
    drawn = browser.js("return [...document.querySelectorAll('.palette')].filter(p => p.children.length).length")
    check("and so are palettes drawn", 0 < drawn < count // 10, drawn)
    last = browser.driver.find_elements(By.TAG_NAME, "img")[-1]
    browser.js("arguments[0].scrollIntoView()", last)
    browser.wait("return arguments[0].complete && arguments[0].naturalWidth > 0", last)
    browser.find("#filter").send_keys(f"c{count - 1:05}")
    check("the filter finds one in the whole tree", browser.visible() == 1)
    browser.quiet()
    print(f"catalogue: {count} carriers converted in {converted:.1f} s; the page opened in {opened:.1f} s")


def main():
    global SEPARATORS
    program, make, rest = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3:]
    options = {}
    while rest and rest[0] in ("--large", "--screenshot"):
        options[rest[0]], rest = rest[1], rest[2:]
    runner, posix = rest, not rest
    SEPARATORS = "/" if posix else "/\\"
    work = tempfile.mkdtemp(prefix="quillane-catalogue-")
    os.chdir(work)
    browser = None
    try:
        make_tree(make, runner, posix)
        browser = Browser(os.path.join(work, "profile"))
        done = convert(runner, program, ["-r", "-f", "png", "-o", "out", "--catalogue", "tree"])
        check("a tree with failures exits 1", done.returncode == 1, done.stderr)
        records = check_hashes("out")
        forms = {name_of(r["source"]): r["form"] for r in records}
        check("every form is there", [forms[n] for n in ("title.gif", "logo.gif", "wizard.gif", "rle.gif", "rle4.gif")] ==
              ["rgb", "palette", "bitfields", "compressed", "compressed"], forms)
        check_page(browser, "out", records, options.get("--screenshot"))
        check_controls(browser, records)

        # In Japanese and as BMP, which the browser shows too.
        convert(runner, program, ["-r", "-o", "out-ja", "--catalogue", "tree"], "ja_JP.UTF-8")
        check_page(browser, "out-ja", json.load(open("out-ja/index.json", encoding="utf-8"))["carriers"])
        names = [n.get_attribute("textContent") for n in browser.driver.find_elements(By.CLASS_NAME, "name")]
        check("a Japanese page", (browser.js("return document.documentElement.lang"), browser.find("legend").text) ==
              ("ja", "拡大"))
        check("a Japanese name as written", JAPANESE in names)
        check("bytes that are no UTF-8 as the command line shows them", not posix or "bad\\xff.gif" in names, names)

        # Run again over two edits, one of a palette: each is kept, listed as such, and shown as an edit.
        edits = {}
        for name in ("title.gif", "logo.gif"):
            picture = output_of("out", next(r for r in records if name_of(r["source"]) == name))
            edits[picture] = Image.open(picture).convert("RGB")
            edits[picture].putpixel((0, 0), tuple(255 - c for c in edits[picture].getpixel((0, 0))))
            edits[picture].save(picture)
        convert(runner, program, ["-r", "-f", "png", "-o", "out", "--catalogue", "tree"])
        again = json.load(open("out/index.json", encoding="utf-8"))["carriers"]
        kept = {name_of(r["source"]): r for r in again if r["outcome"] == "kept"}
        check("an edit kept is listed as kept, with no hash of a file the run did not write",
              sorted(kept) == ["logo.gif", "title.gif"] and
              all((r["outputSha256"], "kept:" in (r["reason"] or "")) == (None, True) for r in kept.values()), kept)
        check("and left as it was", all(list(Image.open(p).getdata()) == list(e.getdata()) for p, e in edits.items()))
        logo = kept.get("logo.gif", {})
        check("an edit kept has its carrier's size and palette", (logo.get("carrierBytes"), logo.get("paletteLength")) ==
              (os.path.getsize("tree/screens/logo.gif"), len(Image.open("logo.bmp").getpalette()) // 3), logo)
        check_page(browser, "out", again)
        check_edits(browser, [r["source"] for r in kept.values()])

        # From the check alone: the page and the index, without pictures.
        convert(runner, program, ["-n", "-r", "-o", "out-check", "--catalogue", "tree"])
        checked = json.load(open("out-check/index.json", encoding="utf-8"))
        check("a check writes the page and the index of checks", (sorted(os.listdir("out-check")), checked["checkOnly"],
              {r["outcome"] for r in checked["carriers"]}) == (["index.html", "index.json"], True, {"checked", "failed"}))
        browser.open("out-check/index.html")
        check("and no picture", browser.js("return document.images.length") == 0)
        browser.quiet()

        if posix:
            check_interrupted(browser, program, [r["source"] for r in records])
        if "--large" in options:
            check_large(browser, program, make, runner, int(options["--large"]))
    finally:
        if browser:
            browser.driver.quit()
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
