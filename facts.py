#!/usr/bin/python3
"""The facts the build, the viewer, the deck tools and the tests share,
each written once: the build options (names, values, defaults), the slide
size range and the deck limits, the listings' shares of a slide, the
picture and symbol names, the machines an image is built for, and the
SBAT text of the signed images.

Python imports this module. CMake and C++ get copies written from it at
configure time:

    facts.py cmake FILE    the options, ranges, machines and SBAT for CMake
    facts.py header FILE   the C++ values of each option (option_values.h)
    facts.py sbat FILE     the assembly of the .sbat section

To add a build option:
  1. add an Option to OPTIONS below (its values, default, the field of the
     options record it sets and, for a choice, the C++ name of each value);
  2. add that field to image_options in src/options.h;
  3. use the field in the viewer.
CMake's cache entry, its check, the images' options records, tools/present's
choices and option_values.h all follow from the entry.
"""
import collections
import re
import sys

# ---- Build options ------------------------------------------------------
# kind: "choice" (one of values), "bool" (ON/OFF), "minutes" (a whole
# number from low to high), "size" (WIDTHxHEIGHT in the slide range),
# "path". field: the member of image_options (src/options.h) the option
# sets, "" for none. cxx_type, cxx_names: a choice's C++ type and the name
# of each value, numbered from 0 in order; cxx_values: instead, the C++
# expression each value puts into the field. empty_default: a choice left
# empty takes this word (a CMake variable name) instead of default.
# refusal: the text after "NAME=VALUE: " when a value is refused.
Option = collections.namedtuple(
    "Option", "name kind values default help field cxx_type cxx_names cxx_values "
              "low high empty_default refusal")


def option(name, kind, default, help, field="", values=(), cxx_type="", cxx_names=(),
           cxx_values=(), low=0, high=0, empty_default="", refusal=""):
    return Option(name, kind, tuple(values), default, help, field, cxx_type, tuple(cxx_names),
                  tuple(cxx_values), low, high, empty_default, refusal)


SLIDE_SIZE = (640, 480)
SMALLEST_SLIDE_SIZE = (320, 240)
LARGEST_SLIDE_SIZE = (7680, 4320)

OPTIONS = (
    option("SLIDE_SCALE", "choice", "off", "Slide scaling: off, whole or fill",
           values=("off", "whole", "fill"), field="slide_scale", cxx_type="scale_mode",
           cxx_names=("scale_off", "scale_whole", "scale_fill"),
           refusal="must be off, whole or fill"),
    option("SLIDE_SIZE", "size", "640x480",
           "Size of every slide, WIDTHxHEIGHT, from 320x240 to 7680x4320, or a "
           "comma-separated list of sizes for an image of several picture sets",
           field="slide_width slide_height"),
    option("SCREEN_MODE", "choice", "keep", "Screen mode: keep, slide or max",
           values=("keep", "slide", "max"), field="screen_mode", cxx_type="screen_mode_choice",
           cxx_names=("screen_keep", "screen_slide", "screen_max"),
           refusal="must be keep (the firmware's mode), slide (the mode of the slide's size, "
                   "else the largest) or max (the largest mode)"),
    option("SCREENS", "choice", "first", "Screens that show the talk: first, mirror or presenter",
           values=("first", "mirror", "presenter"), field="screens", cxx_type="screens_choice",
           cxx_names=("screens_first", "screens_mirror", "screens_presenter"),
           refusal="must be first (the firmware's first screen), mirror (every screen it "
                   "drives) or presenter (a presenter console on the first, the talk on the "
                   "others)"),
    option("PRESENTER_KEYS", "bool", "OFF",
           "Read the keys of presentation programs and remotes as well",
           field="presenter_keys"),
    option("PICTURE_COMPRESSION", "choice", "", "Picture storage in the image: none or lz4 "
           "(empty: none for 640x480 slides, else lz4)",
           values=("none", "lz4"), field="compressed", cxx_values=("nullptr", "&lz4_pictures"),
           empty_default="PICTURE_COMPRESSION_DEFAULT", refusal="must be none or lz4"),
    option("TALK_MINUTES", "minutes", "0",
           "Minutes of the talk, 0 to 999: the presenter console's timer counts down from "
           "them (0: it counts up)", field="talk_minutes", low=0, high=999,
           refusal="must be a whole number of minutes from 0 to 999 (0: the timer counts up)"),
    option("DECK_PICTURES", "path", "",
           "Folder of raw .bgra pictures to link in instead of the default deck"),
)
OPTION = {o.name: o for o in OPTIONS}
# The options of the pictures, which every image of a build shares.
BUILD_WIDE_OPTIONS = ("SLIDE_SIZE", "PICTURE_COMPRESSION", "DECK_PICTURES")


def choices(name):
    return OPTION[name].values


