#!/usr/bin/env python3
"""The report in a real browser: writes the demo's report (and two variants)
with tavrel, renders the demo page headless to a PNG 1280 px wide and as tall
as the laid-out page, checks that the picture is not blank, and checks the
DOM the browser builds: one item panel per item in use, every figure, the
convergence figure only for the batch method, the warning box only where the
ranks are not ordinal, the restarts and the rank sweep's section where the
run has them, an input named like markup shown as text, and the Japanese
item names of a Shift-JIS file shown in the page's text.

Without chromium-headless-shell or chromium it reports itself skipped (exit
status 77, which ctest counts as skipped).

    browser_test.py TAVREL EXAMPLES_DIR [--png OUT.png]
"""

import argparse
import html.parser
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import browser  # noqa: E402
import markup_test  # noqa: E402

SKIPPED = 77
WIDTH = 1280


class Dom(html.parser.HTMLParser):
    """Counts of what the checks look for in a serialised DOM."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.ids, self.tags, self.panels, self.h1 = set(), {}, 0, ""
        self._in_h1 = False
        self.text = []

    def handle_starttag(self, tag, attrs):
        attributes = dict(attrs)
        self.tags[tag] = self.tags.get(tag, 0) + 1
        if "id" in attributes:
            self.ids.add(attributes["id"])
        if tag == "g" and "panel" in (attributes.get("class") or "").split():
            self.panels += 1
        self._in_h1 = tag == "h1"

    def handle_endtag(self, tag):
        if tag == "h1":
            self._in_h1 = False

    def handle_data(self, data):
        self.text.append(data)
        if self._in_h1:
            self.h1 += data


def dom_of(chromium, page):
    dom = Dom()
    dom.feed(browser.dump_dom(chromium, page, WIDTH))
    return dom


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tavrel")
    parser.add_argument("examples")
    parser.add_argument("--png", help="where to keep the screenshot of the demo page")
    args = parser.parse_args()

    chromium = browser.find_browser()
    if chromium is None:
        print("SKIPPED: no headless browser (install chromium-headless-shell or chromium)")
        sys.exit(SKIPPED)
    print(f"browser: {browser.version(chromium)}")

    faults = []

    def expect(condition, what):
        print(("ok     " if condition else "FAILED ") + what)
        if not condition:
            faults.append(what)

    with tempfile.TemporaryDirectory() as folder:
        pages = markup_test.write_pages(os.path.abspath(args.tavrel), os.path.abspath(args.examples), folder)

        # The demo page as a picture: as tall as the page, and not blank.
        png = args.png or os.path.join(folder, "demo.png")
        height = browser.screenshot(chromium, pages["demo"], png, WIDTH)
        width, rows_high, rows = browser.read_png(png)
        expect(width == WIDTH and rows_high == height and height > 1500,
               f"screenshot {width} x {rows_high} px of a page {height} px tall")
        pixels = [v for row in rows[::4] for v in row[::4]]
        spread = browser.variance(pixels)
        expect(spread > 200, f"the picture is not blank (grey variance {spread:.0f})")
        # The footer's text stands in the last rows: the picture holds the whole page.
        tail = rows[-int(height * 0.04):]
        expect(any(min(row) < 128 for row in tail), "the last rows of the picture show the footer")

        demo = dom_of(chromium, pages["demo"])
        expect(demo.panels == 30, f"demo: {demo.panels} item panels for its 30 items")
        for figure in ("fig-ranks", "fig-profiles", "fig-score-rank", "convergence-omitted"):
            expect(figure in demo.ids, f"demo: #{figure}")
        expect("fig-convergence" not in demo.ids, "demo: no convergence figure for a sequential method")
        expect("warning" not in demo.ids, "demo: no warning box, the ranks are ordinal")
        expect(demo.tags.get("svg", 0) >= 3 and demo.tags.get("img", 0) == 0, "demo: figures are inline svg")

        batch = dom_of(chromium, pages["batch"])
        expect(batch.panels == 30, f"batch: {batch.panels} item panels for 30 items")
        for figure in ("fig-ranks", "fig-profiles", "fig-score-rank", "fig-convergence", "warning"):
            expect(figure in batch.ids, f"batch: #{figure}")

        expect("sweep" not in demo.ids and "restarts" not in demo.ids, "demo: no sweep section, no restarts")
        sweep = dom_of(chromium, pages["sweep"])
        for figure in ("restarts", "sweep", "fig-sweep-criteria", "fig-sweep-indices", "fig-sweep-marginal"):
            expect(figure in sweep.ids, f"sweep: #{figure}")

        hostile = dom_of(chromium, pages["hostile"])
        expect(hostile.tags.get("img", 0) == 0 and hostile.tags.get("script", 0) == 0,
               "hostile: no element made from the inputs")
        expect(hostile.h1 == markup_test.HOSTILE, f"hostile: the data file name shows as text ({hostile.h1!r})")
        expect(hostile.panels == 29, f"hostile: {hostile.panels} item panels for the 29 items in use")

        japanese = dom_of(chromium, pages["shift_jis"])
        text = "".join(japanese.text)
        expect(japanese.panels == 30, f"shift_jis: {japanese.panels} item panels for its 30 items")
        missing = [name for name in markup_test.SHIFT_JIS_NAMES if name not in text]
        expect(not missing, f"shift_jis: the DOM text shows every item name (missing: {missing})")
        expect("\ufffd" not in text, "shift_jis: no replacement character in the DOM text")

    print(f"{0 if faults else 1} passed, {1 if faults else 0} failed")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
