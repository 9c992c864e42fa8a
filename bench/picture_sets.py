#!/usr/bin/python3
"""Several slide sizes against one: a 47-page 16:9 talk, laid out as
Beamer lays out slides, imported with import-deck --size auto, and once
with --size 1920x1080. Prints the sizes auto took, what their compressed
pictures take and the sizes left out (import-deck's own report), and the
import's wall time; then, for several screen modes, the PSNR (RGB, 8
bits, over the whole screen) of the first slide as the image draws it
with SLIDE_SCALE=fill against poppler's rendering of the page fitted to
the mode and centred on black:

  one set   the 1920x1080 set, reduced or enlarged to the mode;
  auto      the set src/sets.cpp's rule picks for the mode (1:1 when one
            has its size), reduced or enlarged.

The screens are computed by the scaling oracle (screen_check.ExpectedScreens,
the expected_screen program), which the firmware sessions
hold the image to pixel for pixel.

usage: bench/picture_sets.py"""
import math
import os
import re
import subprocess
import sys
import tempfile
import time

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "deck"))
sys.path.insert(0, os.path.join(ROOT, "tests", "firmware"))
from support import IMPORT_DECK, PYTHON, make_pdf, write  # noqa: E402
from pdf_fidelity import PAGE, beamer_layout, psnr  # noqa: E402
import screen_check  # noqa: E402

PAGES = 47
MODES = ((1920, 1080), (1366, 768), (1280, 800), (1024, 768), (1600, 900), (2560, 1440))


def choose(sets, width, height):
    """The set src/sets.cpp's rule picks for a mode of WIDTH x HEIGHT."""
    if (width, height) in sets:
        return (width, height)

    def same_aspect(s):
        return abs(s[0] * height - width * s[1]) * 100 <= width * s[1]
    candidates = [s for s in sets if same_aspect(s)] or list(sets)
    large = []
    for s in candidates:
        if width * s[1] >= height * s[0]:
            area_size = (height * s[0] // s[1], height)
        else:
            area_size = (width, width * s[1] // s[0])
        if s[0] >= area_size[0] and s[1] >= area_size[1]:
            large.append(s)
    pixels = lambda s: s[0] * s[1]  # noqa: E731
    if large:
        return min(large, key=pixels)
    return max(candidates, key=pixels)


def screen_of(folder, size, mode):
    slide = screen_check.Picture("slide", os.path.join(folder, "brov_01.bgra"), *size)
    expected = screen_check.ExpectedScreens(size, "fill")
    try:
        rgb = expected.screen(screen_check.View("slide", [slide]), *mode)
    finally:
        expected.close()
    return Image.frombytes("RGB", mode, rgb)


def reference(pdf, mode, work):
    """Poppler's page fitted to the mode as import-deck fits a page
    (rounded to whole pixels), centred on black."""
    scale = min(mode[0] / PAGE[0], mode[1] / PAGE[1])
    size = (min(mode[0], round(PAGE[0] * scale)), min(mode[1], round(PAGE[1] * scale)))
    out = os.path.join(work, "reference")
    subprocess.run(["pdftoppm", "-f", "1", "-l", "1", "-singlefile", "-scale-to-x",
                    str(size[0]), "-scale-to-y", str(size[1]), pdf, out], check=True)
    with Image.open(out + ".ppm") as rendered:
        page = rendered.convert("RGB")
    screen = Image.new("RGB", mode, (0, 0, 0))
    screen.paste(page, ((mode[0] - page.width) // 2, (mode[1] - page.height) // 2))
    return screen


def main():
    with tempfile.TemporaryDirectory() as work:
        pdf = write(os.path.join(work, "talk.pdf"),
                    make_pdf([beamer_layout(n, PAGES) for n in range(1, PAGES + 1)]))
        auto = os.path.join(work, "auto")
        started = time.monotonic()
        report = subprocess.run([PYTHON, IMPORT_DECK, pdf, "-o", auto, "--size", "auto"],
                                check=True, capture_output=True, text=True).stdout
        seconds = time.monotonic() - started
        one = os.path.join(work, "one")
        subprocess.run([PYTHON, IMPORT_DECK, pdf, "-o", one, "--size", "1920x1080"],
                       check=True, capture_output=True)
        print("import-deck --size auto, a %d-page 16:9 talk:" % PAGES)
        for line in report.splitlines():
            if re.match(r"(sizes taken|image size|sizes left out)", line):
                print("  " + line)
        print("  wall time of the import: %.1f s" % seconds)
        sets = [tuple(map(int, n.split("x"))) for n in os.listdir(auto)
                if re.fullmatch(r"\d+x\d+", n)]
        print("PSNR against poppler, the first slide with SLIDE_SCALE=fill:")
        print("  %-10s %-22s %-30s" % ("mode", "one set (1920x1080)", "auto (set shown)"))
        for mode in MODES:
            expected = reference(pdf, mode, work)
            single = psnr(screen_of(one, (1920, 1080), mode), expected)
            chosen = choose(sets, *mode)
            shown = psnr(screen_of(os.path.join(auto, "%dx%d" % chosen), chosen, mode),
                         expected)

            def db(value):
                return "inf dB" if math.isinf(value) else "%.1f dB" % value
            print("  %-10s %-22s %-30s" % ("%dx%d" % mode, db(single),
                                           "%s (%dx%d)" % ((db(shown),) + chosen)))


if __name__ == "__main__":
    main()
