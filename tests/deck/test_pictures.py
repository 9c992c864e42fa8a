"""slidedeck/pictures.py: counting a presenter's folder of pictures,
and what it refuses."""
import os
import tempfile
import unittest

import support  # noqa: F401  (puts slidedeck/ on the path)
from slidedeck import pictures


class CountSlides(unittest.TestCase):
    def folder_of(self, slides, extra=(), sizes=None, slide_size=pictures.SLIDE_SIZE):
        """A folder with slides numbered SLIDES, the listings and the files
        EXTRA; sparse files of the right size for slides of SLIDE_SIZE, or
        SIZES[name]."""
        folder = tempfile.mkdtemp(dir=self.temporary.name)
        names = [pictures.slide_name(n) for n in slides] + list(pictures.LISTING_NAMES)
        for name in names + list(extra):
            with open(os.path.join(folder, name + ".bgra"), "wb") as f:
                f.truncate((sizes or {}).get(name, pictures.picture_bytes(name, slide_size)))
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
        self.assertEqual(pictures.count_slides(folder, compression="lz4"), 999)
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "999 slides, but a deck has 1 to 250 "
                                    r"\(up to 999 with PICTURE_COMPRESSION=lz4\)"):
            pictures.count_slides(folder)
        open(os.path.join(folder, "brov_1000.bgra"), "wb").truncate(
            pictures.picture_bytes("brov_1000"))
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "1000 slides, but a deck has 1 to 999$"):
            pictures.count_slides(folder, compression="lz4")

    def test_other_slide_sizes(self):
        # Listings keep 389/480 and 295/480 of the height, halves rounded up.
        for size, heights in (((640, 480), (389, 295)), ((1920, 1080), (875, 664)),
                              ((320, 240), (195, 148)), ((7680, 4320), (3501, 2655))):
            self.assertEqual([s for _, s in pictures.listing_sizes(size)],
                             [(size[0], height) for height in heights])
        self.assertEqual(pictures.parse_size(" 1920x1080 "), (1920, 1080))
        for text in ("1920", "1920x1080x1", "0x0", "-320x240", "319x240", "7680x4321", "1e3x480"):
            with self.subTest(text), self.assertRaisesRegex(ValueError, "320x240 to 7680x4320"):
                pictures.parse_size(text)
        folder = self.folder_of([1, 2], slide_size=(1024, 768))
        self.assertEqual(pictures.count_slides(folder, (1024, 768)), 2)
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    r"brov_01.bgra: 3145728 bytes, but a 1920x1080 .*slides of "
                                    r"1920x1080; import-deck --size"):
            pictures.count_slides(folder, (1920, 1080))

    def test_missing_listing_is_named(self):
        folder = self.folder_of([1])
        os.remove(os.path.join(folder, "a_012_efiversion_src.bgra"))
        with self.assertRaisesRegex(pictures.PictureSetError,
                                    "a_012_efiversion_src.bgra: missing"):
            pictures.count_slides(folder)
