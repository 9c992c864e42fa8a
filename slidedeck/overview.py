#!/usr/bin/python3
"""The overview pages (PRESENTER_KEYS: o or Tab): every slide of a deck as
a numbered thumbnail on pages of the slide's size, which the viewer shows
like a slide, with a frame round the selected thumbnail.

The grid. Each thumbnail keeps the slide's shape and is reduced from it by
at most LARGEST_REDUCTION (6) in each direction, so that a slide's title
(28 of 480 rows in the default deck: about 5 rows on a thumbnail) and its
layout stay recognisable. Of the grids of at most 6 x 6 whose thumbnails
are that large, a page has the one with the most thumbnails; of those, the
one with the largest thumbnails; then the fewer columns. It depends on the
slide size alone: 4 x 3 at 640x480 (thumbnails 136x102), 5 x 4 at
800x600, 1024x768, 1280x720 and 1920x1080 (325x183) and up to 7680x4320
(`overview.py grid --size WxH` prints it).

A page, in its pixels: a uniform BACKGROUND; each cell is the thumbnail
with `gutter` = max(12, width // 80) pixels of background on every side,
below that gutter the slide's number (counted from 1, centred, DejaVu Sans
Bold with its digits within `number_rows` = max(12, height // 32) rows),
and another gutter below the number: from one thumbnail to the next is
width + 2 gutter across and height + 2 gutter + number_rows down. The
cells are centred on the page, so `left` and `top` are at least a gutter.
Thumbnails are reduced with Pillow's LANCZOS. The last page may be partly
empty. Nothing but background lies within a gutter of a thumbnail: the
viewer's frame goes there (src/overview.h).

    overview.py grid --size WxH
    overview.py render --pictures FOLDER --size WxH --count N OUT_FOLDER

render writes overview_01.bgra, overview_02.bgra, ... into OUT_FOLDER,
raw BGRA like the slides, each page written whole (a temporary name until
it is complete).
"""
import argparse
import collections
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from facts import SUFFIX, format_size, parse_size, slide_name  # noqa: E402

LARGEST_REDUCTION = 6
MOST_COLUMNS = MOST_ROWS = 6
BACKGROUND = (40, 44, 52)
NUMBER_COLOUR = (230, 230, 230)
NUMBER_FONT = "DejaVuSans-Bold.ttf"
PREFIX = "overview_"

Grid = collections.namedtuple(
    "Grid", "columns rows left top step_x step_y width height gutter background")


