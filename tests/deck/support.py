"""Shared by the deck tool tests: where things are, small PDFs drawn by
hand (so every colour and position in them is exact), and reading back a
raw picture."""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOLS = os.path.join(ROOT, "tools")
# The helpers only the build runs (render_deck.py, compress_pictures.py).
BUILD_HELPERS = os.path.join(ROOT, "cmake")
IMPORT_DECK = os.path.join(TOOLS, "import-deck")
PYTHON = sys.executable
# The deck library (slidedeck/) and the build's helpers, as modules.
sys.path.insert(0, ROOT)
sys.path.insert(0, BUILD_HELPERS)

from slidedeck import common as deck_common  # noqa: E402


FONT = b"/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>"


def make_pdf(pages, unreadable_page=None, turned_pages=()):
    """A PDF of PAGES, each (width, height, background, boxes[, texts]) in
    points, boxes being (left, top, width, height, colour) measured from
    the page's top-left corner, colours 0..255 RGB, and texts (left, top,
    size, text) lines in black Helvetica. Page UNREADABLE_PAGE (from 1)
    gets a content stream that no reader can decode; the pages numbered in
    TURNED_PAGES are shown turned a quarter clockwise (/Rotate 90)."""
    def fill(colour, left, top, width, height, page_height):
        r, g, b = (c / 255 for c in colour)
        return b"%.4f %.4f %.4f rg %g %g %g %g re f\n" % (
            r, g, b, left, page_height - top - height, width, height)

    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", None]
    kids = []
    for number, (width, height, background, boxes, *texts) in enumerate(pages, 1):
        content = fill(background, 0, 0, width, height, height)
        for left, top, box_width, box_height, colour in boxes:
            content += fill(colour, left, top, box_width, box_height, height)
        for left, top, size, text in (texts[0] if texts else []):
            content += b"0 0 0 rg BT /F1 %g Tf %g %g Td (%s) Tj ET\n" % (
                size, left, height - top - size, text.encode("latin-1"))
        kids.append(len(objects) + 1)
        rotate = b" /Rotate 90" if number in turned_pages else b""
        objects.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 %g %g]%s %s "
                       b"/Contents %d 0 R >>" % (width, height, rotate, FONT, len(objects) + 2))
        garbled = b"/Filter /FlateDecode " if number == unreadable_page else b""
        objects.append(b"<< /Length %d %s>>\nstream\n%s\nendstream"
                       % (len(content), garbled, content))
    objects[1] = b"<< /Type /Pages /Kids [%s] /Count %d >>" % (
        b" ".join(b"%d 0 R" % kid for kid in kids), len(kids))
    return _assemble(objects)


def _assemble(objects):
    out = bytearray(b"%PDF-1.4\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += b"%d 0 obj\n%s\nendobj\n" % (number, body)
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    for offset in offsets:
        out += b"%010d 00000 n \n" % offset
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        len(objects) + 1, xref)
    return bytes(out)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def pixel(folder, name, x, y, size=deck_common.SLIDE_SIZE):
    """The four stored bytes (blue, green, red, alpha) of pixel (x, y), in a
    set of slides of SIZE."""
    width, _ = deck_common.picture_size(name, size)
    with open(os.path.join(folder, name + ".bgra"), "rb") as f:
        f.seek(4 * (y * width + x))
        return tuple(f.read(4))


def bgra(rgb):
    """The stored bytes of an RGB colour."""
    return (rgb[2], rgb[1], rgb[0], 255)


def import_deck(*args, **options):
    # The tests were written for one 640x480 set unless they give --size
    # (auto, the default, renders up to nine sets).
    if "--size" not in args:
        args = ("--size", "640x480") + args
    return subprocess.run([PYTHON, IMPORT_DECK] + [str(a) for a in args],
                          capture_output=True, text=True, **options)


def picture(folder, name, size=deck_common.SLIDE_SIZE):
    """The stored picture NAME of a set of slides of SIZE, as RGB."""
    with open(os.path.join(folder, name + ".bgra"), "rb") as f:
        return deck_common.image_from_bgra(f.read(), deck_common.picture_size(name, size))


def poppler(pdf, page, longest, work):
    """Page PAGE of PDF as poppler renders it with its longer side LONGEST
    pixels, turned as the page says, for comparison."""
    out = os.path.join(work, "poppler-%d" % page)
    subprocess.run(["pdftoppm", "-f", str(page), "-l", str(page), "-singlefile",
                    "-scale-to", str(longest), pdf, out], check=True)
    from PIL import Image
    with Image.open(out + ".ppm") as image:
        return image.convert("RGB")
