#!/usr/bin/python3
"""Slides of 1920x1080 on real firmware. A generated deck is built in a
folder of its own with SLIDE_SIZE=1920x1080, SLIDE_SCALE=fill and
SCREEN_MODE=slide (its pictures so stored as LZ4 blocks), and booted on
OVMF from its default 1280x800: the image sets the listed 1920x1080 mode,
and every slide and listing fills the screen 1:1, compared pixel for pixel.
The reductions of such slides to smaller modes are the unit tests' (every
slide size, mode and scale against the oracle).

    slide_size_suite.py WORK_FOLDER --artifacts DIR
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "build"))
from deck_builds import DeckBuild, make_deck, run  # noqa: E402
from firmware_suite import Deck, DeckSuite, Session, run_sessions, say  # noqa: E402
import harness  # noqa: E402

SIZE = (1920, 1080)
SLIDE_COUNT = 12


def native(s):
    """The mode of the slide's size: the slide is the screen."""
    d = s.suite.deck
    s.first_slide()
    s.press("j", d.view(1))
    s.press("l", d.view(d.count - 1))
    s.press("1", d.view(d.count - 1, 0))
    s.quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the generated deck and its build")
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages()
    if problem:
        sys.exit(problem)

    started = time.monotonic()
    work = os.path.abspath(args.work)
    pictures = make_deck(os.path.join(work, "1920x1080-pictures"), SLIDE_COUNT, size=SIZE)
    build = DeckBuild(os.path.join(work, "1920x1080"))
    build.configure(pictures, "-DSLIDE_SIZE=1920x1080", "-DSLIDE_SCALE=fill",
                    "-DSCREEN_MODE=slide", "-UPICTURE_COMPRESSION")
    run(["cmake", "--build", build.folder, "--target", "efi_image"])
    suite = DeckSuite({"screen-slide": build.disk}, Deck(pictures, slide_size=SIZE),
                      args.artifacts, "kvm" if harness.kvm_works() else "tcg")
    sessions = [(Session(suite, "slide-mode-1920x1080", image="screen-slide",
                                scale="fill"), native)]
    say("built in %.0f s; booting %d sessions" % (time.monotonic() - started, len(sessions)))
    return run_sessions(sessions, "slide size", started)


if __name__ == "__main__":
    sys.exit(main())
