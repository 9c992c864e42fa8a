#!/usr/bin/python3
"""Decks of other lengths on OVMF: a 3-slide deck, one of the most slides
an image of raw pictures takes, and one of the most an image of LZ4 blocks
(PICTURE_COMPRESSION=lz4) takes, generated and built in folders of their
own, booted two at a time. Each image first passes the image checks (tests/image); each
session then checks the first and the last slide, l, h, J and K at both
ends and a listing, pixel for pixel.

    deck_lengths.py WORK_FOLDER --artifacts DIR
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "build"))
from deck_builds import built_deck  # noqa: E402
from firmware_suite import Deck, DeckSuite, Session, run_sessions, say  # noqa: E402
import harness  # noqa: E402
from slidedeck.pictures import MAX_SLIDE_COUNT, MAX_SLIDE_COUNT_LZ4  # noqa: E402

# (slides, PICTURE_COMPRESSION)
LENGTHS = ((3, "none"), (MAX_SLIDE_COUNT, "none"), (MAX_SLIDE_COUNT_LZ4, "lz4"))
CHECK_IMAGE = os.path.join(HERE, "..", "image", "check_image.py")


def shown_slides(count):
    last = count - 1
    return {0, min(10, last), last, max(last - 10, 0)}


def both_ends(s):
    """The bounds of a deck of any length; a key that leaves the screen as
    it was is checked by the key after it."""
    d = s.suite.deck
    last = d.count - 1
    s.first_slide()
    s.press("K", d.view(0), "K at the first slide")
    s.press("J", d.view(min(10, last)), "J from the first slide")
    s.press("l", d.view(last), "l")
    s.press("J", d.view(last), "J at the last slide")
    s.press("K", d.view(max(last - 10, 0)), "K from the last slide")
    s.press("l", d.view(last), "l")
    s.press("1", d.view(last, 0), "1 over the last slide")
    s.press("h", d.view(0), "h")
    s.quit()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the generated decks and their builds")
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages()
    if problem:
        sys.exit(problem)

    started = time.monotonic()
    accel = "kvm" if harness.kvm_works() else "tcg"
    sessions = []
    for count, compression in LENGTHS:
        name = "%d-slides%s" % (count, "" if compression == "none" else "-" + compression)
        say("[%s] generating and building the deck" % name)
        pictures, build = built_deck(os.path.abspath(args.work), name, count,
                                     compression=compression)
        check = subprocess.run([sys.executable, CHECK_IMAGE, "--compression", compression,
                                build.image, os.path.join(build.folder, "BOOTX64.map"), pictures],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        if check.returncode != 0:
            say(check.stdout)
            sys.exit("[%s] the image checks failed" % name)
        suite = DeckSuite({"default": build.disk}, Deck(pictures, shown=shown_slides(count)),
                          args.artifacts, accel)
        # 640x480: the slide fills the screen, so no firmware screen to compare.
        sessions.append(Session(suite, name, mode=(640, 480)))
    say("built in %.0f s; booting %d sessions under %s"
        % (time.monotonic() - started, len(sessions), accel.upper()))
    return run_sessions([(session, both_ends) for session in sessions], "deck lengths", started)


if __name__ == "__main__":
    sys.exit(main())
