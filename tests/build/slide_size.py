#!/usr/bin/python3
"""SLIDE_SIZE in build folders of their own: the values and folders the
configure refuses, raw pictures past 1 GiB, and a deck at another size
built into an image whose slide table and pictures have that size.

    slide_size.py WORK_FOLDER
"""
import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from deck_builds import ROOT, BuildFailed, DeckBuild, make_deck, run  # noqa: E402
from slidedeck.pictures import (LARGEST_SLIDE_SIZE, LISTING_NAMES,  # noqa: E402
                                SMALLEST_SLIDE_SIZE, count_slides, format_size,
                                picture_bytes, slide_name)

# Just outside the slide range, a side at a time.
(LOW_WIDTH, LOW_HEIGHT), (HIGH_WIDTH, HIGH_HEIGHT) = SMALLEST_SLIDE_SIZE, LARGEST_SLIDE_SIZE
OUTSIDE = ("%dx%d" % (LOW_WIDTH - 1, LOW_HEIGHT), "%dx%d" % (LOW_WIDTH, LOW_HEIGHT - 1),
           "%dx%d" % (HIGH_WIDTH + 1, HIGH_HEIGHT), "%dx%d" % (HIGH_WIDTH, HIGH_HEIGHT + 1))


def sparse_deck(folder, count, size):
    """A folder of COUNT slides of SIZE and the listings whose files only
    have the right length: enough for the configure, which reads none."""
    os.makedirs(folder, exist_ok=True)
    for name in [slide_name(n) for n in range(1, count + 1)] + list(LISTING_NAMES):
        with open(os.path.join(folder, name + ".bgra"), "wb") as f:
            f.truncate(picture_bytes(name, size))
    return folder


class SlideSize(unittest.TestCase):
    work = None

    def refused(self, build, *options, words):
        with self.assertRaises(BuildFailed) as caught:
            build.configure(*options)
        # CMake wraps its messages at spaces.
        output = " ".join(caught.exception.output.split())
        for word in words:
            self.assertIn(word, output)

    def test_configure_refusals(self):
        build = DeckBuild(os.path.join(self.work, "refusals"))
        for value in ("1920", "1920x", "x1080", "1920x1080x2", "0640x480", "-640x480",
                      "99999999999999999999x480") + OUTSIDE:
            with self.subTest(value=value):
                self.refused(build, "", "-DSLIDE_SIZE=" + value, words=("SLIDE_SIZE=" + value,))
        for value in (format_size(SMALLEST_SLIDE_SIZE), format_size(LARGEST_SLIDE_SIZE)):
            build.configure("", "-DSLIDE_SIZE=" + value, "-UPICTURE_COMPRESSION")

        # A presenter's folder made for 640x480, built at another size.
        talk = make_deck(os.path.join(self.work, "talk-640x480"), 3)
        self.refused(build, talk, "-DSLIDE_SIZE=1024x768",
                     words=(os.path.join(talk, "brov_01.bgra"), "1024x768"))

        # 128 slides of 1920x1080 and the listings stay below 1 GiB raw; 129
        # pass it, which only compressed pictures may.
        below = sparse_deck(os.path.join(self.work, "sparse-128"), 128, (1920, 1080))
        above = sparse_deck(os.path.join(self.work, "sparse-129"), 129, (1920, 1080))
        build.configure(below, "-DSLIDE_SIZE=1920x1080", "-DPICTURE_COMPRESSION=none")
        self.refused(build, above, "-DSLIDE_SIZE=1920x1080", "-DPICTURE_COMPRESSION=none",
                     words=("SLIDE_SIZE=1920x1080 with PICTURE_COMPRESSION=none",
                            "129 slides", "1 GiB"))
        # By default, pictures at this size are not raw.
        build.configure(above, "-DSLIDE_SIZE=1920x1080", "-UPICTURE_COMPRESSION")

    def test_option_values_checked_from_facts(self):
        build = DeckBuild(os.path.join(self.work, "options"))
        # A refused value stays in the cache: each run sets both again.
        both = ("-DSCREENS=first", "-DTALK_MINUTES=0")
        for option, value in (("SCREENS", "sideways"), ("TALK_MINUTES", "1000"),
                              ("TALK_MINUTES", "-1"), ("TALK_MINUTES", "1e2")):
            with self.subTest(option=option, value=value):
                self.refused(build, "", *both, "-D%s=%s" % (option, value),
                             words=("%s=%s" % (option, value), "must be"))
        build.configure("", "-DSCREENS=presenter", "-DTALK_MINUTES=999")
        self.assertIn("record.talk_minutes = 999;", open(os.path.join(build.folder,
                                                                    "build_options.cpp")).read())
        build.configure("", *both)

    def test_a_deck_at_another_size_builds_into_the_image(self):
        size = (1024, 768)
        build = DeckBuild(os.path.join(self.work, "build-1024x768"))
        talk = make_deck(os.path.join(self.work, "talk-1024x768"), 3, seed=2, size=size)
        build.configure(talk, "-DSLIDE_SIZE=1024x768").build()
        # The slide table and the pictures in both images, at 1024x768.
        for arch, name in (("x64", "BOOTX64"), ("aa64", "BOOTAA64")):
            with self.subTest(arch=arch):
                result = subprocess.run(
                    [sys.executable, os.path.join(ROOT, "tests", "image", "check_image.py"),
                     "--arch", arch, "--size", "1024x768", "--compression", "lz4",
                     os.path.join(build.folder, name + ".EFI"),
                     os.path.join(build.folder, name + ".map"), talk],
                    capture_output=True, text=True)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

        # The default deck is rendered at the size.
        build.configure("")
        run(["cmake", "--build", build.folder, "--target", "bgra/brov_01.bgra"])
        self.assertEqual(count_slides(os.path.join(build.folder, "bgra"), size), 47)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    SlideSize.work = os.path.abspath(sys.argv[1])
    unittest.main(argv=sys.argv[:1], verbosity=2)
