"""tools/render_deck.py: the deck rules, the default deck, and the listings
drawn from source."""
import os
import shutil
import struct
import subprocess
import tempfile
import unittest

from pygments.lexers import CLexer, CppLexer

from support import PYTHON, ROOT, TOOLS, deck_common

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

    def test_slide_count_must_be_47(self):
        for count in (46, 48):
            with self.subTest(count=count):
                with self.assertRaisesRegex(DeckError, "%d slides.*exactly 47" % count):
                    self.render(deck_text(count))

    def test_listing_notes_belong_to_slides_12_and_43(self):
        with self.assertRaisesRegex(DeckError, 'deck.txt:\\d+: slide 11 .*"press 1"'):
            self.render(deck_text(extra={11: ["- press 1 too early"]}))
        with self.assertRaisesRegex(DeckError, 'slide 44 .*"press 2".*slide 43'):
            self.render(deck_text(extra={44: ["> press 2 again"]}))
        with self.assertRaisesRegex(DeckError, 'slide 12 .*must say "press 1"'):
            self.render(deck_text().replace("> press 1: a listing", "> a listing"))

    def test_too_much_on_a_slide_is_refused_with_its_line(self):
        crowded = {5: ["- another point"] * 12}
        with self.assertRaisesRegex(DeckError, r'deck.txt:9: slide 5 \("Slide 5"\) does not fit'):
            self.render(deck_text(extra=crowded))

    def test_long_bullets_wrap_instead_of_overflowing(self):
        words = {5: ["- " + " ".join(["word"] * 30)]}
        plain, wrapped = self.render(deck_text()), self.render(deck_text(extra=words))
        # The wrapped text is drawn below the first point, within the margins.
        picture = wrapped["brov_05"]
        self.assertNotEqual(picture.tobytes(), plain["brov_05"].tobytes())
        paper = picture.getpixel((630, 200))
        self.assertTrue(all(picture.getpixel((x, y)) == paper
                            for x in range(610, 640) for y in range(70, 440)),
                        "text runs into the right margin")

    def test_overlong_title_and_code_are_refused(self):
        with self.assertRaisesRegex(DeckError, "title .* too long"):
            self.render(deck_text().replace("## Slide 7\n", "## " + "Long title " * 6 + "\n"))
        with self.assertRaisesRegex(DeckError, "code line .* too wide"):
            self.render(deck_text(extra={7: ["| " + "x" * 80]}))


class DefaultDeck(unittest.TestCase):
    def test_renders_the_same_bytes_every_time(self):
        with tempfile.TemporaryDirectory() as folder:
            for run in ("first", "second"):
                result = subprocess.run([PYTHON, os.path.join(TOOLS, "render_deck.py"),
                                         os.path.join(folder, run)],
                                        capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stderr)
            names = sorted(os.listdir(os.path.join(folder, "first")))
            self.assertEqual(names, sorted([n + ".bgra" for n in deck_common.picture_names()]
                                           + [deck_common.CONTACT_SHEET]))
            for name in names:
                with open(os.path.join(folder, "first", name), "rb") as a, \
                        open(os.path.join(folder, "second", name), "rb") as b:
                    self.assertEqual(a.read(), b.read(), name)
            for name in deck_common.picture_names():
                width, height = deck_common.picture_size(name)
                self.assertEqual(os.path.getsize(os.path.join(folder, "first", name + ".bgra")),
                                 width * height * 4, name)


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
        self.assertNotIn("after", text)

    def test_a_missing_function_is_an_error(self):
        with self.assertRaisesRegex(DeckError, "no definition of blt"):
            render_deck.extract_function("void blt(int);\nvoid other() {}\n", "blt")

    def test_finds_blt_in_the_viewer_source(self):
        with open(BOOTX64, encoding="utf-8") as f:
            source = f.read()
        text = render_deck.extract_function(source, "blt")
        self.assertIn(text, source)
        self.assertRegex(text, r"^void blt\(")
        self.assertEqual(text.count("{"), text.count("}"))

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
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[pe:pe + 4] == b"PE\0\0"
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    magic, = struct.unpack_from("<H", data, pe + 24)
    subsystem, = struct.unpack_from("<H", data, pe + 24 + 68)
    return machine, magic, subsystem


class EfiversionProgram(unittest.TestCase):
    """The first listing is a real program: it builds into an EFI
    application with no library at all."""

    def test_compiles_and_links_as_an_efi_application(self):
        clang = os.environ.get("DECK_CLANG") or shutil.which("clang")
        lld_link = os.environ.get("DECK_LLD_LINK") or shutil.which("lld-link")
        with tempfile.TemporaryDirectory() as folder:
            obj, efi = os.path.join(folder, "efiversion.obj"), os.path.join(folder, "efiversion.efi")
            for optimise in ("-O0", "-O2"):
                compiled = subprocess.run(
                    [clang, "-x", "c", "-std=c11", "--target=x86_64-unknown-windows",
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