def picture_compression_default(size):
    """PICTURE_COMPRESSION left empty: raw pictures for 640x480 slides,
    LZ4 blocks for any other size, whose pictures are larger."""
    return "none" if tuple(size) == SLIDE_SIZE else "lz4"


# ---- Slides and pictures ------------------------------------------------
# The firmware reads the whole image into memory: 250 raw slides make an
# image of about 310 MB. Stored as LZ4 blocks a slide takes a few tens of
# kilobytes, and a deck may be longer.
MAX_SLIDE_COUNT = 250
MAX_SLIDE_COUNT_LZ4 = 999
# Raw pictures past this make an image the firmware may not load.
RAW_IMAGE_LIMIT = 1 << 30

# The listings shown by the keys 1 and 2, in that order, as wide as a slide
# and with this share of its height, out of the 480 rows of a 640x480 one.
LISTING_SHARE_ROWS = 480
LISTING_HEIGHTS = (
    ("a_012_efiversion_src", 389),
    ("a_043_graphic_image_blt_src", 295),
)
SLIDE_PREFIX = "brov_"
SUFFIX = ".bgra"


def slide_name(number):
    """The picture name of slide NUMBER, counting from 1, with at least two
    digits: brov_01 .. brov_99, brov_100 .."""
    return "%s%02d" % (SLIDE_PREFIX, number)


def picture_symbol(name):
    """The prefix of the symbols a picture is linked in under: PREFIX_start,
    PREFIX_end and PREFIX_size."""
    return "_binary_bgra_%s_bgra" % name


def format_size(size):
    return "%dx%d" % tuple(size)


def parse_size(text):
    """The slide size that TEXT ("1920x1080") names, as (width, height);
    ValueError, saying what is allowed, for anything else."""
    match = re.fullmatch(r"([1-9][0-9]{0,5})x([1-9][0-9]{0,5})", text.strip())
    allowed = "%s to %s, e.g. 1920x1080" % (format_size(SMALLEST_SLIDE_SIZE),
                                            format_size(LARGEST_SLIDE_SIZE))
    if not match:
        raise ValueError("%r is not a size WIDTHxHEIGHT; slides are %s" % (text, allowed))
    size = (int(match.group(1)), int(match.group(2)))
    if not all(low <= side <= high for low, side, high
               in zip(SMALLEST_SLIDE_SIZE, size, LARGEST_SLIDE_SIZE)):
        raise ValueError("%s is out of range; slides are %s" % (format_size(size), allowed))
    return size


def parse_sizes(text):
    """The slide sizes a comma-separated list TEXT ("1280x800,1920x1080")
    names, in its order, each as parse_size reads it; ValueError, naming
    the entry, for a malformed or repeated entry or an empty list."""
    sizes = []
    for entry in text.split(","):
        if not entry.strip():
            raise ValueError("%r: an empty entry in the list of sizes; separate sizes "
                             "WIDTHxHEIGHT by single commas, e.g. 1280x800,1920x1080" % text)
        size = parse_size(entry)
        if size in sizes:
            raise ValueError("%s is given twice in %r; list each size once"
                             % (format_size(size), text))
        sizes.append(size)
    return sizes


# The sizes an image of several picture sets takes when left to choose
# (import-deck --size auto), most common first among the screens of
# projectors and laptops; the sets of a folder are listed in this order,
# other sizes after them by width, then height.
COMMON_SIZES = ((1920, 1080), (1280, 800), (1920, 1200), (1366, 768), (1024, 768),
                (1280, 720), (2560, 1440), (2560, 1600), (3840, 2160))
# The image size auto stops before, in bytes.
AUTO_IMAGE_BUDGET = 48 * 1000 * 1000


def set_order(size):
    """The key sorting the picture sets of a folder."""
    size = tuple(size)
    common = COMMON_SIZES.index(size) if size in COMMON_SIZES else len(COMMON_SIZES)
    return (common,) + size


def set_suffix(size):
    """What a picture of the set of SIZE adds to its name: brov_01_1920x1080."""
    return "_" + format_size(size)


# ---- The presenter console ---------------------------------------------
# The cell heights, in pixels, at which the build renders the console's
# characters (cmake/render_glyphs.py): a face each, smallest first, from a
# small laptop console to a 4K one. Images built with SCREENS=presenter
# carry them all; the console picks the largest that fits.
CONSOLE_CELL_HEIGHTS = (16, 24, 32, 48, 64, 96, 128)

# ---- Machines -----------------------------------------------------------
# Every image is built for each of these, under the name firmware boots
# from removable media. target: clang's target triple; pe_machine: the PE
# header's machine field.
Machine = collections.namedtuple("Machine", "arch boot_name target pe_machine")
MACHINES = (
    Machine("x64", "BOOTX64", "x86_64-unknown-windows", 0x8664),
    Machine("aa64", "BOOTAA64", "aarch64-unknown-windows", 0xAA64),
)
MACHINE = {m.arch: m for m in MACHINES}

