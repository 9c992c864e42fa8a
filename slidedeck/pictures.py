#!/usr/bin/python3
"""The pictures the image links in, listed once: the slides' size, how many
a deck has, the two listings and their sizes, and the picture names, from
the size range, limits, shares and names facts.py holds.

The build, the image's slide table, the deck tools and the tests all read
this list: the tools and tests import it, and the build runs

    pictures.py configure (--default | --folder FOLDER) [--size WxH]
                          --cmake FILE --include FILE

which writes the list for CMake (picture names and sizes) and for C++ (an
include of SLIDE(name, width, height) and LISTING(name, width, height)
lines). With --folder it counts the presenter's brov_NN.bgra files first,
and refuses a folder with a gap, a stray name or a picture of the wrong
size, naming the file.

Every slide of a build has one size, the build's SLIDE_SIZE (640x480
unless chosen otherwise, from 320x240 to 7680x4320). The listings are as
wide as a slide and keep the share of its height they have at 640x480:
389/480 and 295/480 of it, rounded to the nearest row (halves up).

A picture NAME is the raw file NAME.bgra: 4 bytes a pixel (blue, green,
red, alpha), rows top to bottom, no header. It is linked in under the
symbols _binary_bgra_NAME_bgra_start, _end and _size.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The size range, the deck limits, the listings' shares and the names are
# facts.py's; they are named here too, where the deck tools look for them.
from facts import (LARGEST_SLIDE_SIZE, LISTING_HEIGHTS, LISTING_SHARE_ROWS,  # noqa: E402,F401
                   MAX_SLIDE_COUNT, MAX_SLIDE_COUNT_LZ4, SLIDE_PREFIX, SLIDE_SIZE,
                   SMALLEST_SLIDE_SIZE, SUFFIX, choices, format_size, parse_size,
                   picture_symbol, slide_name)
from slidedeck import overview  # noqa: E402

# The default deck in deck/slides.txt.
DEFAULT_SLIDE_COUNT = 47
COMPRESSIONS = choices("PICTURE_COMPRESSION")


def max_slide_count(compression="none"):
    """The most slides a deck may have with its pictures stored so."""
    return MAX_SLIDE_COUNT_LZ4 if compression == "lz4" else MAX_SLIDE_COUNT


LISTING_NAMES = tuple(name for name, _ in LISTING_HEIGHTS)


class PictureSetError(Exception):
    """A folder that is not a picture set; the message names the file."""


def slide_names(count):
    return [slide_name(number) for number in range(1, count + 1)]


def picture_names(count=DEFAULT_SLIDE_COUNT):
    """Every picture of a deck of COUNT slides: the slides in order, then
    the listings."""
    return slide_names(count) + list(LISTING_NAMES)


def listing_sizes(size=SLIDE_SIZE):
    """The two listings, in key order, as (name, (width, height)) for slides
    of SIZE."""
    width, height = size
    return tuple((name, (width, (share * height + LISTING_SHARE_ROWS // 2)
                                 // LISTING_SHARE_ROWS))
                 for name, share in LISTING_HEIGHTS)


# At the default size: 640x389 and 640x295.
LISTINGS = listing_sizes()


def picture_size(name, size=SLIDE_SIZE):
    """The size of the picture NAME in a build of slides of SIZE."""
    return dict(listing_sizes(size)).get(name, tuple(size))


def picture_bytes(name, size=SLIDE_SIZE):
    width, height = picture_size(name, size)
    return width * height * 4


def raw_bytes(count, size=SLIDE_SIZE):
    """What the pictures of a deck of COUNT slides of SIZE take as raw files,
    and so in an image that links them in uncompressed."""
    return sum(picture_bytes(name, size) for name in picture_names(count))


def count_slides(folder, size=SLIDE_SIZE, compression="none"):
    """The number of slides in FOLDER, after checking that its .bgra files
    are exactly the pictures of a deck: brov_01.bgra up to the last slide
    with no gap, no more than max_slide_count(COMPRESSION), the two
    listings, each of its size for slides of SIZE (with SIZE None, of any
    size). Other files (the contact sheet) are left
    alone."""
    try:
        files = sorted(n for n in os.listdir(folder) if n.endswith(SUFFIX))
    except OSError as error:
        raise PictureSetError("%s: %s" % (folder, error.strerror)) from None

    def path(name):
        return os.path.join(folder, name + SUFFIX)

    numbers = {}
    for file in files:
        name = file[:-len(SUFFIX)]
        match = re.fullmatch(re.escape(SLIDE_PREFIX) + r"(\d+)", name)
        if match and slide_name(int(match.group(1))) == name and int(match.group(1)) > 0:
            numbers[int(match.group(1))] = name
        elif name not in LISTING_NAMES:
            raise PictureSetError(
                "%s: a name that fits no picture; slides are %s, %s, ... and the "
                "listings %s" % (path(name), slide_name(1) + SUFFIX, slide_name(2) + SUFFIX,
                                 " and ".join(n + SUFFIX for n in LISTING_NAMES)))
    if not numbers:
        raise PictureSetError("%s: missing; a deck starts with this slide" % path(slide_name(1)))
    count = max(numbers)
    for number in range(1, count):
        if number not in numbers:
            raise PictureSetError("%s: missing, but %s follows" % (
                path(slide_name(number)), slide_name(count) + SUFFIX))
    limit = max_slide_count(compression)
    if count > limit:
        more = "" if limit == MAX_SLIDE_COUNT_LZ4 else (
            " (up to %d with PICTURE_COMPRESSION=lz4)" % MAX_SLIDE_COUNT_LZ4)
        raise PictureSetError("%s: %d slides, but a deck has 1 to %d%s"
                              % (folder, count, limit, more))
    for name in picture_names(count):
        if size is None:
            if not os.path.isfile(path(name)):
                raise PictureSetError("%s: missing" % path(name))
            continue
        width, height = picture_size(name, size)
        expected = picture_bytes(name, size)
        if not os.path.isfile(path(name)):
            raise PictureSetError("%s: missing; it must be a %dx%d raw BGRA picture of %d bytes"
                                  % (path(name), width, height, expected))
        actual = os.path.getsize(path(name))
        if actual != expected:
            raise PictureSetError("%s: %d bytes, but a %dx%d raw BGRA picture is %d bytes "
                                  "(slides of %s; import-deck --size makes pictures of "
                                  "another size)"
                                  % (path(name), actual, width, height, expected,
                                     format_size(size)))
    return count


def cmake_list(count, size=SLIDE_SIZE):
    """PICTURE_BYTES is what the pictures take uncompressed."""
    lines = ["# The pictures of this build, from slidedeck/pictures.py.",
             "set(SLIDE_COUNT %d)" % count,
             "set(PICTURE_BYTES %d)" % raw_bytes(count, size),
             "set(PICTURE_NAMES %s)" % " ".join(picture_names(count))]
    for name in picture_names(count):
        lines.append("set(PICTURE_SIZE_%s %d %d)" % ((name,) + picture_size(name, size)))
    # The overview's pages (slidedeck/overview.py), of the slide size.
    lines.append("set(OVERVIEW_NAMES %s)" % " ".join(overview.page_names(count, size)))
    for name in overview.page_names(count, size):
        lines.append("set(PICTURE_SIZE_%s %d %d)" % ((name,) + tuple(size)))
    return "\n".join(lines) + "\n"


def include_list(count, size=SLIDE_SIZE):
    """The list for C++, included wherever the pictures are named: define
    SLIDE and/or LISTING before the include; it undefines them after. It
    also defines MAX_SLIDE_COUNT, the most slides a deck may have."""
    lines = ["// The pictures of this build, from slidedeck/pictures.py:",
             "// SLIDE(name, width, height) for each slide in order, then",
             "// LISTING(name, width, height) for the listings of the keys 1 and 2.",
             "#define MAX_SLIDE_COUNT %d" % MAX_SLIDE_COUNT,
             "#ifndef SLIDE", "#define SLIDE(name, width, height)", "#endif",
             "#ifndef LISTING", "#define LISTING(name, width, height)", "#endif"]
    for name in slide_names(count):
        lines.append("SLIDE(%s, %d, %d)" % ((name,) + picture_size(name, size)))
    for name in LISTING_NAMES:
        lines.append("LISTING(%s, %d, %d)" % ((name,) + picture_size(name, size)))
    # The overview (PRESENTER_KEYS): its grid, from the slide size alone,
    # and its pages, pictures of the slide size.
    lines += ["#undef SLIDE", "#undef LISTING",
              "// OVERVIEW_GRID(columns, rows, left, top, step_x, step_y, width, height,",
              "// gutter, background) and OVERVIEW(name, width, height) for each page.",
              "#ifndef OVERVIEW_GRID", "#define OVERVIEW_GRID(...)", "#endif",
              "#ifndef OVERVIEW", "#define OVERVIEW(name, width, height)", "#endif",
              "OVERVIEW_GRID(%d, %d, %d, %d, %d, %d, %d, %d, %d, 0x%06X)"
              % tuple(overview.grid(size))]
    for name in overview.page_names(count, size):
        lines.append("OVERVIEW(%s, %d, %d)" % ((name,) + tuple(size)))
    lines += ["#undef OVERVIEW_GRID", "#undef OVERVIEW"]
    return "\n".join(lines) + "\n"


def write_if_changed(path, text):
    """Leaves an unchanged file alone, so the build does not redo its work."""
    try:
        with open(path) as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path + ".tmp", "w") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    configure = commands.add_parser("configure", help="write the lists for CMake and C++")
    source = configure.add_mutually_exclusive_group(required=True)
    source.add_argument("--default", action="store_true", help="the default deck's pictures")
    source.add_argument("--folder", help="a presenter's folder of .bgra pictures")
    configure.add_argument("--compression", choices=COMPRESSIONS, default="none",
                           help="how the build stores the pictures (sets the slide limit)")
    configure.add_argument("--size", default=format_size(SLIDE_SIZE), metavar="WxH",
                           help="the slides' size, SLIDE_SIZE (default %(default)s)")
    configure.add_argument("--cmake", required=True, metavar="FILE")
    configure.add_argument("--include", required=True, metavar="FILE")
    args = parser.parse_args()
    try:
        size = parse_size(args.size)
    except ValueError as error:
        print("SLIDE_SIZE=%s: %s" % (args.size, error), file=sys.stderr)
        return 1
    count = DEFAULT_SLIDE_COUNT
    if args.folder:
        try:
            count = count_slides(args.folder, size, args.compression)
        except PictureSetError as error:
            print(error, file=sys.stderr)
            return 1
    write_if_changed(args.cmake, cmake_list(count, size))
    write_if_changed(args.include, include_list(count, size))
    return 0


if __name__ == "__main__":
    sys.exit(main())
