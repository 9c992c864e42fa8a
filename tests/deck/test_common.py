"""tools/slidedeck/common.py: writing a picture set is all or nothing."""
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


if __name__ == "__main__":
    unittest.main()