# ---- SBAT ---------------------------------------------------------------
# The CSV shim reads from the .sbat section of a signed image to decide
# whether it may run; shim refuses an image without one. The first line is
# the SBAT format's own; the second names this program at generation 1. A
# revocation of a flawed build raises the generation it must carry.
SBAT = ("sbat,1,SBAT Version,sbat,1,https://github.com/rhboot/shim/blob/main/SBAT.md\n"
        "uefi-slides,1,uefi-slides,uefi-slides,1,README.md\n")


# ---- The copies for CMake and C++ ---------------------------------------
def cmake_quote(text):
    return '"%s"' % text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$")


def cmake_text():
    lines = ["# Written by facts.py at configure time; change facts.py instead.",
             "set(FACT_OPTIONS %s)" % " ".join(o.name for o in OPTIONS),
             "set(FACT_BUILD_WIDE_OPTIONS %s)" % " ".join(BUILD_WIDE_OPTIONS)]
    for o in OPTIONS:
        n = o.name
        lines += ["set(FACT_%s_KIND %s)" % (n, o.kind),
                  "set(FACT_%s_DEFAULT %s)" % (n, cmake_quote(o.default)),
                  "set(FACT_%s_VALUES %s)" % (n, " ".join(o.values)),
                  "set(FACT_%s_HELP %s)" % (n, cmake_quote(o.help)),
                  "set(FACT_%s_FIELDS %s)" % (n, o.field),
                  "set(FACT_%s_EMPTY_DEFAULT %s)" % (n, o.empty_default),
                  "set(FACT_%s_REFUSAL %s)" % (n, cmake_quote(o.refusal)),
                  "set(FACT_%s_LOW %d)" % (n, o.low),
                  "set(FACT_%s_HIGH %d)" % (n, o.high)]
        for value, cxx in zip(o.values, o.cxx_names or o.cxx_values):
            lines.append("set(FACT_%s_CXX_%s %s)" % (n, value, cmake_quote(cxx)))
    lines += ["set(FACT_COMPRESSION_AT_DEFAULT_SIZE %s)" % picture_compression_default(SLIDE_SIZE),
              "set(FACT_COMPRESSION_AT_OTHER_SIZES %s)" % picture_compression_default((0, 0)),
              "set(FACT_SMALLEST_SLIDE_SIZE %d %d)" % SMALLEST_SLIDE_SIZE,
              "set(FACT_LARGEST_SLIDE_SIZE %d %d)" % LARGEST_SLIDE_SIZE,
              "set(FACT_RAW_IMAGE_LIMIT %d)" % RAW_IMAGE_LIMIT,
              # A picture's symbol prefix is BEFORE, its name, then AFTER.
              "set(FACT_PICTURE_SYMBOL_BEFORE %s)" % picture_symbol(" ").split(" ")[0],
              "set(FACT_PICTURE_SYMBOL_AFTER %s)" % picture_symbol(" ").split(" ")[1],
              "set(FACT_CONSOLE_FACE_COUNT %d)" % len(CONSOLE_CELL_HEIGHTS),
              "set(FACT_ARCHITECTURES %s)" % " ".join(m.arch for m in MACHINES)]
    for m in MACHINES:
        lines += ["set(FACT_BOOT_NAME_%s %s)" % (m.arch, m.boot_name),
                  "set(FACT_TARGET_%s %s)" % (m.arch, m.target)]
    return "\n".join(lines) + "\n"


def header_text():
    lines = ["// Written by facts.py at configure time; change facts.py instead.",
             "// The C++ values of the build options (options.h).",
             "#ifndef OPTION_VALUES_H", "#define OPTION_VALUES_H", "",
             "#include <stdint.h>", ""]
    for o in OPTIONS:
        if not o.cxx_names:
            continue
        lines += ["// %s" % o.name, "typedef uint32_t %s;" % o.cxx_type]
        lines += ["constexpr %s %s = %d;" % (o.cxx_type, name, number)
                  for number, name in enumerate(o.cxx_names)]
        lines.append("")
    lines.append("#endif")
    return "\n".join(lines) + "\n"


def sbat_text():
    lines = ["// Written by facts.py at configure time: the .sbat section of the signed",
             "// images, read-only data, so the image keeps no section both writable",
             "// and executable.",
             '        .section .sbat, "dr"']
    lines += ['        .ascii "%s\\n"' % line for line in SBAT.splitlines()]
    return "\n".join(lines) + "\n"


def write_if_changed(path, text):
    """Leaves an unchanged file alone, so the build does not redo its work."""
    import os
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


WRITERS = {"cmake": cmake_text, "header": header_text, "sbat": sbat_text}


def main(arguments):
    if len(arguments) != 2 or arguments[0] not in WRITERS:
        print("usage: facts.py (%s) FILE" % "|".join(WRITERS), file=sys.stderr)
        return 2
    write_if_changed(arguments[1], WRITERS[arguments[0]]())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
