#!/usr/bin/python3
"""What drawing on every screen costs: key to screen under TCG on OVMF with
two screens at 1280x800 (VGA and secondary-vga), the image built with
SCREENS=mirror against the same image built with SCREENS=first. The two
images are booted in turn, --rounds times each, so that what else the
machine is doing weighs on both alike; each boot takes its share of the
keys. For the mirror image, the time to the next slide on the first
screen and on both. Prints figures; checks nothing (firmware_screens
does).

    bench/screens_timing.py --mirror-disk build/mirror/bootdisk.img \\
        --first-disk build/scaled/fill/bootdisk.img --pictures build/bgra [--keys 20] [--rounds 2]

Both images are built with SLIDE_SCALE=fill (build/mirror/ and
build/scaled/fill/ differ in SCREENS only).
"""
import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "firmware"))
import harness  # noqa: E402
from firmware_suite import BOOT_LINE, BOOT_TIMEOUT  # noqa: E402
from screen_check import Deck, ExpectedScreens  # noqa: E402

MODE = (1280, 800)
TIMEOUT = 120
# How long each screendump took, for reading the figures against.
DUMP_SECONDS = []


def wait_for(machine, device, expected, since):
    """Dumps the screen DEVICE back to back until it holds EXPECTED; the
    seconds since SINCE."""
    while True:
        before = time.monotonic()
        screen = machine.screendump(device)
        DUMP_SECONDS.append(time.monotonic() - before)
        if screen.rgb == expected:
            return time.monotonic() - since
        if time.monotonic() - since > TIMEOUT:
            raise SystemExit("%s: not the expected screen after %d s" % (device, TIMEOUT))


def key_times(disk, deck, scaled, keys, both):
    """Boots DISK with two screens, waits for the first slide, then presses
    j KEYS times: for each key, the seconds from key down to the next slide
    on the first screen and, with BOTH, on the second as well (dumped once
    the first shows it, so that figure holds at least one more dump)."""
    first, second = harness.SCREEN_IDS
    on_first, on_both = [], []
    with harness.Machine(disk, vga_size=MODE, second_screen=MODE, accel="tcg") as machine:
        machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
        wait_for(machine, first, scaled.screen(deck.view(0), *MODE), time.monotonic())
        if both:
            wait_for(machine, second, scaled.screen(deck.view(0), *MODE), time.monotonic())
        for index in range(1, keys + 1):
            expected = scaled.screen(deck.view(index), *MODE)
            start = time.monotonic()
            machine.key_event(["j"], down=True)
            on_first.append(wait_for(machine, first, expected, start))
            if both:
                on_both.append(wait_for(machine, second, expected, start))
            machine.key_event(["j"], down=False)
    return on_first, on_both


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mirror-disk", required=True, help="built with SCREENS=mirror")
    parser.add_argument("--first-disk", required=True, help="the same built with SCREENS=first")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--keys", type=int, default=20, help="keys timed on each image")
    parser.add_argument("--rounds", type=int, default=2, help="boots of each image, in turn")
    args = parser.parse_args()
    deck = Deck(args.pictures)
    keys = -(-args.keys // args.rounds)
    if keys >= deck.count:
        parser.error("%d keys a boot: the deck has %d slides" % (keys, deck.count))
    scaled = ExpectedScreens(deck.slide_size, "fill")

    mirror_first, mirror_both, first_only = [], [], []
    for _ in range(args.rounds):
        on_first, on_both = key_times(args.mirror_disk, deck, scaled, keys, both=True)
        mirror_first += on_first
        mirror_both += on_both
        first_only += key_times(args.first_disk, deck, scaled, keys, both=False)[0]

    def figures(values):
        return "median %.3f s (min %.3f, max %.3f, %d keys)" % (
            statistics.median(values), min(values), max(values), len(values))

    print("OVMF under TCG, two screens at %dx%d, SLIDE_SCALE=fill; key down to the next "
          "slide, %d boots of each image (load average %.1f)"
          % (MODE + (args.rounds, os.getloadavg()[0])))
    for label, values in (("SCREENS=first, on the first screen:", first_only),
                          ("SCREENS=mirror, on the first screen:", mirror_first),
                          ("SCREENS=mirror, on both screens:", mirror_both)):
        print("  %-38s %s" % (label, figures(values)))
    print("  %-38s median %.3f s (%d dumps)" % ("one screendump at %dx%d:" % MODE,
                                               statistics.median(DUMP_SECONDS),
                                               len(DUMP_SECONDS)))


if __name__ == "__main__":
    main()
