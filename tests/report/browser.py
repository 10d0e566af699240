#!/usr/bin/env python3
"""A headless browser for the report: its DOM after loading, the height of the
laid-out page, a screenshot of the whole page, and the pixels of a PNG.

Only the standard library. The browser is Debian's chromium-headless-shell,
or chromium; as root it runs with --no-sandbox.

As a program: browser.py screenshot PAGE.html OUT.png [--width 1280]
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

BROWSERS = ("chromium-headless-shell", "chromium")


def find_browser():
    """The path of the first browser installed, or None."""
    for name in BROWSERS:
        path = shutil.which(name)
        if path:
            return path
    return None


def version(browser):
    result = subprocess.run([browser, "--version"], capture_output=True, text=True, timeout=60)
    return result.stdout.strip()


def _run(browser, args, url, timeout=180):
    with tempfile.TemporaryDirectory() as profile:
        command = [browser, "--headless", "--disable-gpu", "--hide-scrollbars", "--mute-audio",
                   "--no-first-run", "--force-device-scale-factor=1", f"--user-data-dir={profile}"]
        if hasattr(os, "geteuid") and os.geteuid() == 0:
            command.append("--no-sandbox")
        result = subprocess.run(command + args + [url], capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        raise RuntimeError(f"{os.path.basename(browser)} failed ({result.returncode}): {result.stderr[-2000:]}")
    return result


def file_url(path):
    return "file://" + os.path.abspath(path)


def dump_dom(browser, page, width=1280):
    """The DOM as the browser serialises it after loading the page."""
    return _run(browser, [f"--window-size={width},900", "--dump-dom"], file_url(page)).stdout


def page_height(browser, page, width=1280):
    """The height in CSS pixels of the page laid out at `width`: a copy of it
    with one script that writes the height into the DOM."""
    with open(page, encoding="utf-8") as f:
        text = f.read()
    probe = ("<script>document.documentElement.setAttribute('data-page-height',"
             "String(Math.ceil(document.documentElement.getBoundingClientRect().height)))</script>")
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "page.html")
        with open(copy, "w", encoding="utf-8") as f:
            f.write(text.replace("</body>", probe + "</body>", 1))
        dom = dump_dom(browser, copy, width)
    found = re.search(r'data-page-height="(\d+)"', dom)
    if not found:
        raise RuntimeError("the page height could not be measured")
    return int(found.group(1))


def screenshot(browser, page, png, width=1280):
    """A PNG of the whole page at `width` CSS pixels; returns its height."""
    height = page_height(browser, page, width)
    _run(browser, [f"--window-size={width},{height}", f"--screenshot={os.path.abspath(png)}"], file_url(page))
    return height


def read_png(path):
    """(width, height, rows): the rows as lists of grey values 0..255, for
    8-bit greyscale, RGB and RGBA images without interlacing."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, [], None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat.append(body)
        elif kind == b"IEND":
            break
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 4: 2, 6: 4}.get(colour)
    if depth != 8 or channels is None or interlace != 0:
        raise ValueError(f"unsupported PNG: depth {depth}, colour type {colour}, interlace {interlace}")
    raw = zlib.decompress(b"".join(idat))
    stride = width * channels
    rows, previous, pos = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[pos], bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 0xFF
        previous = line
        if channels >= 3:
            grey = [(299 * line[i] + 587 * line[i + 1] + 114 * line[i + 2]) // 1000 for i in range(0, stride, channels)]
        else:
            grey = list(line[::channels])
        rows.append(grey)
    return width, height, rows


def variance(values):
    n = len(values)
    if n == 0:
        return 0.0
    mean = sum(values) / n
    return sum((v - mean) ** 2 for v in values) / n


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    shot = sub.add_parser("screenshot", help="a PNG of the whole page")
    shot.add_argument("page")
    shot.add_argument("png")
    shot.add_argument("--width", type=int, default=1280)
    args = parser.parse_args()
    browser = find_browser()
    if browser is None:
        sys.exit("no headless browser: install chromium-headless-shell (apt-get install chromium-headless-shell)")
    height = screenshot(browser, args.page, args.png, args.width)
    print(f"{args.png}: {args.width} x {height} px, {version(browser)}")


if __name__ == "__main__":
    main()
