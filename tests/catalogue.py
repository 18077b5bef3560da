#!/usr/bin/python3
"""The catalogue as its users meet it: quillane-convert --catalogue on a tree
of every form, checked against sha256sum and in a real browser.

Makes carriers of ImageMagick's built-in pictures in every bitmap form
(written by Pillow or ImageMagick, wrapped by make-carrier), carriers that
fail, and names a page must show as text. Converts the tree with
--catalogue; checks SHA256SUMS with sha256sum -c, before and after an output
is changed, and every hash in index.json against hashlib, the payload taken
from the carrier here. Then opens index.html in headless Chromium with the
network cut off: every picture loads, failures say why, hostile names stay
text and run nothing, the filters, zoom and backgrounds work from the
keyboard and the mouse. The same tree in Japanese, as BMP, and as a check
alone; with --large N, a page of N carriers more, opened and used.

  catalogue.py CONVERT MAKE_CARRIER [--large N] [--screenshot PNG] [RUNNER...]
"""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

MAGICK = "/usr/bin/convert"
CHROMIUM = "/usr/lib/chromium/chromium" if os.path.exists("/usr/lib/chromium/chromium") else "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 120  # seconds a browser step may take on a busy machine before it counts as hung

HOSTILE = "x' onerror='alert(1)' &amp; #% ;.gif"  # what a name may hold on Windows too
HOSTILE_POSIX = "<img src=x onerror=alert(1)>.gif"
JAPANESE = "タイトル画面.gif"
NOT_UTF8 = b"bad\xff.gif"
SEPARATORS = "/"  # and a backslash for the Windows build's paths


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def __call__(self, what, ok, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAIL {what} {detail}")


check = Checks()


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def payload_of(path):
    """The chain's bytes, read here as the container is defined: an image
    descriptor at byte 19 starts its chain at 30, a comment at 21; a
    sub-block shorter than 255 bytes ends it."""
    data = open(path, "rb").read()
    at = 30 if data[19] == 0x2C else 21
    payload = bytearray()
    while True:
        size = data[at]
        payload += data[at + 1:at + 1 + size]
        at += 1 + size
        if size != 255:
            return bytes(payload)


def make_tree(make, runner, posix):
    """The tree, and what each carrier is: its form, or why it fails."""
    pictures = {
        "screens/title.gif": ("rose:", 70, 46, ["-type", "TrueColor"], "BMP3", ["--packed"]),
        "screens/logo.gif": ("logo:", 123, 91, ["-colors", "200", "-type", "Palette", "-compress", "None"], "BMP3", []),
        "screens/rle.gif": ("rose:", 70, 46, ["-colors", "16", "-type", "Palette", "-compress", "RLE"], "BMP3", []),
        "sprites/wizard.gif": ("wizard:", 61, 73, ["-alpha", "set", "-define", "bmp:subtype=ARGB8888"], "BMP", []),
        "sprites/granite.gif": ("granite:", 50, 50, ["-type", "TrueColor", "-define", "bmp:subtype=RGB565"], "BMP", []),
        "sprites/coin.gif": ("netscape:", 24, 16, ["-colors", "16", "-type", "Palette", "-compress", "None"], "BMP3", []),
        "sprites/mask.gif": ("rose:", 35, 23, ["-monochrome", "-compress", "None"], "BMP3", []),
        "sprites/jp.gif": ("rose:", 20, 13, ["-type", "TrueColor"], "BMP3", []),
        "sprites/hostile.gif": ("wizard:", 9, 9, ["-type", "TrueColor"], "BMP3", []),
    }
    lines = []
    for name, (source, width, height, options, coder, form) in pictures.items():
        os.makedirs(os.path.dirname("tree/" + name), exist_ok=True)
        bmp = name.replace("/", "-") + ".bmp"
        # Stored as the game stores pictures, rows top-down under a positive height: upside down for a BMP reader.
        subprocess.run([MAGICK, source, "-resize", f"{width}x{height}!", "-flip", *options, f"{coder}:{bmp}"], check=True)
        lines.append(" ".join(["--payload", bmp, *form, "tree/" + name]))
    # A picture whose bytes after its rows are a script, which nothing runs.
    with open("script.bmp", "wb") as f:
        f.write(open("sprites-hostile.gif.bmp", "rb").read() + b"<script>alert(3)</script>")
    lines.append("--payload script.bmp --comment tree/sprites/trailer.gif")
    with open("carriers.txt", "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([*runner, make, "--list", "carriers.txt"], check=True)
    # The fixture tool takes ANSI names, so the others are given afterwards.
    os.rename("tree/sprites/jp.gif", "tree/sprites/" + JAPANESE)
    os.rename("tree/sprites/hostile.gif", "tree/sprites/" + HOSTILE)
    with open("tree/broken.gif", "wb") as f:
        f.write(b"GIF89a<script>alert(2)</script>")
    if posix:
        with open("tree/" + HOSTILE_POSIX, "wb") as f:
            f.write(b"<script>alert(4)</script>")
        shutil.copy("tree/screens/title.gif", b"tree/" + NOT_UTF8)


def convert(runner, program, args, language="C.UTF-8"):
    env = dict(os.environ, LANG=language, LC_ALL=language, SOURCE_DATE_EPOCH="1800000000")
    return subprocess.run([*runner, program, *args], capture_output=True, env=env)


def name_of(path):
    for separator in SEPARATORS:
        path = path.rsplit(separator, 1)[-1]
    return path


def local(record, field):
    """A path of the index as this system names the file."""
    if field + "Hex" in record:
        return bytes.fromhex(record[field + "Hex"])
    return record[field].replace("\\", "/") if "\\" in SEPARATORS else record[field]


def check_hashes(out):
    index = json.load(open(os.path.join(out, "index.json"), encoding="utf-8"))
    records = index["carriers"]
    sums = {}
    for line in open(os.path.join(out, "SHA256SUMS"), "rb").read().splitlines():
        check("SHA256SUMS lines are plain for these names", not line.startswith(b"\\"), line)
        digest, name = line.split(b"  ", 1)
        sums[name] = digest.decode()
    written = [r for r in records if r["output"]]
    check("every output is listed", len(sums) == len(written), f"{len(sums)} {len(written)}")
    for r in records:
        source = local(r, "source")
        check("the carrier's hash is sha256sum's", r["carrierSha256"] == sha(source), r["source"])
        check("its size", r["carrierBytes"] == os.path.getsize(source), r["source"])
        if r["outcome"] == "failed":
            check("a failure has its reason", bool(r["reason"]), r["source"])
            continue
        payload = payload_of(source)
        check("the payload's hash is that of the chain read here", r["payloadSha256"] == hashlib.sha256(payload).hexdigest(),
              r["source"])
        check("the payload's length", r["payloadBytes"] == len(payload), r["source"])
        output = local(r, "output")
        check("the output's hash is sha256sum's", r["outputSha256"] == sha(output), r["source"])
        relative = os.fsencode(os.path.relpath(output, os.fsencode(out) if isinstance(output, bytes) else out))
        check("SHA256SUMS lists it the same, relative to its folder", sums.get(relative) == r["outputSha256"], relative)
    verified = subprocess.run(["sha256sum", "-c", "--strict", "SHA256SUMS"], cwd=out, capture_output=True)
    check("sha256sum -c verifies a fresh run", verified.returncode == 0, verified.stdout + verified.stderr)
    changed = local(written[0], "output")
    original = open(changed, "rb").read()
    with open(changed, "ab") as f:
        f.write(b"\0")
    verified = subprocess.run(["sha256sum", "-c", "--quiet", "SHA256SUMS"], cwd=out, capture_output=True)
    failed = [line for line in verified.stdout.splitlines() if line.endswith(b"FAILED")]
    check("sha256sum -c fails on the one output changed", verified.returncode == 1 and len(failed) == 1, verified.stdout)
    with open(changed, "wb") as f:
        f.write(original)
    return records


class Browser:
    """Headless Chromium with a fresh profile, offline, every request and alert noted."""

    def __init__(self, profile):
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run", "--window-size=1200,900",
                     f"--user-data-dir={profile}"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_page_load_timeout(WAIT)
        self.driver.execute_cdp_cmd("Network.enable", {})
        self.driver.execute_cdp_cmd("Network.emulateNetworkConditions",
                                    {"offline": True, "latency": 0, "downloadThroughput": 0, "uploadThroughput": 0})
        self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source":
            "window.alerts = []; window.alert = window.confirm = window.prompt = function (m) { alerts.push(String(m)); };"})

    def open(self, page):
        start = time.monotonic()
        self.driver.get("file://" + os.path.abspath(page))
        self.wait("return document.readyState === 'complete' && document.getElementById('shown').textContent !== ''")
        return time.monotonic() - start

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, script, *args):
        WebDriverWait(self.driver, WAIT, poll_frequency=0.05).until(lambda d: d.execute_script(script, *args))

    def visible(self):
        return self.js("return Array.prototype.filter.call(document.querySelectorAll('.tile'), t => !t.hidden).length")

    def quiet(self):
        """Nothing ran, nothing complained, nothing left for the network."""
        try:
            self.driver.switch_to.alert
            check("no dialog opened", False)
        except NoAlertPresentException:
            pass
        check("no script of a name or file ran", self.js("return window.alerts.length") == 0, self.js("return window.alerts"))
        complaints = [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
        check("nothing in the console", not complaints, complaints)
        requests = []
        for entry in self.driver.get_log("performance"):
            message = json.loads(entry["message"])["message"]
            if message["method"] == "Network.requestWillBeSent":
                requests.append(message["params"]["request"]["url"])
        # The browser's own pages come from inside it; the page's requests are file: URLs.
        outside = [url for url in requests if not url.startswith(("file:", "data:", "about:", "chrome:"))]
        check("no request leaves the machine", not outside, outside)

    def close(self):
        self.driver.quit()


def check_page(browser, out, records, picture_form, screenshot=None):
    browser.open(os.path.join(out, "index.html"))
    tiles = browser.driver.find_elements(By.CSS_SELECTOR, ".tile")
    check("a tile for each carrier, in the order of the tree", [t.find_element(By.CSS_SELECTOR, ".name").get_attribute("title")
                                                              for t in tiles] == [r["source"] for r in records])
    for tile, r in zip(tiles, records):
        name = name_of(r["source"])
        check("the name shows as it is given", tile.find_element(By.CSS_SELECTOR, ".name").get_attribute("textContent") == name,
              name)
        images = tile.find_elements(By.CSS_SELECTOR, "img")
        if r["outcome"] == "failed":
            check("a failure shows the command line's reason",
                  tile.find_element(By.CSS_SELECTOR, ".pic").get_attribute("textContent") == r["reason"], name)
        elif r["form"] in picture_form:
            check("a picture for each one converted", len(images) == 1, name)
            if images:
                browser.js("arguments[0].scrollIntoView()", images[0])
                browser.wait("return arguments[0].complete && arguments[0].naturalWidth > 0", images[0])
                size = browser.js("return [arguments[0].naturalWidth, arguments[0].naturalHeight]", images[0])
                check("it loads at its own size", size == [r["width"], r["height"]], f"{name} {size}")
                check("its link is a URL", "\\" not in images[0].get_attribute("src"), images[0].get_attribute("src"))
                check("and it opens the picture", tile.find_element(By.CSS_SELECTOR, "a").get_attribute("href")
                      == images[0].get_attribute("src"))
        else:
            check("a bitmap that shows no picture says so", not images and r["reason"] in tile.get_attribute("textContent"), name)
    check("only our two scripts", browser.js("return document.scripts.length") == 2)
    check("no attribute a name slipped in", browser.js("return document.querySelectorAll('[onerror], [src=x]').length") == 0)
    if screenshot:
        browser.js("window.scrollTo(0, 0)")
        browser.driver.find_element(By.CSS_SELECTOR, "input[name=zoom][value='2']").click()
        browser.driver.save_screenshot(screenshot)
    browser.quiet()


def check_controls(browser, out, records):
    driver = browser.driver
    browser.open(os.path.join(out, "index.html"))
    total = len(records)
    # "/" takes the keyboard to the filter, and what is typed narrows the tiles.
    driver.find_element(By.TAG_NAME, "body").send_keys("/")
    check("/ moves to the filter", browser.js("return document.activeElement.id") == "filter")
    driver.switch_to.active_element.send_keys("coin")
    check("the filter narrows the tiles", browser.visible() == 1, browser.visible())
    check("and says how many", driver.find_element(By.ID, "shown").text == f"1 of {total} shown")
    driver.switch_to.active_element.send_keys(Keys.CONTROL, "a", Keys.BACKSPACE)
    check("an empty filter shows all", browser.visible() == total)
    form = Select(driver.find_element(By.ID, "form"))
    for option in form.options[1:]:
        form.select_by_value(option.get_attribute("value"))
        count = int(option.text.rsplit("(", 1)[1].rstrip(")"))
        check("each form shows as many as it says", browser.visible() == count, option.text)
    form.select_by_index(len(form.options) - 1)
    failed = [r for r in records if r["outcome"] == "failed"]
    check("failures are a form of their own", browser.visible() == len(failed))
    form.select_by_value("")
    # Zoom from the keyboard: the arrow moves within the group.
    first = driver.find_element(By.CSS_SELECTOR, "input[name=zoom][value='1']")
    first.send_keys(Keys.ARROW_RIGHT)
    image = driver.find_element(By.CSS_SELECTOR, "img[alt='coin.gif']")
    browser.js("arguments[0].scrollIntoView()", image)
    browser.wait("return arguments[0].complete", image)
    check("2× from the keyboard", browser.js("return arguments[0].getBoundingClientRect().width", image) == 48)
    driver.find_element(By.CSS_SELECTOR, "input[name=zoom][value='4']").click()
    check("4×", browser.js("return arguments[0].getBoundingClientRect().width", image) == 96)
    check("pixels stay crisp", browser.js("return getComputedStyle(arguments[0]).imageRendering", image) == "pixelated")
    for value, colour in [("black", "rgb(0, 0, 0)"), ("white", "rgb(255, 255, 255)")]:
        driver.find_element(By.CSS_SELECTOR, f"input[name=background][value={value}]").click()
        check(f"a {value} background", browser.js("return getComputedStyle(arguments[0].closest('.pic')).backgroundColor",
                                                   image) == colour)
    driver.find_element(By.CSS_SELECTOR, "input[name=background][value=checks]").click()
    check("a checkerboard", "conic-gradient" in browser.js(
        "return getComputedStyle(arguments[0].closest('.pic')).backgroundImage", image))
    # The palette strip: the palette's colours, in index order, as Pillow reads them from the carried bitmap.
    canvas = driver.find_element(By.CSS_SELECTOR, "figure:has(img[alt='logo.gif']) canvas")
    browser.js("arguments[0].scrollIntoView()", canvas)
    palette = Image.open("screens-logo.gif.bmp").getpalette()
    logo = next(r for r in records if r["source"].endswith("logo.gif"))
    check("a swatch for each entry", int(canvas.get_attribute("width")) == logo["paletteLength"] == len(palette) // 3)
    browser.wait("var blank = document.createElement('canvas'); blank.width = arguments[0].width; blank.height = 1;"
                 "return arguments[0].toDataURL() !== blank.toDataURL()", canvas)
    strip = browser.js("return Array.from(arguments[0].getContext('2d').getImageData(0, 0, arguments[0].width, 1).data)",
                       canvas)
    check("in index order", [v for i, v in enumerate(strip) if i % 4 != 3] == palette)
    browser.quiet()


def check_large(browser, program, make, runner, count):
    folders = 100
    for i in range(folders):
        os.makedirs(f"large/d{i:02}", exist_ok=True)
    with open("large.txt", "w") as f:
        for i in range(count):
            f.write(f"--width {16 + i % 17} --height {16 + i % 5} --seed {i} large/d{i % folders:02}/c{i:05}.gif\n")
    subprocess.run([*runner, make, "--list", "large.txt"], check=True)
    start = time.monotonic()
    done = convert(runner, program, ["-q", "-r", "-f", "png", "-o", "large-out", "--catalogue", "large"])
    converted = time.monotonic() - start
    check("a large tree converts", done.returncode == 0, done.stderr)
    opened = browser.open("large-out/index.html")
    check("every tile is there", browser.js("return document.querySelectorAll('.tile').length") == count)
    loaded = browser.js("return Array.prototype.filter.call(document.images, i => i.complete && i.naturalWidth > 0).length")
    check("pictures load as they come into view, not all at once", loaded < count // 10, loaded)
    last = browser.driver.find_elements(By.CSS_SELECTOR, "img")[-1]
    browser.js("arguments[0].scrollIntoView()", last)
    browser.wait("return arguments[0].complete && arguments[0].naturalWidth > 0", last)
    browser.driver.find_element(By.ID, "filter").send_keys(f"c{count - 1:05}")
    check("the filter finds one in the whole tree", browser.visible() == 1)
    browser.quiet()
    print(f"catalogue: {count} carriers converted in {converted:.1f} s; the page opened in {opened:.1f} s")


def main():
    args = sys.argv[1:]
    program, make = os.path.abspath(args[0]), os.path.abspath(args[1])
    large, screenshot = 0, None
    rest = args[2:]
    while rest and rest[0] in ("--large", "--screenshot"):
        if rest[0] == "--large":
            large = int(rest[1])
        else:
            screenshot = os.path.abspath(rest[1])
        rest = rest[2:]
    runner = rest
    posix = not runner
    global SEPARATORS
    SEPARATORS = "/" if posix else "/\\"
    work = tempfile.mkdtemp(prefix="quillane-catalogue-")
    browser = None
    try:
        os.chdir(work)
        make_tree(make, runner, posix)
        browser = Browser(os.path.join(work, "profile"))

        done = convert(runner, program, ["-r", "-f", "png", "-o", "out", "--catalogue", "tree"])
        check("a tree with failures exits 1", done.returncode == 1, done.stderr)
        records = check_hashes("out")
        forms = {name_of(r["source"]): r["form"] for r in records}
        check("every form is there", {forms["title.gif"], forms["logo.gif"], forms["wizard.gif"], forms["rle.gif"]}
              == {"rgb", "palette", "bitfields", "compressed"}, forms)
        check_page(browser, "out", records, {"rgb", "palette", "bitfields"}, screenshot)
        check_controls(browser, "out", records)

        # In Japanese, as BMP: the browser shows the BMPs, and the page speaks Japanese.
        done = convert(runner, program, ["-r", "-o", "out-ja", "--catalogue", "tree"], "ja_JP.UTF-8")
        check("the Japanese run exits 1", done.returncode == 1, done.stderr)
        japanese = json.load(open("out-ja/index.json", encoding="utf-8"))["carriers"]
        check_page(browser, "out-ja", japanese, {"rgb", "palette", "bitfields"})
        check("a Japanese page", browser.js("return document.documentElement.lang") == "ja")
        check("in Japanese words", browser.js("return document.querySelector('legend').textContent") == "拡大")
        check("the Japanese name as written",
              browser.js("return [...document.querySelectorAll('.name')].some(n => n.textContent === arguments[0])", JAPANESE))
        if posix:
            check("bytes that are no UTF-8 shown as the command line shows them",
                  browser.js("return [...document.querySelectorAll('.name')].some(n => n.textContent === 'bad\\\\xff.gif')"))

        # From the check alone: the page and the index, nothing else.
        done = convert(runner, program, ["-n", "-r", "-o", "out-check", "--catalogue", "tree"])
        check("a check writes the page and the index only", sorted(os.listdir("out-check")) == ["index.html", "index.json"],
              os.listdir("out-check"))
        checked = json.load(open("out-check/index.json", encoding="utf-8"))
        check("its records are checks", checked["checkOnly"] and {r["outcome"] for r in checked["carriers"]}
              == {"checked", "failed"})
        browser.open("out-check/index.html")
        check("its page has no pictures", browser.js("return document.images.length") == 0)
        browser.quiet()

        if large:
            check_large(browser, program, make, runner, large)
    finally:
        if browser:
            browser.close()
        os.chdir("/")
        shutil.rmtree(work, ignore_errors=True)
    print(f"{check.passed} passed, {check.failed} failed")
    return 1 if check.failed else 0


if __name__ == "__main__":
    sys.exit(main())
