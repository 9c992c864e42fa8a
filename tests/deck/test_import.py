"""tools/import-deck, run as the presenter runs it."""
import os
import pty
import shutil
import stat
import subprocess
import tempfile
import unittest

from PIL import Image, ImageOps

from support import (IMPORT_DECK, PYTHON, bgra, deck_common, import_deck, make_pdf, picture,
                     pixel, poppler, write)
from slidedeck.pictures import count_slides  # noqa: E402  (support puts slidedeck/ on the path)

RED, GREEN, BLUE = (255, 0, 0), (0, 255, 0), (0, 0, 255)
GREY, TEAL, ORANGE = (128, 128, 128), (0, 128, 128), (255, 160, 0)
PAGE = (400, 300, RED, [])  # 4:3 points: fills a slide at 1.6 pixels a point


class ImportCase(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory()
        self.folder = self.temporary.name
        self.output = os.path.join(self.folder, "deck")

    def tearDown(self):
        self.temporary.cleanup()

    def path(self, name):
        return os.path.join(self.folder, name)

    def pdf(self, pages, name="talk.pdf", **options):
        return write(self.path(name), make_pdf(pages, **options))

    def pictures(self, files):
        """A folder of pictures: file name -> (size, colour)."""
        folder = self.path("talk")
        os.makedirs(folder, exist_ok=True)
        for name, (size, colour) in files.items():
            Image.new("RGB", size, colour).save(os.path.join(folder, name))
        return folder

    def run_ok(self, *args, **options):
        result = import_deck(*args, "-o", self.output, **options)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def run_refused(self, *args, **options):
        """Runs an import that must fail, and checks it left nothing behind."""
        before = set(os.listdir(self.folder))
        result = import_deck(*args, "-o", self.output, **options)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(set(os.listdir(self.folder)), before, "left files behind")
        return result.stderr

    def assert_colour(self, name, x, y, rgb, tolerance=0, size=deck_common.SLIDE_SIZE):
        got = pixel(self.output, name, x, y, size)
        self.assertTrue(all(abs(a - b) <= tolerance for a, b in zip(got, bgra(rgb))),
                        "%s (%d, %d) is %s, expected %s" % (name, x, y, got, bgra(rgb)))


class RoundTrip(ImportCase):
    def test_pdf_pages_keep_their_colours_places_and_order(self):
        pages = [(400, 300, colour, [(25, 50, 100, 60, RED)]) for colour in (GREEN, BLUE, GREY)]
        self.run_ok(self.pdf(pages), "--background", "white")
        for name in deck_common.picture_names(3):
            width, height = deck_common.picture_size(name)
            self.assertEqual(os.path.getsize(os.path.join(self.output, name + ".bgra")),
                             width * height * 4)
        for number, colour in enumerate((GREEN, BLUE, GREY), 1):
            name = "brov_%02d" % number
            self.assert_colour(name, 600, 400, colour)
            # The red box spans x 40..200, y 80..176 on the slide.
            for x, y in ((120, 128), (45, 85), (195, 171)):
                self.assert_colour(name, x, y, RED)
            self.assert_colour(name, 35, 128, colour)
            self.assert_colour(name, 120, 182, colour)

    def test_wide_page_is_letterboxed_on_the_background(self):
        # 16:9 becomes 640x360, centred: bands of 60 rows above and below.
        self.run_ok(self.pdf([(320, 180, GREEN, [(0, 0, 32, 18, RED)])]), "--background", "#00f")
        self.assert_colour("brov_01", 320, 30, BLUE)
        self.assert_colour("brov_01", 320, 450, BLUE)
        self.assert_colour("brov_01", 320, 240, GREEN)
        self.assert_colour("brov_01", 30, 80, RED)  # the page's corner, just below the band
        self.assert_colour("brov_01", 30, 56, BLUE)

    def test_folder_of_pictures_in_name_order(self):
        # slide10 comes after slide2; a JPEG is taken like a PNG.
        talk = self.pictures({"slide10.png": ((800, 600), RED),
                              "slide2.jpg": ((320, 240), GREEN),
                              "slide1.png": ((1024, 768), BLUE)})
        # Portrait: pillarboxed; its transparent half shows the background.
        portrait = Image.new("RGBA", (300, 600), ORANGE + (255,))
        portrait.paste((0, 0, 0, 0), (0, 300, 300, 600))
        portrait.save(os.path.join(talk, "slide11.png"))
        self.run_ok(talk, "--background", "#008080")
        self.assert_colour("brov_01", 320, 240, BLUE)
        self.assert_colour("brov_02", 320, 240, GREEN, tolerance=3)
        self.assert_colour("brov_03", 320, 240, RED)
        self.assert_colour("brov_04", 205, 100, ORANGE)    # 240x480, from x 200
        self.assert_colour("brov_04", 100, 100, TEAL)      # beside it
        self.assert_colour("brov_04", 320, 400, TEAL)      # its transparent half

    def test_listings_and_contact_sheet(self):
        exact = Image.new("RGB", (640, 389), GREY)
        exact.putpixel((7, 5), (10, 20, 30))
        exact.save(self.path("one.png"))
        two = self.pdf([(640, 295, TEAL, [(0, 0, 64, 59, ORANGE)])], "two.pdf")
        self.run_ok(self.pdf([PAGE]), "--listing1", self.path("one.png"), "--listing2", two)
        # A picture of the right size passes unchanged, byte for byte.
        self.assert_colour("a_012_efiversion_src", 7, 5, (10, 20, 30))
        self.assert_colour("a_012_efiversion_src", 8, 5, GREY)
        self.assert_colour("a_043_graphic_image_blt_src", 30, 30, ORANGE)
        self.assert_colour("a_043_graphic_image_blt_src", 300, 200, TEAL)
        sheet = Image.open(os.path.join(self.output, deck_common.CONTACT_SHEET)).convert("RGB")
        # The first thumbnail (160x120 at 8, 28) is the red page, and the
        # one slide; the sheet's own grey follows.
        self.assertEqual(sheet.getpixel((88, 88)), RED)
        self.assertEqual(sheet.getpixel((88 + 168, 88)), (64, 64, 64))


class OtherSize(ImportCase):
    def test_pages_are_rendered_by_poppler_at_the_size_they_take(self):
        text = [(20, 20, 14, "Sharp text at 1920x1080"), (20, 120, 6, "and small print")]
        wide = (320, 180, GREEN, [(32, 90, 64, 36, RED)], text)
        # Pages of two sizes and a 4:3 page stored upright and turned, so
        # four runs of pdftoppm.
        talk = self.pdf([wide, (400, 300, GREY, [], text), (300, 400, TEAL, [], text), wide],
                        turned_pages=(3,))
        listing = self.pdf([(400, 300, ORANGE, [])], "listing.pdf")
        size = (1920, 1080)
        self.run_ok(talk, "--size", "1920x1080", "--background", "#00f", "--listing1", listing)
        self.assertEqual(count_slides(self.output, size), 4)
        # Each page is poppler's own rendering at the size it takes, centred.
        for page, width in ((1, 1920), (2, 1440), (3, 1440), (4, 1920)):
            with self.subTest(page=page):
                slide = picture(self.output, deck_common.slide_name(page), size)
                left = (1920 - width) // 2
                expected = poppler(talk, page, width, self.folder)
                self.assertEqual(expected.size, (width, 1080))
                self.assertTrue(slide.crop((left, 0, left + width, 1080)).tobytes()
                                == expected.tobytes(), "page %d differs from poppler's" % page)
                for side in ((0, 0, left, 1080), (left + width, 0, 1920, 1080)):
                    if left:
                        self.assertEqual(slide.crop(side).getcolors(), [(left * 1080, BLUE)])
        # The listing, 1920x875, holds the 4:3 page at 1167x875.
        for x, colour in ((376, ORANGE), (1542, ORANGE), (375, BLUE), (1543, BLUE)):
            self.assert_colour("a_012_efiversion_src", x, 437, colour, size=size)
        self.assert_colour("a_043_graphic_image_blt_src", 960, 663, BLUE, size=size)
        # The sheet's thumbnails keep the slides' shape: 213x120 at (8, 28).
        sheet = Image.open(os.path.join(self.output, deck_common.CONTACT_SHEET)).convert("RGB")
        self.assertEqual(sheet.getpixel((8 + 212, 28 + 119)), GREEN)
        self.assertEqual(sheet.getpixel((8 + 214, 28 + 60)), (64, 64, 64))
        self.assertEqual(sheet.getpixel((8 + 221 + 106, 28 + 60)), GREY)
        # A set of another size is replaced by an import at 640x480.
        self.run_ok(self.pdf([PAGE], "small.pdf"))
        self.assert_colour("brov_01", 320, 240, RED)

    def test_a_bad_size_is_refused(self):
        result = import_deck(self.pdf([PAGE]), "-o", self.output, "--size", "1920x100")
        self.assertEqual(result.returncode, 2)
        self.assertIn("--size: 1920x100 is out of range; slides are 320x240 to 7680x4320",
                      result.stderr)


class SeveralSizes(ImportCase):
    def test_two_sizes_make_a_set_each_rendered_at_its_size(self):
        # A 16:9 page with text: each set holds poppler's own rendering of
        # it at the size it takes there, not one set scaled into another.
        page = (320, 180, GREEN, [(32, 90, 64, 36, RED)], [(20, 20, 14, "Sharp at each size")])
        talk = self.pdf([page, (320, 180, BLUE, [])])
        result = self.run_ok(talk, "--size", "1280x720,640x480")
        self.assertIn("sizes taken: 1280x720, 640x480", result.stdout)
        self.assertEqual(sorted(os.listdir(self.output)),
                         ["1280x720", "640x480", deck_common.CONTACT_SHEET])
        for size, top in (((1280, 720), 0), ((640, 480), 60)):
            with self.subTest(size=size):
                folder = os.path.join(self.output, "%dx%d" % size)
                self.assertEqual(count_slides(folder, size), 2)
                self.assertEqual([n for n in os.listdir(folder) if not n.endswith(".bgra")], [])
                slide = picture(folder, "brov_01", size)
                expected = poppler(talk, 1, size[0], self.folder)
                self.assertTrue(slide.crop((0, top, size[0], top + expected.height)).tobytes()
                                == expected.tobytes(), "%dx%d differs from poppler's" % size)
        with Image.open(os.path.join(self.output, deck_common.CONTACT_SHEET)) as sheet:
            self.assertEqual(sheet.width, 8 + 8 * (213 + 8))

    def test_a_bad_list_is_refused_naming_the_entry(self):
        talk = self.pdf([PAGE])
        before = set(os.listdir(self.folder))
        for sizes, problem in (("1280x800,800by600", "'800by600' is not a size"),
                               ("1280x800,1280x800", "1280x800 is given twice"),
                               ("1280x800,,800x600", "an empty entry"),
                               ("1280x800,100x100", "100x100 is out of range")):
            with self.subTest(sizes=sizes):
                result = import_deck(talk, "-o", self.output, "--size", sizes)
                self.assertEqual(result.returncode, 2)
                self.assertIn(problem, result.stderr)
                self.assertEqual(set(os.listdir(self.folder)), before)

    def test_auto_stops_at_the_budget_and_keeps_the_first_size(self):
        result = self.run_ok(self.pdf([PAGE]), "--size", "auto", "--budget", "0.001")
        self.assertIn("sizes taken: 1920x1080\n", result.stdout)
        self.assertIn("sizes left out for the budget: 1280x800, 1920x1200, 1366x768, "
                      "1024x768, 1280x720, 2560x1440, 2560x1600, 3840x2160", result.stdout)
        self.assertEqual(sorted(os.listdir(self.output)),
                         ["1920x1080", deck_common.CONTACT_SHEET])
        self.assertEqual(count_slides(os.path.join(self.output, "1920x1080"), (1920, 1080)), 1)


class PictureModes(ImportCase):
    def test_every_mode_a_png_or_jpeg_comes_in_keeps_its_colours(self):
        talk = self.pictures({})
        # 16 bits of mid-grey: clipping it to 8 bits would give white.
        Image.new("I;16", (40, 30), 0x8080).save(os.path.join(talk, "1.png"))
        # Grey with alpha, half of it transparent.
        grey = Image.new("LA", (40, 30), (200, 255))
        grey.paste((0, 0), (0, 15, 40, 30))
        grey.save(os.path.join(talk, "2.png"))
        # A palette whose second entry is transparent.
        palette = Image.new("P", (40, 30), 0)
        palette.putpalette([255, 160, 0, 0, 255, 0] + [0] * 762)
        palette.paste(1, (0, 15, 40, 30))
        palette.save(os.path.join(talk, "3.png"), transparency=1)
        Image.new("CMYK", (40, 30), (0, 255, 255, 0)).save(os.path.join(talk, "4.jpg"))
        # A phone photo stored sideways: EXIF orientation 6 turns it a
        # quarter clockwise, so its blue left half comes out on top.
        photo = Image.new("RGB", (60, 30), RED)
        photo.paste(BLUE, (0, 0, 30, 30))
        exif = Image.Exif()
        exif[0x0112] = 6
        photo.save(os.path.join(talk, "5.jpg"), exif=exif.tobytes(), quality=95)

        self.run_ok(talk, "--background", "#008080")
        self.assert_colour("brov_01", 320, 240, GREY)
        self.assert_colour("brov_02", 320, 100, (200, 200, 200))
        self.assert_colour("brov_02", 320, 400, TEAL)
        self.assert_colour("brov_03", 320, 100, ORANGE)
        self.assert_colour("brov_03", 320, 400, TEAL)
        self.assert_colour("brov_04", 320, 240, RED, tolerance=3)
        self.assert_colour("brov_05", 320, 100, BLUE, tolerance=3)
        self.assert_colour("brov_05", 320, 400, RED, tolerance=3)
        self.assert_colour("brov_05", 100, 240, TEAL)  # upright: 240 wide, pillarboxed


class PdfWarnings(ImportCase):
    def fake_pdftoppm(self, script):
        """A folder holding a pdftoppm that runs SCRIPT around the real one,
        and the environment that puts it first on the PATH."""
        bin_folder = self.path("bin")
        os.makedirs(bin_folder)
        fake = write(os.path.join(bin_folder, "pdftoppm"),
                     ("#!/bin/sh\n" + script % shutil.which("pdftoppm")).encode())
        os.chmod(fake, os.stat(fake).st_mode | stat.S_IXUSR)
        return {"env": dict(os.environ, PATH=bin_folder + os.pathsep + os.environ["PATH"])}

    def test_a_page_poppler_complains_about_is_kept_and_named(self):
        result = self.run_ok(self.pdf([PAGE] * 4, unreadable_page=3))
        self.assertRegex(result.stderr, "talk.pdf: page 3: Syntax Error")
        self.assertNotRegex(result.stderr, "page [124]:")
        for name in ("brov_01", "brov_02", "brov_04"):
            self.assert_colour(name, 320, 240, RED)

    def test_a_failed_run_or_a_missing_page_refuses_the_talk(self):
        talk = self.pdf([PAGE] * 4)
        failing = self.fake_pdftoppm('%s "$@"; exit 1\n')
        self.assertIn("talk.pdf: page 5 is unreadable (pdftoppm exited with status 1)",
                      self.run_refused(talk, **failing))
        shutil.rmtree(self.path("bin"))
        short = self.fake_pdftoppm('%s -l 2 "$@"\n')
        self.assertIn("talk.pdf: page 3 is unreadable (pdftoppm rendered 2 of 4 pages)",
                      self.run_refused(talk, **short))

    def test_a_file_name_is_never_taken_for_an_option(self):
        self.pdf([PAGE], "-q")  # an option of pdfinfo and pdftoppm
        result = import_deck("-o", "deck", "--", "-q", cwd=self.folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assert_colour("brov_01", 320, 240, RED)


class SlideCount(ImportCase):
    def test_short_talk_gives_as_many_slides_as_pages(self):
        result = self.run_ok(self.pdf([PAGE] * 3), "--background", "#808080")
        self.assertNotIn("blank slides", result.stdout)
        self.assert_colour("brov_03", 320, 240, RED)
        self.assertEqual(sorted(n for n in os.listdir(self.output) if n.startswith("brov_")),
                         ["brov_01.bgra", "brov_02.bgra", "brov_03.bgra"])

    def test_talk_longer_than_the_default_deck_is_taken_whole(self):
        colours = [(n, 255 - n, 7) for n in range(120)]
        talk = self.pictures({"%d.png" % n: ((4, 3), colour) for n, colour in enumerate(colours)})
        result = self.run_ok(talk)
        self.assertIn("120 slides", result.stdout)
        for number in (1, 99, 100, 120):
            self.assert_colour(deck_common.slide_name(number), 320, 240, colours[number - 1])
        self.assertEqual(deck_common.slide_name(100), "brov_100")
        self.assertFalse(os.path.exists(os.path.join(self.output, "brov_121.bgra")))

    def test_full_talk_is_not_padded(self):
        result = self.run_ok(self.pdf([(400, 300, (n * 5, 0, 0), []) for n in range(47)]))
        self.assertNotIn("blank slides", result.stdout)
        self.assert_colour("brov_47", 320, 240, (230, 0, 0))

    def test_longer_talk_is_refused_with_its_page_count(self):
        message = self.run_refused(self.pdf([PAGE] * (deck_common.MAX_SLIDE_COUNT + 1)))
        self.assertRegex(message, "talk.pdf: 251 pages.* at most 250")
        many = self.pictures({"%d.png" % n: ((4, 3), RED)
                                 for n in range(deck_common.MAX_SLIDE_COUNT + 3)})
        self.assertRegex(self.run_refused(many), "talk: 253 pages.* at most 250.*leave out 3")


class BadInput(ImportCase):
    def test_each_bad_input_is_named_and_leaves_nothing(self):
        def truncated_jpeg():
            folder = self.pictures({"1.jpg": ((400, 300), RED)})
            with open(os.path.join(folder, "1.jpg"), "r+b") as f:
                f.truncate(300)
            return [folder]

        def folder_with(name, data):
            folder = self.pictures({})
            write(os.path.join(folder, name), data)
            return [folder]

        cases = {
            "nowhere.pdf: no such file": lambda: [self.path("nowhere.pdf")],
            "notes.txt: not a PDF": lambda: [write(self.path("notes.txt"), b"text\n")],
            "cut.pdf: not a readable PDF": lambda: [
                write(self.path("cut.pdf"), make_pdf([PAGE] * 2)[:150])],
            "2.txt: not a PNG or JPEG picture": lambda: folder_with("2.txt", b"no picture"),
            # A stray file is found before the pictures are counted.
            "zz.txt: not a PNG or JPEG picture": lambda: [
                write(os.path.join(self.pictures({"%d.png" % n: ((4, 3), RED) for n in
                                                  range(deck_common.MAX_SLIDE_COUNT)}), "zz.txt"),
                      b"notes") and self.path("talk")],
            "1.gif: a GIF picture; only PNG and JPEG": lambda: [
                self.pictures({"1.gif": ((4, 3), RED)})],
            "1.jpg: unreadable picture": truncated_jpeg,
            "talk: no PNG or JPEG pictures": lambda: folder_with(".hidden", b""),
            "gone.png: no such file": lambda: [self.pdf([PAGE]), "--listing2",
                                               self.path("gone.png")],
        }
        for message, arguments in cases.items():
            with self.subTest(message), tempfile.TemporaryDirectory() as folder:
                self.folder, self.output = folder, os.path.join(folder, "deck")
                self.assertIn(message, self.run_refused(*arguments()))

    def test_output_folder_of_other_files_is_left_alone(self):
        write(os.path.join(self.pictures({}), "thesis.tex"), b"precious")
        message = import_deck(self.pdf([PAGE]), "-o", self.path("talk")).stderr
        self.assertIn("thesis.tex", message)
        self.assertEqual(os.listdir(self.path("talk")), ["thesis.tex"])

    def test_a_failed_import_keeps_the_earlier_set_and_a_good_one_replaces_it(self):
        self.run_ok(self.pdf([(400, 300, GREEN, [])], "green.pdf"))
        self.run_refused(write(self.path("bad.pdf"), make_pdf([PAGE] * 2)[:150]))
        self.assert_colour("brov_01", 320, 240, GREEN)
        self.run_ok(self.pdf([(400, 300, BLUE, [])], "blue.pdf"))
        self.assert_colour("brov_01", 320, 240, BLUE)
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["bad.pdf", "blue.pdf", "deck", "green.pdf"])


class Progress(ImportCase):
    def import_on(self, stdout):
        return subprocess.run([PYTHON, IMPORT_DECK, self.pdf([PAGE] * 3), "-o", self.output],
                              stdout=stdout, stderr=subprocess.PIPE)

    def test_progress_on_a_terminal_only(self):
        leader, follower = pty.openpty()
        try:
            self.assertEqual(self.import_on(follower).returncode, 0)
            shown = os.read(leader, 65536).decode()
        finally:
            os.close(leader)
            os.close(follower)
        for page in (1, 2, 3):
            self.assertIn("\rconverting page %d/3" % page, shown)
        self.assertNotIn(b"\r", self.import_on(subprocess.PIPE).stdout)


if __name__ == "__main__":
    unittest.main()
