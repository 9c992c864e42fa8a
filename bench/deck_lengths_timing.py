#!/usr/bin/python3
"""Image size and the time from QEMU's start to the first slide for decks
of 1 slide, the default 47 and the most an image takes, each against the
marker application, all in one run, one machine at a time. The 1-slide and
the largest deck are generated and built as the firmware test builds them,
under deck-builds/lengths. Prints figures; checks nothing.

    bench/deck_lengths_timing.py --build build --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img [--boots 3]
"""
import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "build"))
from deck_builds import built_deck  # noqa: E402
from firmware_timing import BOOT_POLL, boot, marked, shows, wait_until  # noqa: E402
from firmware_suite import Deck  # noqa: E402
from slidedeck.pictures import MAX_SLIDE_COUNT  # noqa: E402


def first_screen(disk, shown, boots, accel):
    seconds = []
    for _ in range(boots):
        with boot.Machine(disk, accel=accel) as machine:
            seconds.append(wait_until(machine, shown, machine.started_at, BOOT_POLL)[0])
    return statistics.median(seconds), min(seconds), max(seconds)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder of the default deck")
    parser.add_argument("--pictures", required=True, help="its pictures")
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--boots", type=int, default=3)
    args = parser.parse_args()
    accel = "kvm" if boot.kvm_works() else "tcg"
    work = os.path.join(os.path.abspath(args.build), "deck-builds", "lengths")

    decks = []
    for count in (1, None, MAX_SLIDE_COUNT):
        if count is None:
            pictures, folder = args.pictures, args.build
        else:
            pictures, build = built_deck(work, "%d-slides" % count, count)
            folder = build.folder
        deck = Deck(pictures, shown=[0])
        decks.append((deck.count, os.path.join(folder, "bootdisk.img"),
                      os.path.join(folder, "BOOTX64.EFI"), shows(deck.view(0).rows)))

    marker_efi = os.path.join(os.path.dirname(args.marker_disk), "marker.efi")
    marker_size = os.path.getsize(marker_efi)
    marker = first_screen(args.marker_disk, marked, args.boots, accel)
    print("OVMF under QEMU with %s, one machine at a time, median of %d boots"
          % (accel.upper(), args.boots))
    print("%-22s %14s %10s %16s %10s %8s" % ("", "image", "x marker", "to first screen",
                                              "(min-max)", "x marker"))
    print("%-22s %11.1f KB %10s %14.1f s %10s %8s" % (
        "marker application", marker_size / 1e3, "1", marker[0],
        "%.1f-%.1f" % marker[1:], "1.00"))
    for count, disk, image, shown in decks:
        size = os.path.getsize(image)
        median, low, high = first_screen(disk, shown, args.boots, accel)
        print("%-22s %11.1f MB %10.0f %14.1f s %10s %8.2f  (%d MiB guest memory)" % (
            "%d slide%s" % (count, "" if count == 1 else "s"), size / 1e6, size / marker_size,
            median, "%.1f-%.1f" % (low, high), median / marker[0], boot.memory_for(disk)))


if __name__ == "__main__":
    main()
