"""slidedeck/common.py: writing a picture set is all or nothing, and
every font the tools load comes from a package the install step installs."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from unittest import mock

from PIL import Image

from support import TOOLS, deck_common


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


class Fonts(unittest.TestCase):
    def test_each_font_comes_from_a_package_the_install_step_installs(self):
        with open(os.path.join(TOOLS, "install-deps")) as f:
            listed = re.search(r"packages=\((.*?)\n\)", f.read(), re.S).group(1)
        installed = set(re.sub(r"#.*", "", listed).split())
        for name, package in deck_common.FONT_PACKAGES.items():
            with self.subTest(font=name):
                self.assertIn(package, installed)
                if shutil.which("dpkg"):
                    owner = subprocess.run(
                        ["dpkg", "-S", os.path.join(deck_common.FONT_FOLDER, name)],
                        capture_output=True, text=True).stdout
                    self.assertEqual(owner.split(":")[0], package)

    def test_a_missing_font_names_the_file_and_its_package(self):
        with tempfile.TemporaryDirectory() as empty, \
                mock.patch.object(deck_common, "FONT_FOLDER", empty):
            with self.assertRaisesRegex(OSError, "DejaVuSansMono-Oblique.ttf: .*fonts-dejavu-extra"):
                deck_common.font("DejaVuSansMono-Oblique.ttf", 12)
        # A font outside the list is refused even where it is installed.
        with self.assertRaisesRegex(ValueError, "FONT_PACKAGES"):
            deck_common.font("DejaVuSerif.ttf", 12)


if __name__ == "__main__":
    unittest.main()
