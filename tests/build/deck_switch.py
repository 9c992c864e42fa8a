#!/usr/bin/python3
"""Switching DECK_PICTURES, and the folders the build refuses, in a build
folder of its own: every switch gives the deck chosen, in either direction,
and a presenter's folder with a gap, a stray name or a picture of the wrong
size stops the build with the file named and the previous image as it was.

    deck_switch.py WORK_FOLDER
"""
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from deck_builds import BuildFailed, DeckBuild, make_deck  # noqa: E402


def read(path):
    with open(path, "rb") as f:
        return f.read()


class DeckSwitch(unittest.TestCase):
    work = None

    def image_shows(self, build, folder, slides):
        """The image holds the pictures of FOLDER: its first and last slide
        and its listings, byte for byte."""
        image = read(build.image)
        names = ["brov_01", "brov_%02d" % slides, "a_012_efiversion_src",
                 "a_043_graphic_image_blt_src"]
        for name in names:
            self.assertTrue(read(os.path.join(folder, name + ".bgra")) in image,
                            "%s does not hold %s of %s" % (build.image, name, folder))

    def refused(self, build, before, file, *words):
        """Building must stop with FILE named, and leave the image alone."""
        with self.assertRaises(BuildFailed) as caught:
            build.build()
        # CMake wraps its messages at spaces.
        output = " ".join(caught.exception.output.split())
        for word in (file,) + words:
            self.assertIn(word, output)
        self.assertEqual(build.image_digest(), before, "the previous image was changed")

    def test_switches_and_refusals(self):
        build = DeckBuild(os.path.join(self.work, "build"))
        rendered = os.path.join(build.folder, "bgra")
        # Made afresh: a failed run may have left a fault in it.
        talk = os.path.join(self.work, "talk")
        shutil.rmtree(talk, ignore_errors=True)
        make_deck(talk, 3, seed=1)

        build.configure("").build()
        default_image = build.image_digest()
        rendered_first = read(os.path.join(rendered, "brov_01.bgra"))
        self.image_shows(build, rendered, 47)

        build.configure(talk).build()
        talk_image = build.image_digest()
        self.image_shows(build, talk, 3)
        self.assertFalse(rendered_first in read(build.image), "the default deck's first slide")

        build.configure("").build()
        self.assertTrue(read(os.path.join(rendered, "brov_01.bgra")) == rendered_first,
                        "the rendered bgra/brov_01.bgra was overwritten")
        self.assertEqual(build.image_digest(), default_image, "back to the default deck")

        build.configure(talk).build()
        self.assertEqual(build.image_digest(), talk_image, "back to the presenter's deck")

        # Each fault made in the configured folder, then undone.
        second = os.path.join(talk, "brov_02.bgra")
        os.rename(second, second + ".away")
        self.refused(build, talk_image, second, "missing", "brov_03.bgra")
        os.rename(second + ".away", second)

        stray = os.path.join(talk, "brov_4.bgra")
        shutil.copy(second, stray)
        self.refused(build, talk_image, stray, "fits no picture")
        os.remove(stray)

        good = read(second)
        with open(second, "wb") as f:
            f.write(good[:1000])
        self.refused(build, talk_image, second, "1000 bytes", "640x480")
        with open(second, "wb") as f:
            f.write(good)

        build.build()
        self.assertEqual(build.image_digest(), talk_image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    DeckSwitch.work = os.path.abspath(sys.argv[1])
    unittest.main(argv=sys.argv[:1], verbosity=2)
