#!/usr/bin/python3
"""How close the screen comes to a PDF viewer: a 16:9 page laid out as
Beamer lays out a slide (a title bar, bullets, small print, hairlines) is
imported with tools/import-deck, and the screen a 1920x1080 mode would
show is compared with poppler's own rendering of the page at 1920x1080.
Prints the PSNR over the whole screen (RGB, 8 bits) for:

  (a) slides of 640x480 drawn with SLIDE_SCALE=fill: the slide enlarged to
      1440x1080 by the nearest pixel by centres, centred on black;
  (b) slides of 1920x1080 (import-deck --size 1920x1080), copied 1:1.

For (a) it also prints the PSNR within the part of the screen the page
covers (1440x810), against poppler's rendering at that size: the loss from
enlarging alone, without the black border and the letterbox bands.

usage: bench/pdf_fidelity.py"""
import math
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageChops, ImageStat

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "deck"))
from support import IMPORT_DECK, PYTHON, make_pdf, picture, poppler, write  # noqa: E402

SCREEN = (1920, 1080)
# Beamer's 16:9 page, 160 mm by 90 mm, in points.
PAGE = (453.54, 255.12)


def beamer_page():
    return make_pdf([beamer_layout()])


def beamer_layout(number=1, pages=47):
    """Page NUMBER of a talk of PAGES, for make_pdf."""
    width, height = PAGE
    navy, teal, paper = (28, 52, 92), (0, 120, 120), (255, 255, 255)
    boxes = [(0, 0, width, 30, navy),                        # title bar
             (0, height - 12, width, 12, (230, 230, 236)),   # footline
             (20, 150, 200, 70, (222, 236, 250)),            # a block
             (20, 150, 200, 12, teal)]                       # its title
    boxes += [(240, 150 + 6 * n, 190, 0.4, (40, 40, 40)) for n in range(12)]  # hairlines
    texts = [(14, 8, 14, "Sharp on a modern screen")]
    texts += [(24, 44 + 17 * n, 11, "- a point of the talk, in eleven-point text, line %d" % n)
              for n in range(5)]
    texts += [(24, 166, 8, "Block text at eight points, as Beamer sets it"),
              (24, 180, 8, "inside a block with a coloured title bar"),
              (8, height - 10, 6, "Author - Talk title - Conference 2026"),
              (width - 30, height - 10, 6, "%d / %d" % (number, pages))]
    return (width, height, paper, boxes, texts)


def fill_screen(slide):
    """The screen SLIDE_SCALE=fill draws: the largest rectangle of the
    slide's shape that fits, centred on black, each screen pixel the slide
    pixel nearest to its centre."""
    scale = min(SCREEN[0] / slide.width, SCREEN[1] / slide.height)
    area = (int(slide.width * scale), int(slide.height * scale))
    columns = [(2 * x + 1) * slide.width // (2 * area[0]) for x in range(area[0])]
    source = slide.tobytes()
    rows = {}
    out = bytearray()
    for y in range(area[1]):
        row = (2 * y + 1) * slide.height // (2 * area[1])
        if row not in rows:
            line = source[row * slide.width * 3:(row + 1) * slide.width * 3]
            rows[row] = b"".join(line[3 * x:3 * x + 3] for x in columns)
        out += rows[row]
    screen = Image.new("RGB", SCREEN, (0, 0, 0))
    screen.paste(Image.frombytes("RGB", area, bytes(out)),
                 ((SCREEN[0] - area[0]) // 2, (SCREEN[1] - area[1]) // 2))
    return screen


def psnr(a, b):
    squares = ImageStat.Stat(ImageChops.difference(a, b)).sum2
    mse = sum(squares) / (3 * a.width * a.height)
    return math.inf if mse == 0 else 10 * math.log10(255 ** 2 / mse)


def imported(pdf, folder, size):
    subprocess.run([PYTHON, IMPORT_DECK, pdf, "-o", folder, "--size", "%dx%d" % size,
                    "--background", "white"], check=True, stdout=subprocess.DEVNULL)
    return picture(folder, "brov_01", size)


def main():
    with tempfile.TemporaryDirectory() as work:
        pdf = write(os.path.join(work, "beamer.pdf"), beamer_page())
        viewer = poppler(pdf, 1, SCREEN[0], work)
        before = fill_screen(imported(pdf, os.path.join(work, "small"), (640, 480)))
        after = imported(pdf, os.path.join(work, "large"), SCREEN)
        # 640x360 of the 640x480 slide, enlarged 2.25 times.
        page_area = (240, 135, 1680, 945)
        viewer_area = poppler(pdf, 1, 1440, work)
    print("PSNR against poppler at 1920x1080, a 16:9 Beamer-like page:")
    for label, screen, reference in (
            ("(a) 640x480 slides, SLIDE_SCALE=fill", before, viewer),
            ("    the page's area only (1440x810)", before.crop(page_area), viewer_area),
            ("(b) 1920x1080 slides, 1:1", after, viewer)):
        value = psnr(screen, reference)
        print("  %-40s %s" % (label, "identical (inf dB)" if math.isinf(value)
                              else "%.1f dB" % value))


if __name__ == "__main__":
    main()
