#!/usr/bin/python3
"""The pictures the image links in, listed once: the slides' size, how many
a deck has, the two listings and their sizes, and the picture names, from
the size range, limits, shares and names facts.py holds.

The build, the image's slide table, the deck tools and the tests all read
this list: the tools and tests import it, and the build runs

    pictures.py configure (--default | --folder FOLDER) [--size WxH[,WxH...]]
                          --cmake FILE --include FILE

which writes the list for CMake (picture names, files and sizes) and for
C++ (an include of SLIDE(name, width, height) and LISTING(name, width,
height) lines). With --folder it counts the presenter's brov_NN.bgra
files first, and refuses a folder with a gap, a stray name or a picture
of the wrong size, naming the file.

An image may hold several picture sets, the talk at several slide sizes,
each screen shown the one that suits it: the default deck with a list of
sizes (--size 1280x800,1920x1080), a presenter's folder with one
subfolder WxH/ for each set (import-deck --size auto writes even one set
so, and the build takes its size from the folder). The sets of a folder are in facts.set_order;
the default deck's in the order of the list. A set's pictures are named
NAME_WxH (brov_01_1920x1080); the SLIDE and LISTING lines name the first
set's, and SET(width, height) lines, each followed by SET_PICTURE(name,
width, height) for its slides and then its listings, list every set.

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
                   parse_sizes, picture_symbol, set_order, set_suffix, slide_name,
                   write_if_changed)
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


SET_FOLDER = re.compile(r"[1-9][0-9]*x[1-9][0-9]*")


def folder_sets(folder):
    """The sizes of the picture sets in FOLDER's WxH/ subfolders, in
    set_order; None for a flat folder of one set."""
    try:
        names = [n for n in os.listdir(folder)
                 if SET_FOLDER.fullmatch(n) and os.path.isdir(os.path.join(folder, n))]
    except OSError as error:
        raise PictureSetError("%s: %s" % (folder, error.strerror)) from None
    if not names:
        return None
    sizes = []
    for name in names:
        try:
            sizes.append(parse_size(name))
        except ValueError as error:
            raise PictureSetError("%s: %s" % (os.path.join(folder, name), error)) from None
        if format_size(sizes[-1]) != name:
            raise PictureSetError("%s: name a set's folder WxH, e.g. 1920x1080"
                                  % os.path.join(folder, name))
    return sorted(sizes, key=set_order)


def count_sets(folder, sizes, compression="none"):
    """The slide count of the sets of SIZES in FOLDER/WxH/, each checked as
    count_slides checks a folder; they must agree."""
    counts = [(count_slides(os.path.join(folder, format_size(size)), size, compression), size)
              for size in sizes]
    for count, size in counts[1:]:
        if count != counts[0][0]:
            raise PictureSetError("%s: the sets disagree on the slide count: %d slides at %s, "
                                  "%d at %s; import the talk again"
                                  % (folder, counts[0][0], format_size(counts[0][1]), count,
                                     format_size(size)))
    return counts[0][0]


def set_picture_name(name, size):
    return name + set_suffix(size)


def cmake_list(count, size=SLIDE_SIZE, sets=None, in_set_folders=False):
    """PICTURE_BYTES is what the pictures take uncompressed. PICTURE_FILE_x
    is the picture's file in the picture folder: in WxH/ with several SETS
    (sizes) or IN_SET_FOLDERS. With several, every set's pictures are
    listed, each named NAME_WxH."""
    sets = sets or [size]
    several = len(sets) > 1
    in_set_folders = in_set_folders or several
    names, files, sizes = [], {}, {}
    for set_size in sets:
        for name in picture_names(count):
            full = set_picture_name(name, set_size) if several else name
            names.append(full)
            files[full] = (format_size(set_size) + "/" if in_set_folders else "") + name + SUFFIX
            sizes[full] = picture_size(name, set_size)
    lines = ["# The pictures of this build, from slidedeck/pictures.py.",
             "set(SLIDE_COUNT %d)" % count,
             "set(PICTURE_BYTES %d)" % sum(raw_bytes(count, s) for s in sets),
             "set(SET_SIZES %s)" % " ".join(format_size(s) for s in sets),
             "set(SET_COUNT %d)" % len(sets),
             "set(PICTURE_NAMES %s)" % " ".join(names)]
    for name in names:
        lines.append("set(PICTURE_SIZE_%s %d %d)" % ((name,) + sizes[name]))
        lines.append("set(PICTURE_FILE_%s %s)" % (name, files[name]))
    # The overview's pages (slidedeck/overview.py), pictures of each set's
    # slide size: OVERVIEW_FILE_x is the page's file in the overview folder,
    # in WxH/ with several sets.
    pages = []
    for set_size in sets:
        for name in overview.page_names(count, set_size):
            full = set_picture_name(name, set_size) if several else name
            pages.append(full)
            lines.append("set(PICTURE_SIZE_%s %d %d)" % ((full,) + tuple(set_size)))
            lines.append("set(OVERVIEW_FILE_%s %s)"
                         % (full, (format_size(set_size) + "/" if several else "") + name
                            + SUFFIX))
    lines.append("set(OVERVIEW_NAMES %s)" % " ".join(pages))
    return "\n".join(lines) + "\n"


def include_list(count, size=SLIDE_SIZE, sets=None):
    """The list for C++, included wherever the pictures are named: define
    SLIDE and/or LISTING before the include; it undefines them after. It
    also defines MAX_SLIDE_COUNT, the most slides a deck may have."""
    lines = ["// The pictures of this build, from slidedeck/pictures.py:",
             "// SLIDE(name, width, height) for each slide in order, then",
             "// LISTING(name, width, height) for the listings of the keys 1 and 2.",
             "#define MAX_SLIDE_COUNT %d" % MAX_SLIDE_COUNT,
             "#ifndef SLIDE", "#define SLIDE(name, width, height)", "#endif",
             "#ifndef LISTING", "#define LISTING(name, width, height)", "#endif"]
    several = sets is not None and len(sets) > 1
    if several:
        size = sets[0]
        lines[3:3] = ["// With several slide sizes, SET(width, height) for each picture set,",
                      "// then SET_PICTURE(name, width, height) for its slides and listings."]
        lines += ["#ifndef SET", "#define SET(width, height)", "#endif",
                  "#ifndef SET_PICTURE", "#define SET_PICTURE(name, width, height)", "#endif"]

    def named(name, set_size):
        return set_picture_name(name, set_size) if several else name
    for name in slide_names(count):
        lines.append("SLIDE(%s, %d, %d)" % ((named(name, size),) + picture_size(name, size)))
    for name in LISTING_NAMES:
        lines.append("LISTING(%s, %d, %d)" % ((named(name, size),) + picture_size(name, size)))
    if several:
        # Each set's overview: SET_OVERVIEW_GRID(first, count, the grid's ten
        # numbers), its pages being SET_OVERVIEW lines first .. first +
        # count - 1 of all the sets'.
        lines += ["#ifndef SET_OVERVIEW_GRID", "#define SET_OVERVIEW_GRID(...)", "#endif",
                  "#ifndef SET_OVERVIEW", "#define SET_OVERVIEW(name, width, height)", "#endif"]
        first_page = 0
        for set_size in sets:
            lines.append("SET(%d, %d)" % tuple(set_size))
            for name in picture_names(count):
                lines.append("SET_PICTURE(%s, %d, %d)"
                             % ((named(name, set_size),) + picture_size(name, set_size)))
            pages = overview.page_names(count, set_size)
            lines.append("SET_OVERVIEW_GRID(%d, %d, %d, %d, %d, %d, %d, %d, %d, %d, %d, 0x%06X)"
                         % ((first_page, len(pages)) + tuple(overview.grid(set_size))))
            for name in pages:
                lines.append("SET_OVERVIEW(%s, %d, %d)"
                             % ((named(name, set_size),) + tuple(set_size)))
            first_page += len(pages)
    lines += ["#undef SLIDE", "#undef LISTING"]
    if several:
        lines += ["#undef SET", "#undef SET_PICTURE", "#undef SET_OVERVIEW_GRID",
                  "#undef SET_OVERVIEW"]
        return "\n".join(lines) + "\n"
    # The overview (PRESENTER_KEYS) of a one-size image: its grid, from the
    # slide size alone, and its pages, pictures of the slide size.
    lines += ["// OVERVIEW_GRID(columns, rows, left, top, step_x, step_y, width, height,",
              "// gutter, background) and OVERVIEW(name, width, height) for each page.",
              "#ifndef OVERVIEW_GRID", "#define OVERVIEW_GRID(...)", "#endif",
              "#ifndef OVERVIEW", "#define OVERVIEW(name, width, height)", "#endif",
              "OVERVIEW_GRID(%d, %d, %d, %d, %d, %d, %d, %d, %d, 0x%06X)"
              % tuple(overview.grid(size))]
    for name in overview.page_names(count, size):
        lines.append("OVERVIEW(%s, %d, %d)" % ((name,) + tuple(size)))
    lines += ["#undef OVERVIEW_GRID", "#undef OVERVIEW"]
    return "\n".join(lines) + "\n"


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
                           help="the slides' size, SLIDE_SIZE (default %(default)s), or a "
                                "comma-separated list of sizes for the default deck")
    configure.add_argument("--cmake", required=True, metavar="FILE")
    configure.add_argument("--include", required=True, metavar="FILE")
    args = parser.parse_args()
    try:
        sets = parse_sizes(args.size)
    except ValueError as error:
        print("SLIDE_SIZE=%s: %s" % (args.size, error), file=sys.stderr)
        return 1
    count = DEFAULT_SLIDE_COUNT
    in_set_folders = False
    if args.folder:
        try:
            # A folder of sets in WxH/ says its sizes itself; a flat one is
            # of SLIDE_SIZE.
            found = folder_sets(args.folder)
            if found:
                sets, in_set_folders = found, True
                count = count_sets(args.folder, sets, args.compression)
            else:
                sets = sets[:1]
                count = count_slides(args.folder, sets[0], args.compression)
        except PictureSetError as error:
            print(error, file=sys.stderr)
            return 1
    if len(sets) > 1 and args.compression != "lz4":
        print("%s: several slide sizes (%s) store their pictures compressed; "
              "set PICTURE_COMPRESSION=lz4 or leave it empty"
              % (args.folder or "SLIDE_SIZE", ", ".join(map(format_size, sets))),
              file=sys.stderr)
        return 1
    write_if_changed(args.cmake, cmake_list(count, sets[0], sets, in_set_folders))
    write_if_changed(args.include, include_list(count, sets[0], sets))
    return 0


if __name__ == "__main__":
    sys.exit(main())
