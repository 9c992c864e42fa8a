#!/usr/bin/python3
"""An image of several slide sizes on OVMF. A generated talk with three
picture sets, 1280x800, 1024x768 and 800x600 (WxH/ subfolders of one
folder), is built in a folder of its own with SLIDE_SCALE=fill and
SCREEN_MODE=keep, and booted twice:

- at 1024x768, the size of a set other than the first: that set fills the
  screen 1:1, pixel for pixel, then j, that set's own overview page (o)
  with the frame on slide 2, Esc, the listing of key 1 and q;
- at 1280x720, a mode of no set's size: the rule of src/sets.cpp picks
  the 1024x768 set (the smallest at least as large as fill's 960x720
  area), reduced by area averaging; the first set, 1280x800, reduced
  instead would show other pixels.

    picture_sets_suite.py WORK_FOLDER --artifacts DIR
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "build"))
from deck_builds import DeckBuild, make_deck, run  # noqa: E402
from firmware_suite import Deck, Session, say  # noqa: E402
import harness  # noqa: E402
from overview_suite import FRAME_COLOUR, ring  # noqa: E402
from screen_check import Picture, View  # noqa: E402
from slidedeck import overview  # noqa: E402

SIZES = ((1280, 800), (1024, 768), (800, 600))
SLIDE_COUNT = 6


def overview_page(suite, size, selected):
    """The set's first overview page with the frame round slide SELECTED
    (from 0), as a picture file in the work folder: the page the build
    rendered for that set, the ring where its grid puts it."""
    grid = overview.grid(size)
    page = os.path.join(suite.build.folder, "overview", "%dx%d" % size,
                        overview.page_name(1) + ".bgra")
    with open(page, "rb") as f:
        bgra = bytearray(f.read())
    (ol, ot, orr, ob), (il, it, ir, ib) = ring(grid, selected, (0, 0) + size, size)
    frame = bytes((FRAME_COLOUR[2], FRAME_COLOUR[1], FRAME_COLOUR[0], 0))
    for y in range(ot, ob):
        for x in range(ol, orr):
            if not (il <= x < ir and it <= y < ib):
                bgra[(y * size[0] + x) * 4:(y * size[0] + x + 1) * 4] = frame
    path = os.path.join(suite.work, "overview-%dx%d.bgra" % size)
    with open(path, "wb") as f:
        f.write(bgra)
    return View("the %dx%d overview, frame on slide %d" % (size + (selected + 1,)),
                [Picture("overview", path, *size)])


def equal_set(s):
    """A mode of a set's size: that set 1:1 over the whole screen, and its
    own overview."""
    d = s.suite.deck
    s.first_slide()
    s.press("j", d.view(1))
    s.press("o", overview_page(s.suite, d.slide_size, 1))
    s.press("esc", d.view(1))
    s.press("1", d.view(1, 0))
    s.quit()


def unlisted_mode(s):
    """A mode of no set's size: the set the rule picks, reduced."""
    s.first_slide()
    s.press("j", s.suite.deck.view(1))


class PictureSetsSuite:
    """What a Session needs of its suite; deck is the set a session expects."""

    def __init__(self, build, work, artifacts, accel):
        self.build = build
        self.work = work
        self.images = {"default": build.disk}
        self.marker_disks = {}
        self.expected_screen = None  # screen_check's default program
        self.artifacts = artifacts
        self.deck = None
        self.accel = accel


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the generated talk and its build")
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages(arch="x64")
    if problem:
        sys.exit(problem)

    started = time.monotonic()
    work = os.path.abspath(args.work)
    pictures = os.path.join(work, "pictures")
    for number, size in enumerate(SIZES):
        make_deck(os.path.join(pictures, "%dx%d" % size), SLIDE_COUNT, seed=number, size=size)
    build = DeckBuild(os.path.join(work, "build"))
    build.configure(pictures, "-DSLIDE_SCALE=fill", "-DSCREEN_MODE=keep", "-DPRESENTER_KEYS=ON",
                    "-UPICTURE_COMPRESSION", "-USLIDE_SIZE")
    run(["cmake", "--build", build.folder, "--target", "efi_image"])
    suite = PictureSetsSuite(build, work, args.artifacts, "kvm" if harness.kvm_works() else "tcg")
    say("built in %.0f s" % (time.monotonic() - started))
    # (mode, the set it must show, steps), one boot each, in turn: the
    # checks take the slide size of the set expected from its deck.
    boots = [((1024, 768), (1024, 768), equal_set),
             ((1280, 720), (1024, 768), unlisted_mode)]
    results = []
    for mode, shown, steps in boots:
        suite.deck = Deck(os.path.join(pictures, "%dx%d" % shown), slide_size=shown)
        session = Session(suite, "sets-%dx%d" % mode, mode=mode, scale="fill")
        results.append(session.run(steps))
        say("  %-4s %s: the %dx%d set" % ("pass" if results[-1] else "FAIL", session.name,
                                          *shown))
    say("picture sets: %.0f s wall time" % (time.monotonic() - started))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
