"""tools/deck_common.py: what both tools rely on for every picture."""
import os
import tempfile
import unittest
from unittest import mock

from PIL import Image

from support import deck_common


def plain_set(colour):
    return {name: Image.new("RGB", deck_common.picture_size(name), colour)
            for name in deck_common.picture_names()}


class PictureSet(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory()
        self.parent = self.temporary.name
        self.folder = os.path.join(self.parent, "set")

    def tearDown(self):
        self.temporary.cleanup()

    def test_stored_bytes_are_blue_green_red_alpha(self):
        deck_common.write_picture_set(self.folder, plain_set((10, 20, 30)))
        with open(os.path.join(self.folder, "brov_47.bgra"), "rb") as f:
            self.assertEqual(f.read(8), bytes([30, 20, 10, 255] * 2))

    def test_a_failure_midway_keeps_the_earlier_set_and_leaves_nothing(self):
        deck_common.write_picture_set(self.folder, plain_set((0, 0, 0)))
        with mock.patch.object(deck_common, "contact_sheet", side_effect=OSError("disk full")):
            with self.assertRaises(OSError):
                deck_common.write_picture_set(self.folder, plain_set((255, 255, 255)))
        self.assertEqual(os.listdir(self.parent), ["set"])
        with open(os.path.join(self.folder, "brov_01.bgra"), "rb") as f:
            self.assertEqual(f.read(4), bytes([0, 0, 0, 255]))

    def test_a_picture_of_the_wrong_size_is_refused_before_writing(self):
        pictures = plain_set((0, 0, 0))
        pictures["a_043_graphic_image_blt_src"] = Image.new("RGB", (640, 389))
        with self.assertRaisesRegex(ValueError, "a_043_graphic_image_blt_src is 640x389"):
            deck_common.write_picture_set(self.folder, pictures)
        self.assertEqual(os.listdir(self.parent), [])


class Fit(unittest.TestCase):
    def test_extreme_shapes_fill_the_frame_along_one_side(self):
        for size, covered in (((5000, 1), (0, 239, 639, 239)), ((1, 5000), (319, 0, 319, 479))):
            with self.subTest(size=size):
                frame = deck_common.fit(Image.new("RGB", size, (255, 0, 0)), (640, 480), (0, 0, 255))
                self.assertEqual(frame.size, (640, 480))
                x0, y0, x1, y1 = covered
                self.assertEqual(frame.getpixel((x0, y0))[0], 255)
                self.assertEqual(frame.getpixel((x1, y1))[0], 255)
                self.assertEqual(frame.getpixel((5, 5)), (0, 0, 255))


if __name__ == "__main__":
    unittest.main()
