"""cmake/render_deck.py: the deck rules, the default deck, and the listings
drawn from source."""
import filecmp
import os
import shutil
import subprocess
import tempfile
import unittest

from PIL import Image, ImageChops, ImageStat
from pygments.lexers import CLexer, CppLexer

from support import BUILD_HELPERS, PYTHON, ROOT, deck_common
from slidedeck.pe import PeImage
import facts

import render_deck
from render_deck import DeckError

BOOTX64 = os.path.join(ROOT, "src", "BOOTX64.cpp")
DECK = os.path.join(ROOT, "deck")
EFIVERSION = os.path.join(DECK, "listings", "efiversion.c")


def deck_text(count=47, extra=None):
    """A deck of COUNT plain slides with the listing notes in place; EXTRA
    maps a slide number to more lines for it."""
    extra = extra or {}
    lines = []
    for number in range(1, count + 1):
        lines.append("## Slide %d" % number)
        lines.append("- point")
        if number == 12:
            lines.append("> press 1: a listing")
        if number == 43:
            lines.append("> press 2: another")
        lines += extra.get(number, [])
    return "\n".join(lines) + "\n"


class DeckRules(unittest.TestCase):
    def render(self, text):
        return render_deck.render_slides(render_deck.parse_slides(text, "deck.txt"))

    def test_a_deck_that_keeps_the_rules_renders(self):
        pictures = self.render(deck_text())
        self.assertEqual(sorted(pictures), [deck_common.slide_name(n) for n in range(1, 48)])
        self.assertTrue(all(p.size == (640, 480) for p in pictures.values()))

    def test_a_deck_that_breaks_them_is_refused_with_the_place(self):
        cases = {
            "46 slides; the image shows exactly 47": deck_text(46),
            "48 slides; the image shows exactly 47": deck_text(48),
            'deck.txt:21: slide 11 .*"press 1".*slide 12': deck_text(extra={11: ["- press 1"]}),
            'slide 44 .*"press 2".*slide 43': deck_text(extra={44: ["> press 2 again"]}),
            'slide 12 .*must say "press 1"': deck_text().replace("> press 1: a listing", ""),
            r'deck.txt:9: slide 5 \("Slide 5"\) does not fit': deck_text(
                extra={5: ["- another point"] * 12}),
            "slide 7: the title .* too long": deck_text().replace(
                "## Slide 7\n", "## " + "Long title " * 6 + "\n"),
            'slide 7: the code line "x+" is too wide': deck_text(extra={7: ["| " + "x" * 80]}),
        }
        for message, text in cases.items():
            with self.subTest(message), self.assertRaisesRegex(DeckError, message):
                self.render(text)

    def test_long_bullets_wrap_within_the_margin(self):
        plain = self.render(deck_text())["brov_05"]
        wrapped = self.render(deck_text(extra={5: ["- " + " ".join(["word"] * 30)]}))["brov_05"]
        self.assertNotEqual(wrapped.tobytes(), plain.tobytes())
        margin = wrapped.crop((610, 70, 640, 440))
        self.assertEqual(margin.getcolors(), [(30 * 370, render_deck.PAPER)])


class DefaultDeck(unittest.TestCase):
    def test_renders_the_same_bytes_every_time(self):
        with tempfile.TemporaryDirectory() as folder:
            for run in ("first", "second"):
                result = subprocess.run([PYTHON, os.path.join(BUILD_HELPERS, "render_deck.py"),
                                         os.path.join(folder, run)],
                                        capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stderr)
            names = [n + ".bgra" for n in deck_common.picture_names()]
            names.append(deck_common.CONTACT_SHEET)
            self.assertEqual(sorted(os.listdir(os.path.join(folder, "first"))), sorted(names))
            same, different, _ = filecmp.cmpfiles(os.path.join(folder, "first"),
                                                  os.path.join(folder, "second"), names,
                                                  shallow=False)
            self.assertEqual(different, [])
            self.assertEqual(len(same), 50)


