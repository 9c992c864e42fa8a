"""tools/import-deck, run as the presenter runs it."""
import os
import pty
import subprocess
import tempfile
import unittest

from PIL import Image

from support import (IMPORT_DECK, PYTHON, bgra, broken_pdf, deck_common, import_deck,
                     make_pdf, pixel, write)

RED, GREEN, BLUE = (255, 0, 0), (0, 255, 0), (0, 0, 255)
GREY, TEAL, ORANGE = (128, 128, 128), (0, 128, 128), (255, 160, 0)
SLIDE_BYTES = 640 * 480 * 4


class ImportCase(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory()
        self.folder = self.temporary.name
        self.output = os.path.join(self.folder, "deck")

    def tearDown(self):
        self.temporary.cleanup()

    def path(self, name):
        return os.path.join(self.folder, name)

    def run_ok(self, *args):
        result = import_deck(*args, "-o", self.output)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result

    def run_refused(self, *args):
        """Runs an import that must fail, and checks it left nothing behind."""
        before = set(os.listdir(self.folder))
        result = import_deck(*args, "-o", self.output)
        self.assertEqual(result.returncode, 1, result.stdout + result.stderr)
        self.assertEqual(set(os.listdir(self.folder)), before, "left files behind")
        return result.stderr

    def assert_colour(self, name, x, y, rgb, tolerance=0):
        got = pixel(self.output, name, x, y)
        for channel, (a, b) in enumerate(zip(got, bgra(rgb))):
            self.assertLessEqual(abs(a - b), tolerance,
                                 "%s (%d, %d) is %s, expected %s" % (name, x, y, got, bgra(rgb)))


class RoundTrip(ImportCase):
    def test_pdf_pages_keep_their_colours_places_and_order(self):
        # 400x300 points is 4:3: the page fills the slide, 1.6 pixels a point.
        pages = [(400, 300, colour, [(25, 50, 100, 60, RED)]) for colour in (GREEN, BLUE, GREY)]
        self.run_ok(write(self.path("talk.pdf"), make_pdf(pages)), "--background", "white")
        for number in range(1, 48):
            self.assertEqual(os.path.getsize(os.path.join(self.output, "brov_%02d.bgra" % number)),
                             SLIDE_BYTES)
        for number, colour in enumerate((GREEN, BLUE, GREY), 1):
            name = "brov_%02d" % number
            self.assert_colour(name, 600, 400, colour)
            # The red box spans x 40..200, y 80..176 on the slide.
            self.assert_colour(name, 120, 128, RED)
            self.assert_colour(name, 45, 85, RED)
            self.assert_colour(name, 35, 128, colour)
            self.assert_colour(name, 120, 182, colour)

    def test_wide_page_is_letterboxed_on_the_background(self):
        # 16:9 becomes 640x360, centred: bands of 60 rows above and below.
        pages = [(320, 180, GREEN, [(0, 0, 32, 18, RED)])]
        self.run_ok(write(self.path("wide.pdf"), make_pdf(pages)), "--background", "#0000ff")
        self.assert_colour("brov_01", 320, 30, BLUE)
        self.assert_colour("brov_01", 320, 450, BLUE)
        self.assert_colour("brov_01", 320, 240, GREEN)
        self.assert_colour("brov_01", 30, 80, RED)  # the page's corner, just below the band
        self.assert_colour("brov_01", 30, 56, BLUE)

    def test_folder_of_pictures_in_name_order(self):
        talk = self.path("talk")
        os.mkdir(talk)
        # slide10 must come after slide2; a JPEG is taken like a PNG.
        Image.new("RGB", (800, 600), RED).save(os.path.join(talk, "slide10.png"))
        Image.new("RGB", (320, 240), GREEN).save(os.path.join(talk, "slide2.jpg"), quality=95)
        Image.new("RGB", (1024, 768), BLUE).save(os.path.join(talk, "slide1.png"))
        # Portrait: pillarboxed; its transparent half shows the background.
        portrait = Image.new("RGBA", (300, 600), ORANGE + (255,))
        portrait.paste((0, 0, 0, 0), (0, 300, 300, 600))
        portrait.save(os.path.join(talk, "slide11.png"))
        self.run_ok(talk, "--background", "#008080")

        self.assert_colour("brov_01", 320, 240, BLUE)
        self.assert_colour("brov_02", 320, 240, GREEN, tolerance=3)
        self.assert_colour("brov_03", 320, 240, RED)
        self.assert_colour("brov_04", 320, 100, ORANGE)    # 240x480, from x 200
        self.assert_colour("brov_04", 320, 400, TEAL)      # transparent half
        self.assert_colour("brov_04", 100, 100, TEAL)      # beside it
        self.assert_colour("brov_04", 205, 100, ORANGE)

    def test_listings_fill_their_own_sizes(self):
        exact = Image.new("RGB", (640, 389), GREY)
        exact.putpixel((7, 5), (10, 20, 30))
        exact.save(self.path("one.png"))
        pdf = make_pdf([(640, 295, TEAL, [(0, 0, 64, 59, ORANGE)])])
        self.run_ok(write(self.path("talk.pdf"), make_pdf([(400, 300, GREY, [])])),
                    "--listing1", self.path("one.png"),
                    "--listing2", write(self.path("two.pdf"), pdf))
        self.assertEqual(os.path.getsize(os.path.join(self.output, "a_012_efiversion_src.bgra")),
                         640 * 389 * 4)
        self.assertEqual(os.path.getsize(os.path.join(self.output,
                                                      "a_043_graphic_image_blt_src.bgra")),
                         640 * 295 * 4)
        # A picture of the right size passes unchanged, byte for byte.
        self.assert_colour("a_012_efiversion_src", 7, 5, (10, 20, 30))
        self.assert_colour("a_012_efiversion_src", 8, 5, GREY)
        self.assert_colour("a_043_graphic_image_blt_src", 30, 30, ORANGE)
        self.assert_colour("a_043_graphic_image_blt_src", 300, 200, TEAL)

    def test_contact_sheet_shows_the_set(self):
        self.run_ok(write(self.path("talk.pdf"), make_pdf([(400, 300, RED, [])])))
        sheet = Image.open(os.path.join(self.output, deck_common.CONTACT_SHEET)).convert("RGB")
        # First thumbnail (160x120 at 8, 28) is the red page; the second a blank slide.
        self.assertEqual(sheet.getpixel((88, 88)), RED)
        self.assertEqual(sheet.getpixel((88 + 168, 88)), (0, 0, 0))

    def test_an_earlier_set_is_replaced(self):
        self.run_ok(write(self.path("red.pdf"), make_pdf([(400, 300, RED, [])])))
        self.run_ok(write(self.path("green.pdf"), make_pdf([(400, 300, GREEN, [])])))
        self.assert_colour("brov_01", 320, 240, GREEN)
        self.assertEqual(sorted(os.listdir(self.folder)), ["deck", "green.pdf", "red.pdf"])


class SlideCount(ImportCase):
    def test_short_talk_is_padded_with_blank_slides(self):
        pages = [(400, 300, RED, [])] * 3
        result = self.run_ok(write(self.path("talk.pdf"), make_pdf(pages)),
                             "--background", "#808080")
        self.assertIn("added 44 blank slides", result.stdout)
        self.assert_colour("brov_03", 320, 240, RED)
        blank = bytes(bgra(GREY)) * (640 * 480)
        for number in range(4, 48):
            with open(os.path.join(self.output, "brov_%02d.bgra" % number), "rb") as f:
                self.assertEqual(f.read(), blank, "slide %d is not blank" % number)

    def test_full_talk_is_not_padded(self):
        pages = [(400, 300, (n * 5, 0, 0), []) for n in range(47)]
        result = self.run_ok(write(self.path("talk.pdf"), make_pdf(pages)))
        self.assertNotIn("blank slides", result.stdout)
        self.assert_colour("brov_47", 320, 240, (230, 0, 0))

    def test_longer_talk_is_refused_with_its_page_count(self):
        talk = write(self.path("talk.pdf"), make_pdf([(400, 300, RED, [])] * 48))
        message = self.run_refused(talk)
        self.assertIn("talk.pdf", message)
        self.assertIn("48 pages", message)
        self.assertIn("47", message)

    def test_longer_folder_is_refused(self):
        talk = self.path("talk")
        os.mkdir(talk)
        for number in range(50):
            Image.new("RGB", (4, 3), RED).save(os.path.join(talk, "%d.png" % number))
        self.assertIn("50 pages", self.run_refused(talk))


class BadInput(ImportCase):
    def test_missing_talk(self):
        self.assertIn("nowhere.pdf: no such file", self.run_refused(self.path("nowhere.pdf")))

    def test_talk_that_is_not_a_pdf(self):
        talk = write(self.path("notes.txt"), b"just some text\n")
        self.assertIn("notes.txt: not a PDF", self.run_refused(talk))

    def test_pdf_that_cannot_be_read(self):
        talk = write(self.path("cut.pdf"), make_pdf([(400, 300, RED, [])] * 2)[:150])
        self.assertIn("cut.pdf: not a readable PDF", self.run_refused(talk))

    def test_unreadable_page_is_named(self):
        talk = write(self.path("talk.pdf"), broken_pdf(4, 3))
        message = self.run_refused(talk)
        self.assertIn("talk.pdf: page 3 is unreadable", message)

    def test_folder_with_a_file_that_is_not_a_picture(self):
        talk = self.path("talk")
        os.mkdir(talk)
        Image.new("RGB", (4, 3), RED).save(os.path.join(talk, "1.png"))
        write(os.path.join(talk, "2.txt"), b"not a picture")
        self.assertIn("2.txt: not a PNG or JPEG picture", self.run_refused(talk))

    def test_picture_of_another_format(self):
        talk = self.path("talk")
        os.mkdir(talk)
        Image.new("RGB", (4, 3), RED).save(os.path.join(talk, "1.gif"))
        self.assertIn("1.gif: a GIF picture; only PNG and JPEG", self.run_refused(talk))

    def test_truncated_picture(self):
        talk = self.path("talk")
        os.mkdir(talk)
        Image.new("RGB", (400, 300), RED).save(os.path.join(talk, "1.jpg"))
        with open(os.path.join(talk, "1.jpg"), "rb") as f:
            whole = f.read()
        write(os.path.join(talk, "1.jpg"), whole[:len(whole) // 2])
        self.assertIn("1.jpg: unreadable picture", self.run_refused(talk))

    def test_empty_folder(self):
        os.mkdir(self.path("talk"))
        self.assertIn("no PNG or JPEG pictures", self.run_refused(self.path("talk")))

    def test_missing_listing(self):
        talk = write(self.path("talk.pdf"), make_pdf([(400, 300, RED, [])]))
        message = self.run_refused(talk, "--listing2", self.path("gone.png"))
        self.assertIn("gone.png: no such file", message)

    def test_output_folder_of_other_files_is_left_alone(self):
        os.mkdir(self.output)
        write(os.path.join(self.output, "thesis.tex"), b"precious")
        talk = write(self.path("talk.pdf"), make_pdf([(400, 300, RED, [])]))
        result = import_deck(talk, "-o", self.output)
        self.assertEqual(result.returncode, 1)
        self.assertIn("thesis.tex", result.stderr)
        self.assertEqual(os.listdir(self.output), ["thesis.tex"])

    def test_failed_import_keeps_the_earlier_set(self):
        self.run_ok(write(self.path("good.pdf"), make_pdf([(400, 300, GREEN, [])])))
        self.run_refused(write(self.path("bad.pdf"), broken_pdf(2, 2)))
        self.assert_colour("brov_01", 320, 240, GREEN)


class Progress(ImportCase):
    def import_on(self, stdout):
        talk = write(self.path("talk.pdf"), make_pdf([(400, 300, RED, [])] * 3))
        return subprocess.run([PYTHON, IMPORT_DECK, talk, "-o", self.output],
                              stdout=stdout, stderr=subprocess.PIPE)

    def test_progress_on_a_terminal(self):
        leader, follower = pty.openpty()
        try:
            self.assertEqual(self.import_on(follower).returncode, 0)
            shown = os.read(leader, 65536).decode()
        finally:
            os.close(leader)
            os.close(follower)
        for page in (1, 2, 3):
            self.assertIn("\rconverting page %d/3" % page, shown)

    def test_no_progress_into_a_pipe(self):
        result = self.import_on(subprocess.PIPE)
        self.assertEqual(result.returncode, 0)
        self.assertNotIn(b"\r", result.stdout)


if __name__ == "__main__":
    unittest.main()
