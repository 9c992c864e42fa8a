"""tools/slidedeck/pictures.py: counting a presenter's folder of pictures,
and what it refuses."""
import os
import tempfile
import unittest

from support import TOOLS  # noqa: F401  (puts tools/ on the path)
from slidedeck import pictures


class CountSlides(unittest.TestCase):
    def folder_of(self, slides, extra=(), sizes=None):
        """A folder with slides numbered SLIDES, the listings and the files
        EXTRA; sparse files of the right size, or SIZES[name]."""
        folder = tempfile.mkdtemp(dir=self.temporary.name)
        names = [pictures.slide_name(n) for n in slides] + list(pictures.LISTING_NAMES)
        for name in names + list(extra):
            with open(os.path.join(folder, name + ".bgra"), "wb") as f:
                f.truncate((sizes or {}).get(name, pictures.picture_bytes(name)))
        return folder

    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.temporary.cleanup()

    def test_counts_up_to_the_largest_deck(self):
        most = pictures.MAX_SLIDE_COUNT
        for slides in (1, 3, 99, 100, most):
            with self.subTest(slides=slides):
                folder = self.folder_of(range(1, slides + 1))
                open(os.path.join(folder, "contact-sheet.png"), "w").close()
                self.assertEqual(pictures.count_slides(folder), slides)
        self.assertEqual(pictures.slide_name(100), "brov_100")

    def test_refusals_name_the_file(self):
        cases = [
            ("gap", [1, 2, 4], (), None, "brov_03.bgra: missing, but brov_04.bgra follows"),
            ("no first slide", [], (), None, "brov_01.bgra: missing"),
            ("one digit", [1, 2], ("brov_3",), None, "brov_3.bgra: a name that fits no picture"),
            ("three digits under 100", [1], ("brov_002",), None, "brov_002.bgra: a name that"),
            ("stray", [1], ("notes",), None, "notes.bgra: a name that fits no picture"),
            ("wrong size", [1, 2], (), {"brov_02": 7}, "brov_02.bgra: 7 bytes, but a 640x480"),
            ("listing size", [1], (), {"a_043_graphic_image_blt_src": 0},
             "a_043_graphic_image_blt_src.bgra: 0 bytes, but a 640x295"),
            ("too many", range(1, pictures.MAX_SLIDE_COUNT + 2), (), None,
             "251 slides, but a deck has 1 to 250"),
        ]
        for what, slides, extra, sizes, message in cases:
            with self.subTest(what):
                folder = self.folder_of(slides, extra, sizes)
                with self.assertRaises(pictures.PictureSetError) as caught:
                    pictures.count_slides(folder)
                self.assertIn(message, str(caught.exception))

    def test_lz4_decks_go_up_to_999_slides(self):
        folder = self.folder_of(range(1, pictures.MAX_SLIDE_COUNT_LZ4 + 1))
        self.assertEqual(pictures.count_slides(folder, "lz4"), 999)
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "999 slides, but a deck has 1 to 250 "
                                    r"\(up to 999 with PICTURE_COMPRESSION=lz4\)"):
            pictures.count_slides(folder)
        open(os.path.join(folder, "brov_1000.bgra"), "wb").truncate(
            pictures.picture_bytes("brov_1000"))
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "1000 slides, but a deck has 1 to 999$"):
            pictures.count_slides(folder, "lz4")

    def test_missing_listing_is_named(self):
        folder = self.folder_of([1])
        os.remove(os.path.join(folder, "a_012_efiversion_src.bgra"))
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "a_012_efiversion_src.bgra: missing"):
            pictures.count_slides(folder)
