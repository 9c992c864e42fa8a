#!/usr/bin/python3
"""Renders the default deck into a folder of raw pictures: the 47 slides
from deck/slides.txt and the two listings, one from
deck/listings/efiversion.c and one from the function blt as it stands in
src/BOOTX64.cpp, so that the picture cannot drift from the code.

usage: render_deck.py [--deck DIR] [--source FILE] [--size WxH] OUTPUT_FOLDER

The deck is laid out on a 640x480 slide. At another size (--size, the
build's SLIDE_SIZE) that layout is scaled into the largest 4:3 area of the
slide, centred, and the rest of the slide is the slide's background
colour; every coordinate and font size is scaled, and the text is drawn
at its new size, so it stays sharp. Line breaks and the checks that a
slide's text fits are made on the 640x480 layout, so a deck renders the
same way at every size. The listings fill their pictures, with their font
sizes and margins scaled as much as the slides'.

slides.txt, one element a line:
    # Title          a cover or section slide: big title, centred
    ## Title         an ordinary slide with a title bar
    - text           a bullet;   "  - text" a bullet one level in
    | text           a line of code, in a fixed-width font
    > text           a note at the foot of the slide ("press 1: ...")
    other text       a paragraph
    ;; text          a comment, not shown
Blank lines are ignored. Long bullets and paragraphs wrap; code does not.
"""
import argparse
import itertools
import os
import re
import sys

from PIL import Image, ImageDraw
from pygments import lex
from pygments.lexers import CLexer, CppLexer
from pygments.styles import get_style_by_name
from pygments.token import Comment

# The deck library lies at the top of the source tree, beside cmake/.
sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from slidedeck import common as deck_common  # noqa: E402
from slidedeck.common import (DEFAULT_SLIDE_COUNT, SLIDE_SIZE, font, format_size,  # noqa: E402
                              parse_size, slide_name)

TALK_NAME = "Slides on bare UEFI firmware"
# The slide each listing belongs to, by its number, and what it must say.
LISTING_SLIDES = {12: "press 1", 43: "press 2"}

PAPER = (250, 250, 246)
INK = (30, 30, 36)
ACCENT = (28, 52, 92)
MUTED = (110, 110, 118)
CODE_PAPER = (232, 234, 238)
NOTE_PAPER = (255, 214, 102)

WIDTH, HEIGHT = SLIDE_SIZE
MARGIN = 36
TITLE_BAR = 64
FOOTER_TOP = 450
NOTE_TOP = 404

FONTS = {
    "title": ("DejaVuSans-Bold.ttf", 28),
    "cover": ("DejaVuSans-Bold.ttf", 40),
    "cover_text": ("DejaVuSans.ttf", 22),
    "bullet": ("DejaVuSans.ttf", 22),
    "sub": ("DejaVuSans.ttf", 19),
    "text": ("DejaVuSans.ttf", 21),
    "code": ("DejaVuSansMono.ttf", 17),
    "note": ("DejaVuSans-Bold.ttf", 18),
    "footer": ("DejaVuSans.ttf", 14),
}


class DeckError(Exception):
    pass


class Slide:
    def __init__(self, kind, title, line):
        self.kind = kind      # "cover" or "content"
        self.title = title
        self.line = line      # where it starts in slides.txt
        self.items = []       # (kind, text): bullet, sub, code, text
        self.note = None


def parse_slides(text, path="slides.txt"):
    slides = []
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        where = "%s:%d" % (path, number)
        if not line.strip() or line.startswith(";;"):
            continue
        if line.startswith("# ") or line.startswith("## "):
            kind = "cover" if line.startswith("# ") else "content"
            slides.append(Slide(kind, line.split(" ", 1)[1].strip(), where))
            continue
        if not slides:
            raise DeckError("%s: text before the first slide title" % where)
        slide = slides[-1]
        if line.startswith("> "):
            if slide.note is not None:
                raise DeckError("%s: a slide has one note" % where)
            slide.note = line[2:].strip()
        elif line.startswith("| ") or line == "|":
            slide.items.append(("code", line[2:]))
        elif line.startswith("- "):
            slide.items.append(("bullet", line[2:].strip()))
        elif line.startswith("  - "):
            slide.items.append(("sub", line[4:].strip()))
        else:
            slide.items.append(("text", line.strip()))
    return slides