def gutter(size):
    return max(12, size[0] // 80)


def number_rows(size):
    return max(12, size[1] // 32)


def thumbnail_fit(size, columns, rows):
    """The largest thumbnail of the slide's shape in a grid of COLUMNS x
    ROWS cells on a page of SIZE: (width, height), either 0 if none fits."""
    width, height = size
    g, label = gutter(size), number_rows(size)
    room_x = width // columns - 2 * g
    room_y = (height - g) // rows - 2 * g - label
    if room_x <= 0 or room_y <= 0:
        return 0, 0
    if room_x * height <= room_y * width:
        return room_x, room_x * height // width
    return room_y * width // height, room_y


def grid(size):
    """The grid of the overview pages of slides of SIZE (the rule above)."""
    width, height = size
    best = None
    for columns in range(1, MOST_COLUMNS + 1):
        for rows in range(1, MOST_ROWS + 1):
            w, h = thumbnail_fit(size, columns, rows)
            if w * LARGEST_REDUCTION < width or h * LARGEST_REDUCTION < height:
                continue
            rank = (columns * rows, w, -columns)
            if best is None or rank > best[0]:
                best = (rank, columns, rows, w, h)
    _, columns, rows, w, h = best
    g, label = gutter(size), number_rows(size)
    step_x, step_y = w + 2 * g, h + 2 * g + label
    left = (width - columns * step_x) // 2 + g
    top = (height - (rows * step_y + g)) // 2 + g
    background = BACKGROUND[0] << 16 | BACKGROUND[1] << 8 | BACKGROUND[2]
    return Grid(columns, rows, left, top, step_x, step_y, w, h, g, background)


def page_count(count, size):
    layout = grid(size)
    per_page = layout.columns * layout.rows
    return (count + per_page - 1) // per_page


def page_name(page):
    """The picture name of overview page PAGE, counting from 1."""
    return "%s%02d" % (PREFIX, page)


def page_names(count, size):
    return [page_name(page) for page in range(1, page_count(count, size) + 1)]


def thumbnail_place(layout, index):
    """The top-left corner of the INDEXth thumbnail of a page (from 0)."""
    return (layout.left + index % layout.columns * layout.step_x,
            layout.top + index // layout.columns * layout.step_y)


def render_page(size, slides, first_number):
    """The page of SIZE holding SLIDES (RGB pictures of SIZE, in order),
    the first of them slide FIRST_NUMBER."""
    from PIL import Image, ImageDraw
    from .common import font

    layout = grid(size)
    page = Image.new("RGB", size, BACKGROUND)
    draw = ImageDraw.Draw(page)
    face = font(NUMBER_FONT, number_rows(size))
    for index, slide in enumerate(slides):
        x, y = thumbnail_place(layout, index)
        page.paste(slide.resize((layout.width, layout.height), Image.LANCZOS), (x, y))
        text = str(first_number + index)
        left, top, right, bottom = draw.textbbox((0, 0), text, font=face, anchor="ls")
        label_top = y + layout.height + layout.gutter
        if bottom - top > number_rows(size) or right - left > layout.width:
            raise ValueError("slide number %s does not fit under its thumbnail" % text)
        draw.text((x + (layout.width - (right - left)) // 2 - left, label_top - top), text,
                  fill=NUMBER_COLOUR, font=face, anchor="ls")
    return page


def render(folder, size, count, out_folder):
    """Writes the overview pages of the COUNT slides in FOLDER (raw BGRA,
    slides of SIZE) into OUT_FOLDER; returns their paths."""
    from .common import bgra_bytes, image_from_bgra

    layout = grid(size)
    per_page = layout.columns * layout.rows
    os.makedirs(out_folder, exist_ok=True)
    written = []
    for page, name in enumerate(page_names(count, size)):
        slides = []
        for number in range(page * per_page + 1, min(count, (page + 1) * per_page) + 1):
            path = os.path.join(folder, slide_name(number) + SUFFIX)
            with open(path, "rb") as f:
                data = f.read()
            if len(data) != size[0] * size[1] * 4:
                raise ValueError("%s: %d bytes, but a %s raw BGRA picture is %d bytes"
                                 % (path, len(data), format_size(size), size[0] * size[1] * 4))
            slides.append(image_from_bgra(data, size))
        out = os.path.join(out_folder, name + SUFFIX)
        with open(out + ".tmp", "wb") as f:
            f.write(bgra_bytes(render_page(size, slides, page * per_page + 1)))
        os.replace(out + ".tmp", out)
        written.append(out)
    return written


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    show = commands.add_parser("grid", help="print the grid for a slide size")
    show.add_argument("--size", required=True, metavar="WxH")
    make = commands.add_parser("render", help="write the overview pages of a deck")
    make.add_argument("--pictures", required=True, help="folder of the slides' .bgra files")
    make.add_argument("--size", required=True, metavar="WxH")
    make.add_argument("--count", required=True, type=int)
    make.add_argument("out", help="folder for overview_NN.bgra")
    args = parser.parse_args()
    size = parse_size(args.size)
    if args.command == "grid":
        layout = grid(size)
        print("%s: %d x %d, thumbnails %dx%d, %s" % (
            format_size(size), layout.columns, layout.rows, layout.width, layout.height,
            ", ".join("%s %d" % (k, v) for k, v in layout._asdict().items())))
        return 0
    render(args.pictures, size, args.count, args.out)
    return 0


if __name__ == "__main__":
    # Run as a script: the package's relative imports need its name.
    __package__ = "slidedeck"
    import slidedeck  # noqa: F401
    sys.exit(main())