def edge_run(image, background, ink):
    """The mean length of the runs of pixels, along rows, that are neither
    BACKGROUND nor INK: the soft edges of the text. Text drawn at its size
    has edges of about one pixel; text enlarged has them as wide as the
    factor."""
    pixels = image.load()
    runs, run = [], 0
    for y in range(image.height):
        for x in range(image.width):
            pixel = pixels[x, y]
            if all(max(abs(a - b) for a, b in zip(pixel, colour)) > 24
                   for colour in (background, ink)):
                run += 1
            elif run:
                runs.append(run)
                run = 0
    return sum(runs) / len(runs)


class OtherSizes(unittest.TestCase):
    """At another slide size the 640x480 layout is scaled into the largest
    4:3 area, centred, the rest in the slide's background, with its text
    drawn at the new size."""

    @classmethod
    def setUpClass(cls):
        with open(os.path.join(DECK, "slides.txt"), encoding="utf-8") as f:
            cls.slides = render_deck.parse_slides(f.read())
        cls.base = render_deck.render_slides(cls.slides, numbers={1, 12})

    def test_slides_fill_the_centre_at_their_size(self):
        for size, area in (((1920, 1080), (240, 0, 1680, 1080)), ((1024, 768), (0, 0, 1024, 768))):
            pictures = render_deck.render_slides(self.slides, size, {1, 12})
            for name, background, ink in (("brov_01", render_deck.ACCENT, (255, 255, 255)),
                                          ("brov_12", render_deck.PAPER, render_deck.INK)):
                with self.subTest(size=size, slide=name):
                    picture = pictures[name]
                    self.assertEqual(picture.size, size)
                    for side in ((0, 0, area[0], size[1]), (area[2], 0, size[0], size[1])):
                        if side[2] > side[0]:
                            colours = picture.crop(side).getcolors()
                            self.assertEqual(colours, [((side[2] - side[0]) * size[1], background)])
                    # The centre, brought back to 640x480, is the slide as
                    # drawn at 640x480, give or take the text's shapes.
                    centre = picture.crop(area)
                    back = centre.resize((640, 480), Image.LANCZOS)
                    difference = ImageStat.Stat(ImageChops.difference(back, self.base[name]))
                    self.assertLess(max(difference.mean), 12)
                    text = (0, 200, area[2] - area[0], 300) if name == "brov_12" else None
                    if text:
                        self.assertLess(edge_run(centre.crop(text), background, ink), 1.8)

    def test_listings_are_drawn_at_the_scaled_font_sizes(self):
        base = render_deck.render_listings(EFIVERSION, BOOTX64)
        pictures = render_deck.render_listings(EFIVERSION, BOOTX64, (1920, 1080))
        with open(EFIVERSION, encoding="utf-8") as f:
            efiversion = f.read()
        with open(BOOTX64, encoding="utf-8") as f:
            blt = render_deck.extract_function(f.read(), "blt")
        sources = ((efiversion, CLexer()), (blt, CppLexer()))
        for name, size, (code, lexer) in zip(deck_common.LISTING_NAMES,
                                             ((1920, 875), (1920, 664)), sources):
            with self.subTest(listing=name):
                self.assertEqual(pictures[name].size, size)
                # The font is 2.25 times as large as at 640x480, the slide's
                # layout scale; at 1920 wide a line that wraps at 640 may fit.
                small = render_deck.layout_listing(code, lexer, base[name].size)[0]
                large = render_deck.layout_listing(code, lexer, size, 2.25)[0]
                self.assertAlmostEqual(large / small, 2.25, delta=0.15)


BLT_FIXTURE = """\
#include "x.h"
void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels,
         uint32_t width, uint32_t height);
static void blt_rows(int n) { n = 1; }
void myblt(int) {}

// blt() below draws a picture
void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels,
         uint32_t width, uint32_t height) {
    const char *brace = "}";   // a } in a comment
    char open = '{';
    /* } */
    if (width) {
        copy();
    }
}

void after() {}
"""