def check_deck(slides):
    """The image has room for exactly 47 slides, and the keys 1 and 2 show
    the listings that belong to slides 12 and 43: those slides, and only
    they, say so."""
    if len(slides) != DEFAULT_SLIDE_COUNT:
        raise DeckError("the deck has %d slides; the image shows exactly %d"
                        % (len(slides), DEFAULT_SLIDE_COUNT))
    for number, slide in enumerate(slides, 1):
        words = " ".join([slide.title, slide.note or ""] + [t for _, t in slide.items]).lower()
        for listing_slide, phrase in LISTING_SLIDES.items():
            if number == listing_slide and phrase not in words:
                raise DeckError('%s: slide %d ("%s") must say "%s"'
                                % (slide.line, number, slide.title, phrase))
            if number != listing_slide and phrase in words:
                raise DeckError('%s: slide %d ("%s") says "%s", which belongs on slide %d only'
                                % (slide.line, number, slide.title, phrase, listing_slide))


def wrap(text, face, width):
    """TEXT broken into lines no wider than WIDTH pixels, at spaces."""
    lines, current = [], ""
    for word in text.split():
        candidate = word if not current else current + " " + word
        if current and face.getlength(candidate) > width:
            lines.append(current)
            current = word
        else:
            current = candidate
    if current:
        lines.append(current)
    return lines


def fonts():
    return {key: font(name, size) for key, (name, size) in FONTS.items()}


def scaled_fonts(scale):
    return {key: font(name, max(1, round(size * scale))) for key, (name, size) in FONTS.items()}


def line_height(face):
    ascent, descent = face.getmetrics()
    return ascent + descent


def layout_scale(size):
    """How much the 640x480 layout is scaled for slides of SIZE: as much as
    fits both ways."""
    return min(size[0] / WIDTH, size[1] / HEIGHT)


class Canvas:
    """A slide of SIZE, filled with BACKGROUND, that the drawing below
    addresses in the coordinates of the 640x480 layout. They are scaled by
    layout_scale into the largest 4:3 area, centred; text is drawn with
    its font at the scaled size. Boxes are given as Pillow takes them,
    both corners included, and keep to the 4:3 area. At 640x480 every call
    goes to Pillow exactly as given."""

    def __init__(self, size, background, faces):
        self.image = Image.new("RGB", size, background)
        self.draw = ImageDraw.Draw(self.image)
        self.same = tuple(size) == SLIDE_SIZE
        self.scale = layout_scale(size)
        self.area = (round(WIDTH * self.scale), round(HEIGHT * self.scale))
        self.left = (size[0] - self.area[0]) // 2
        self.top = (size[1] - self.area[1]) // 2
        self.faces = faces if self.same else scaled_fonts(self.scale)

    def point(self, x, y):
        if self.same:
            return x, y
        return self.left + x * self.scale, self.top + y * self.scale

    def box(self, box):
        if self.same:
            return box
        x0, y0, x1, y1 = box
        # The box covers x0 up to x1 + 1 in the layout's continuous
        # coordinates; its last pixel is the one before the scaled end.
        return (self.left + round(x0 * self.scale), self.top + round(y0 * self.scale),
                min(self.left + round((x1 + 1) * self.scale) - 1, self.left + self.area[0] - 1),
                min(self.top + round((y1 + 1) * self.scale) - 1, self.top + self.area[1] - 1))

    def text(self, xy, text, face, fill):
        self.draw.text(self.point(*xy), text, font=self.faces[face], fill=fill)

    def rectangle(self, box, fill):
        self.draw.rectangle(self.box(box), fill=fill)

    def rounded_rectangle(self, box, radius, fill):
        if not self.same:
            radius = max(1, round(radius * self.scale))
        self.draw.rounded_rectangle(self.box(box), radius=radius, fill=fill)

    def line(self, x0, y, x1, fill):
        """A level line one pixel high at 640x480."""
        if self.same:
            self.draw.line((x0, y, x1, y), fill=fill)
        else:
            self.rectangle((x0, y, x1, y), fill)


def draw_footer(canvas, faces, number, colour):
    face = faces["footer"]
    y = FOOTER_TOP + (HEIGHT - FOOTER_TOP - line_height(face)) // 2
    canvas.text((MARGIN, y), TALK_NAME, "footer", colour)
    counter = "%d / %d" % (number, DEFAULT_SLIDE_COUNT)
    canvas.text((WIDTH - MARGIN - face.getlength(counter), y), counter, "footer", colour)


