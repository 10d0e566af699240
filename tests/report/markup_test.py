#!/usr/bin/env python3
"""The report's markup: runs tavrel on the demo data in a few configurations
and checks every page it writes. Every <svg> must be well-formed XML with a
title and a description first; an HTML parser must see every non-void
element closed, in order; nothing may load or run (no script, no image, no
external reference, no event handler); the texts from the inputs must show
as text.

    markup_test.py TAVREL EXAMPLES_DIR
"""

import html.parser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

HOSTILE = "<img src=x onerror=alert(1)>.txt"
# Item names of the Shift-JIS page, as a Japanese spreadsheet would hold them.
SHIFT_JIS_NAMES = [f"設問{j}" for j in range(1, 31)]
VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}
FORBIDDEN = {"script", "img", "iframe", "object", "embed", "link", "image", "use", "foreignobject"}


def write_pages(tavrel, examples, folder):
    """Runs tavrel in `folder` and returns {name: path} of the pages:
    "demo", the demo's own setting file; "batch", the batch method with two
    ranks, whose ranks are not ordinal; "hostile", a data file named like
    markup, a setting value with <, >, &, quotes, an item out of use and a
    single rank; "shift_jis", the demo data as a Shift-JIS CSV with Japanese
    ids and item names (SHIFT_JIS_NAMES); "sweep", restarts and a rank sweep."""
    shutil.copy(os.path.join(examples, "demo_data.txt"), folder)
    shutil.copy(os.path.join(examples, "demo.settings"), folder)
    shutil.copy(os.path.join(examples, "demo_data.txt"), os.path.join(folder, HOSTILE))
    os.makedirs(os.path.join(folder, "out"), exist_ok=True)
    settings = {
        "batch.settings": "infile = demo_data.txt; idbegin = 1; nranks = 2; method = batch; reportfile = batch.html;",
        "hostile.settings": 'infile = "' + HOSTILE + '"; idbegin = 1; nranks = 1; seed = 3; maxiter = 5; '
                            "itemuse = 1101; outfile = {o<b>&\"'.csv}; reportfile = hostile.html;",
        "sweep.settings": "infile = demo_data.txt; idbegin = 1; nranks = 3; seed = 4; maxiter = 10; restarts = 3; "
                          "ranksweep = 2-5; reportfile = sweep.html;",
    }
    with open(os.path.join(examples, "demo_data.txt"), encoding="ascii") as demo:
        rows = [line.split() for line in demo if line.strip()]
    lines = [",".join(["受験番号"] + SHIFT_JIS_NAMES)]
    for n, (_, responses) in enumerate(rows, 1):
        lines.append(",".join([f"生徒{n:04d}"] + ["NA" if r == "." else r for r in responses]))
    with open(os.path.join(folder, "sjis.csv"), "wb") as f:
        f.write(("\r\n".join(lines) + "\r\n").encode("cp932"))
    settings["shift_jis.settings"] = ("infile = sjis.csv; dataformat = csv; idbegin = 1; encoding = cp932; "
                                      "nranks = 5; seed = 2026; reportfile = shift_jis.html;")
    for name, text in settings.items():
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text + "\n")
    for name in ("demo.settings", "batch.settings", "hostile.settings", "shift_jis.settings", "sweep.settings"):
        result = subprocess.run([tavrel, name], cwd=folder, capture_output=True, text=True, timeout=600)
        if result.returncode != 0:
            raise RuntimeError(f"tavrel {name} failed: {result.stderr[-2000:]}")
    return {"demo": os.path.join(folder, "out", "report.html"), "batch": os.path.join(folder, "batch.html"),
            "hostile": os.path.join(folder, "hostile.html"), "shift_jis": os.path.join(folder, "shift_jis.html"),
            "sweep": os.path.join(folder, "sweep.html")}


class Structure(html.parser.HTMLParser):
    """Checks that elements close in order; collects the text and the faults."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.faults, self.text = [], [], []

    def handle_starttag(self, tag, attrs):
        self.check(tag, attrs)
        if tag not in VOID:
            self.stack.append((tag, self.getpos()))

    def handle_startendtag(self, tag, attrs):
        self.check(tag, attrs)

    def handle_endtag(self, tag):
        if not self.stack:
            self.faults.append(f"</{tag}> at {self.getpos()} closes nothing")
        elif self.stack[-1][0] != tag:
            open_tag, where = self.stack[-1]
            self.faults.append(f"</{tag}> at {self.getpos()} while <{open_tag}> from {where} is open")
        else:
            self.stack.pop()

    def handle_data(self, data):
        self.text.append(data)

    def check(self, tag, attrs):
        if tag in FORBIDDEN:
            self.faults.append(f"<{tag}> at {self.getpos()}")
        for name, value in attrs:
            if name.startswith("on"):
                self.faults.append(f"event handler {name} at {self.getpos()}")
            if name in ("src", "href", "xlink:href") or (value and re.search(r"url\((?!#)", value)):
                self.faults.append(f"reference {name}={value!r} at {self.getpos()}")


def check_page(text):
    """The faults of one page, as a list of strings."""
    parser = Structure()
    parser.feed(text)
    parser.close()
    faults = list(parser.faults)
    faults += [f"<{tag}> from {where} never closed" for tag, where in parser.stack]
    if not text.startswith("<!DOCTYPE html>"):
        faults.append("no doctype")
    svgs = re.findall(r"<svg\b.*?</svg>", text, re.S)
    if not svgs:
        faults.append("no <svg>")
    for number, svg in enumerate(svgs, 1):
        try:
            root = ElementTree.fromstring(svg)
        except ElementTree.ParseError as error:
            faults.append(f"<svg> {number} is not well-formed XML: {error}")
            continue
        if [child.tag for child in root[:2]] != ["title", "desc"] or not all((c.text or "").strip() for c in root[:2]):
            faults.append(f"<svg> {number} does not begin with a title and a description")
        if root.get("role") != "img" or not root.get("viewBox"):
            faults.append(f"<svg> {number} has no role or viewBox")
    return faults, "".join(parser.text)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    tavrel, examples = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    failed = 0
    with tempfile.TemporaryDirectory() as folder:
        pages = write_pages(tavrel, examples, folder)
        for name, path in pages.items():
            with open(path, encoding="utf-8") as f:
                text = f.read()
            faults, shown = check_page(text)
            if name == "hostile":
                for expected in (HOSTILE, "o<b>&\"'.csv"):
                    if expected not in shown:
                        faults.append(f"{expected!r} is not shown as text")
            if name == "shift_jis":
                faults += [f"{item!r} is not shown" for item in SHIFT_JIS_NAMES if item not in shown]
                if "\ufffd" in shown:
                    faults.append("U+FFFD is shown")
            for fault in faults:
                print(f"{name}: {fault}")
            print(f"{name}: {'FAILED' if faults else 'ok'} ({len(text)} bytes, {text.count('<svg')} svg)")
            failed += bool(faults)
    print(f"{len(pages) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