class BltListing(unittest.TestCase):
    def test_extracts_the_definition_whole(self):
        text = render_deck.extract_function(BLT_FIXTURE, "blt")
        self.assertTrue(text.startswith("void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop"))
        self.assertIn("const char *brace", text)
        self.assertTrue(text.endswith("        copy();\n    }\n}"))
        with self.assertRaisesRegex(DeckError, "no definition of blt"):
            render_deck.extract_function("void blt(int);\nvoid other() {}\n", "blt")

    def render_from(self, source_text):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "BOOTX64.cpp")
            with open(path, "w", encoding="utf-8") as f:
                f.write(source_text)
            pictures = render_deck.render_listings(EFIVERSION, path)
        return deck_common.bgra_bytes(pictures["a_043_graphic_image_blt_src"])

    def test_the_picture_follows_the_source_of_blt(self):
        with open(BOOTX64, encoding="utf-8") as f:
            source = f.read()
        blt = render_deck.extract_function(source, "blt")
        self.assertRegex(blt, r"^void blt\(")
        current = self.render_from(source)
        renamed = source.replace(blt, blt.replace("rows", "lines"))
        self.assertNotEqual(self.render_from(renamed), current)
        # Code outside blt does not show.
        self.assertEqual(self.render_from(source + "\nint unrelated() { return 0; }\n"), current)

    @unittest.skipUnless(os.environ.get("DECK_BUILT_PICTURES"),
                         "the build links a presenter's pictures, not the default deck")
    def test_the_built_picture_shows_the_current_blt(self):
        built = os.path.join(os.environ["DECK_BUILT_PICTURES"], "a_043_graphic_image_blt_src.bgra")
        with open(built, "rb") as f:
            stored = f.read()
        with open(BOOTX64, encoding="utf-8") as f:
            self.assertEqual(stored, self.render_from(f.read()),
                             "bgra/ holds the listing of an older blt(); rebuild")

    def test_whole_listings_fit_legibly(self):
        with open(EFIVERSION, encoding="utf-8") as f:
            size, _, dropped, cut = render_deck.layout_listing(f.read(), CLexer(), (640, 389))
        self.assertGreaterEqual(size, 14)
        self.assertFalse(dropped or cut, "efiversion.c no longer fits with its comments")
        with open(BOOTX64, encoding="utf-8") as f:
            blt = render_deck.extract_function(f.read(), "blt")
        size, _, _, cut = render_deck.layout_listing(blt, CppLexer(), (640, 295))
        self.assertEqual(cut, 0, "blt() has grown past what its listing can show")
        self.assertGreaterEqual(size, 10)

    def test_too_long_code_is_cut_and_marked(self):
        code = "".join("int line%d = %d;\n" % (n, n) for n in range(60))
        size, lines, _, cut = render_deck.layout_listing(code, CLexer(), (640, 295))
        self.assertEqual(size, 10)
        self.assertEqual(len(lines) - 1 + cut, 60)
        self.assertEqual(render_deck.line_text(lines[-1]), "... %d more lines" % cut)


def pe_header(path):
    """(machine, optional header magic, subsystem) of a PE image."""
    image = PeImage.from_file(path)
    return image.machine, image.magic, image.subsystem


class EfiversionProgram(unittest.TestCase):
    """The first listing is a real program: it builds into an EFI
    application with no library at all."""

    def test_compiles_and_links_as_an_efi_application(self):
        clang = os.environ.get("DECK_CLANG") or shutil.which("clang")
        lld_link = os.environ.get("DECK_LLD_LINK") or shutil.which("lld-link")
        with tempfile.TemporaryDirectory() as folder:
            obj = os.path.join(folder, "efiversion.obj")
            efi = os.path.join(folder, "efiversion.efi")
            for optimise in ("-O0", "-O2"):
                compiled = subprocess.run(
                    [clang, "-x", "c", "-std=c11", "--target=" + facts.MACHINE["x64"].target,
                     "-ffreestanding", "-mno-red-zone", "-Wall", "-Werror", optimise,
                     "-c", EFIVERSION, "-o", obj], capture_output=True, text=True)
                self.assertEqual(compiled.returncode, 0, compiled.stderr)
                # No C library: any call the compiler adds on its own fails here.
                linked = subprocess.run(
                    [lld_link, "/nologo", "/subsystem:efi_application", "/entry:efi_main",
                     "/nodefaultlib", "/out:" + efi, obj], capture_output=True, text=True)
                self.assertEqual(linked.returncode, 0, linked.stdout + linked.stderr)
                self.assertEqual(pe_header(efi), (0x8664, 0x20B, 10))


if __name__ == "__main__":
    unittest.main()