def draw_note(canvas, faces, note):
    face = faces["note"]
    pad = 8
    box_width = face.getlength(note) + 2 * pad
    box = (MARGIN, NOTE_TOP, MARGIN + box_width, NOTE_TOP + line_height(face) + 2 * pad)
    canvas.rounded_rectangle(box, 6, NOTE_PAPER)
    canvas.text((MARGIN + pad, NOTE_TOP + pad), note, "note", INK)


def draw_cover(slide, faces, number, size=SLIDE_SIZE):
    """The title, big, and any text under it, all centred."""
    canvas = Canvas(size, ACCENT, faces)
    if any(kind == "code" for kind, _ in slide.items):
        raise DeckError("%s: a cover slide has no code" % slide.line)
    title = wrap(slide.title, faces["cover"], WIDTH - 2 * MARGIN)
    text = [line for _, item in slide.items
            for line in wrap(item, faces["cover_text"], WIDTH - 2 * MARGIN)]
    gap = 18 if text else 0
    blocks = ([("cover", line) for line in title]
              + [("cover_text", line) for line in text])
    height = sum(line_height(faces[key]) + 6 for key, _ in blocks) + gap
    y = (FOOTER_TOP - height) // 2
    if y < 10:
        raise DeckError('%s: slide %d ("%s") does not fit on the slide; shorten it'
                        % (slide.line, number, slide.title))
    for index, (key, line) in enumerate(blocks):
        face = faces[key]
        if index == len(title):
            y += gap
        canvas.text(((WIDTH - face.getlength(line)) // 2, y), line, key, "white")
        y += line_height(face) + 6
    if slide.note:
        draw_note(canvas, faces, slide.note)
    draw_footer(canvas, faces, number, (200, 208, 224))
    return canvas.image


def draw_content(slide, faces, number, size=SLIDE_SIZE):
    canvas = Canvas(size, PAPER, faces)
    canvas.rectangle((0, 0, WIDTH, TITLE_BAR), ACCENT)
    title_face = faces["title"]
    if title_face.getlength(slide.title) > WIDTH - 2 * MARGIN:
        raise DeckError('%s: slide %d: the title "%s" is too long for one line'
                        % (slide.line, number, slide.title))
    canvas.text((MARGIN, (TITLE_BAR - line_height(title_face)) // 2), slide.title,
                "title", "white")

    bottom = (NOTE_TOP if slide.note else FOOTER_TOP) - 10
    y = TITLE_BAR + 22
    previous = None
    for kind, text in slide.items:
        face = faces[kind]
        height = line_height(face)
        if kind == "code":
            # Consecutive code lines share one grey box.
            if text and face.getlength(text) > WIDTH - 2 * MARGIN - 24:
                raise DeckError('%s: slide %d: the code line "%s" is too wide'
                                % (slide.line, number, text))
            if previous != "code":
                y += 4
                canvas.rectangle((MARGIN, y - 6, WIDTH - MARGIN, y + height + 2), CODE_PAPER)
            else:
                canvas.rectangle((MARGIN, y - 2, WIDTH - MARGIN, y + height + 2), CODE_PAPER)
            canvas.text((MARGIN + 12, y), text, kind, INK)
            y += height + 2
        else:
            if previous == "code":
                y += 12
            indent = {"bullet": 28, "sub": 58, "text": 0}[kind]
            lines = wrap(text, face, WIDTH - 2 * MARGIN - indent)
            if kind != "text":
                marker = "\u2022" if kind == "bullet" else "\u2013"
                canvas.text((MARGIN + indent - 22, y), marker, kind, ACCENT)
            for line in lines:
                canvas.text((MARGIN + indent, y), line, kind, INK)
                y += height + 4
            y += 8 if kind != "sub" else 4
        previous = kind
        if y > bottom:
            raise DeckError('%s: slide %d ("%s") does not fit on the slide; shorten it'
                            % (slide.line, number, slide.title))
    if slide.note:
        draw_note(canvas, faces, slide.note)
    canvas.line(MARGIN, FOOTER_TOP, WIDTH - MARGIN, (210, 210, 204))
    draw_footer(canvas, faces, number, MUTED)
    return canvas.image


def slide_pictures(slides, size=SLIDE_SIZE, numbers=None):
    """The slides as (name, picture) pairs of SIZE, made one at a time (only
    those of NUMBERS, if given), after checking the deck's rules."""
    check_deck(slides)
    faces = fonts()
    for number, slide in enumerate(slides, 1):
        if numbers is None or number in numbers:
            draw = draw_cover if slide.kind == "cover" else draw_content
            yield slide_name(number), draw(slide, faces, number, size)


def render_slides(slides, size=SLIDE_SIZE, numbers=None):
    return dict(slide_pictures(slides, size, numbers))


# ---- Listings -------------------------------------------------------------

def extract_function(source, name):
    """The text of the definition of the top-level function NAME in SOURCE,
    from the start of its first line to its closing brace. Declarations
    (ending in ';') are passed over; braces in comments, strings and
    character literals do not count."""
    pattern = re.compile(r"^(?![ \t#/])[^\n;{}()]*\b%s\s*\(" % re.escape(name), re.MULTILINE)
    for match in pattern.finditer(source):
        position = match.end()
        depth = 1
        while position < len(source) and depth > 0:
            depth += {"(": 1, ")": -1}.get(source[position], 0)
            position += 1
        rest = re.match(r"[^;{]*", source[position:])
        position += rest.end()
        if position >= len(source) or source[position] == ";":
            continue
        end = _closing_brace(source, position)
        return source[match.start():end + 1]
    raise DeckError("no definition of %s() found" % name)


def _closing_brace(source, opening):
    depth = 0
    position = opening
    while position < len(source):
        if source.startswith("//", position):
            position = source.find("\n", position)
            if position < 0:
                break
        elif source.startswith("/*", position):
            position = source.find("*/", position) + 1
            if position <= 0:
                break
        elif source[position] in "\"'":
            quote = source[position]
            position += 1
            while position < len(source) and source[position] != quote:
                position += 2 if source[position] == "\\" else 1
        elif source[position] == "{":
            depth += 1
        elif source[position] == "}":
            depth -= 1
            if depth == 0:
                return position
        position += 1
    raise DeckError("unbalanced braces in the function's body")


LISTING_STYLE = get_style_by_name("github-dark")
LISTING_TEXT = "#e6edf3"
LISTING_MUTED = "#8b949e"
LISTING_MARGIN = 8
LISTING_TOP = 4
MONO_FACES = {
    (False, False): "DejaVuSansMono.ttf",
    (True, False): "DejaVuSansMono-Bold.ttf",
    (False, True): "DejaVuSansMono-Oblique.ttf",
    (True, True): "DejaVuSansMono-BoldOblique.ttf",
}


def listing_pitch(font_size):
    # Code reads well with little space between its lines, which leaves
    # room for more of them.
    return round(font_size * 1.15)


def line_text(line):
    return "".join(char for char, _ in line)


def highlighted_lines(code, lexer, drop_comments):
    """CODE as lines of (character, style) pairs, style being (colour, bold,
    italic). Trailing blank lines go; without comments, so do the lines
    left empty and the blank lines."""
    lines = [[]]
    for token, value in lex(code.expandtabs(4), lexer):
        if drop_comments and token in Comment:
            value = "\n" * value.count("\n")
        style = LISTING_STYLE.style_for_token(token)
        look = ("#" + style["color"] if style["color"] else LISTING_TEXT,
                bool(style["bold"]), bool(style["italic"]))
        for char in value:
            if char == "\n":
                lines.append([])
            else:
                lines[-1].append((char, look))
    for line in lines:
        # Trailing blanks, also those left where a comment stood.
        while line and line[-1][0] == " ":
            line.pop()
    if drop_comments:
        lines = [line for line in lines if line_text(line).strip()]
    while lines and not lines[-1]:
        lines.pop()
    return lines


def wrap_line(line, columns):
    """LINE cut into screen lines of at most COLUMNS characters, at a space
    where it can; continuations are indented 8 more than the line."""
    text = line_text(line)
    indent = len(text) - len(text.lstrip(" "))
    pad = [(" ", line[0][1])] * (indent + 8) if line else []
    screen = []
    while len(line) > columns:
        cut = line_text(line).rfind(" ", indent + 1, columns + 1)
        if cut <= indent:
            cut = columns
        screen.append(line[:cut])
        rest = line[cut:]
        while rest and rest[0][0] == " ":
            rest = rest[1:]
        line = pad + rest
    screen.append(line)
    return screen


def scaled(value, scale):
    return value if scale == 1 else max(1, round(value * scale))


def layout_listing(code, lexer, size, scale=1):
    """Picks the largest font, from 16 px down, that shows CODE whole in a
    picture of SIZE: first as it is, at no less than 14 px; then, if that
    cannot be, without comments and blank lines and with long lines
    wrapped, at no less than 10 px. Those sizes, and the margins, are
    multiplied by SCALE, the slides' layout_scale. Returns (font size,
    screen lines, whether comments were left out, lines cut off): when even
    that does not fit, the tail is cut off and marked."""
    width, height = size
    margin, top = scaled(LISTING_MARGIN, scale), scaled(LISTING_TOP, scale)
    for drop_comments, smallest in ((False, 14), (True, 10)):
        lines = highlighted_lines(code, lexer, drop_comments)
        for font_size in range(scaled(16, scale), scaled(smallest, scale) - 1, -1):
            advance = font(MONO_FACES[False, False], font_size).getlength("M")
            columns = int((width - 2 * margin) // advance)
            rows = (height - 2 * top) // listing_pitch(font_size)
            if drop_comments:
                screen = [part for line in lines for part in wrap_line(line, columns)]
            elif any(len(line) > columns for line in lines):
                continue
            else:
                screen = lines
            if len(screen) <= rows:
                return font_size, screen, drop_comments, 0
    # Still too long at the smallest size: show the head and say what is left out.
    cut = len(screen) - rows + 1
    marker = [(char, (LISTING_MUTED, False, True)) for char in "... %d more lines" % cut]
    return font_size, screen[:rows - 1] + [marker], True, cut


def render_listing(code, lexer, size, name="listing", scale=1):
    font_size, lines, _, cut = layout_listing(code, lexer, size, scale)
    if cut:
        print("render_deck: %s is too long for %dx%d; its last %d lines are left out"
              % ((name,) + size + (cut,)), file=sys.stderr)
    image = Image.new("RGB", size, LISTING_STYLE.background_color)
    draw = ImageDraw.Draw(image)
    faces = {key: font(name, font_size) for key, name in MONO_FACES.items()}
    advance = faces[False, False].getlength("M")
    pitch = listing_pitch(font_size)
    margin, top = scaled(LISTING_MARGIN, scale), scaled(LISTING_TOP, scale)
    for row, line in enumerate(lines):
        column = 0
        for (colour, bold, italic), run in itertools.groupby(line, key=lambda pair: pair[1]):
            text = "".join(char for char, _ in run)
            draw.text((margin + column * advance, top + row * pitch),
                      text, font=faces[bold, italic], fill=colour)
            column += len(text)
    return image


def render_listings(listing_c, blt_source, size=SLIDE_SIZE):
    """The two listings for slides of SIZE."""
    with open(listing_c, encoding="utf-8") as f:
        efiversion = f.read()
    with open(blt_source, encoding="utf-8") as f:
        blt = extract_function(f.read(), "blt")
    first, second = deck_common.LISTING_NAMES
    scale = 1 if tuple(size) == SLIDE_SIZE else layout_scale(size)
    return {
        first: render_listing(efiversion, CLexer(), deck_common.picture_size(first, size),
                              listing_c, scale),
        second: render_listing(blt, CppLexer(), deck_common.picture_size(second, size),
                               "blt()", scale),
    }


def render_deck(deck_folder, blt_source, size=SLIDE_SIZE):
    """Every picture of the default deck at SIZE, as (name, picture) pairs
    made one at a time: at the largest sizes the whole deck would not fit
    in memory at once."""
    slides_path = os.path.join(deck_folder, "slides.txt")
    with open(slides_path, encoding="utf-8") as f:
        slides = parse_slides(f.read(), slides_path)
    yield from slide_pictures(slides, size)
    yield from render_listings(os.path.join(deck_folder, "listings", "efiversion.c"),
                               blt_source, size).items()


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    parser = argparse.ArgumentParser(description="Renders the default deck into raw pictures.")
    parser.add_argument("output", help="folder to write the .bgra files into")
    parser.add_argument("--deck", default=os.path.join(root, "deck"),
                        help="folder with slides.txt and listings/")
    parser.add_argument("--source", default=os.path.join(root, "src", "BOOTX64.cpp"),
                        help="source file that defines blt")
    parser.add_argument("--size", default=format_size(SLIDE_SIZE), metavar="WxH",
                        help="the slides' size (default %(default)s)")
    args = parser.parse_args()
    try:
        size = parse_size(args.size)
    except ValueError as error:
        parser.error("--size %s: %s" % (args.size, error))
    try:
        deck_common.write_picture_set(args.output, render_deck(args.deck, args.source, size),
                                      size=size)
    except (DeckError, OSError) as error:
        print("render_deck: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
