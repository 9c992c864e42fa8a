#!/usr/bin/python3
"""What storing the pictures as LZ4 blocks (PICTURE_COMPRESSION=lz4) does
to the image and its boot, in one run, one machine at a time:

  - image size and QEMU's start to the first slide for decks of 1, 47 (the
    default), 250 and 999 slides, raw and lz4 side by side (999 only with
    lz4), against the marker application;
  - key down to the next slide at 1920x1080 with SLIDE_SCALE=fill, raw
    against lz4;
  - the smallest guest memory that boots the 250-slide deck with lz4.

The generated decks are built as the firmware test builds them, under
deck-builds/lengths; the default deck with lz4 and fill in
deck-builds/compression. Prints figures; checks nothing.

    bench/compression_timing.py --build build --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img [--boots 3] [--keys 20]
"""
import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "tests", "build"))
from deck_builds import DeckBuild, built_deck, run  # noqa: E402
from firmware_timing import first_screen, firmware_screen, key_to_screen  # noqa: E402
import harness  # noqa: E402
from screen_check import Deck, ExpectedScreens, marked, shows  # noqa: E402
from slidedeck.pictures import (COMPRESSIONS, MAX_SLIDE_COUNT,  # noqa: E402
                                MAX_SLIDE_COUNT_LZ4)

MODE = (1920, 1080)


def boots_within(disk, shown, memory_mb, timeout=60):
    """Whether the image on DISK shows its first slide with MEMORY_MB of
    guest memory."""
    try:
        with harness.Machine(disk, accel="tcg", memory_mb=memory_mb) as machine:
            deadline = time.monotonic() + timeout
            while time.monotonic() < deadline:
                time.sleep(0.5)
                if shown(machine.screendump()):
                    return True
                if "Out of Resources" in machine.serial():
                    return False
    except harness.QemuError:
        pass
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder of the default deck")
    parser.add_argument("--pictures", required=True, help="its pictures")
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--boots", type=int, default=3)
    parser.add_argument("--keys", type=int, default=20)
    parser.add_argument("--skip", action="append", default=[],
                        choices=("lengths", "keys", "memory"), help="leave out a part")
    args = parser.parse_args()
    accel = "kvm" if harness.kvm_works() else "tcg"
    build_root = os.path.abspath(args.build)
    work = os.path.join(build_root, "deck-builds", "lengths")

    # Around a 1:1 first slide, the firmware's screen in its default mode.
    unscaled = ExpectedScreens(Deck(args.pictures, shown=[0]).slide_size, "off",
                               firmware_screen(args.marker_disk, accel))

    def first_slide(deck):
        return lambda screen: shows(screen, deck.view(0), unscaled)

    # The default deck with lz4, 1:1 and fill: a build of its own.
    default_lz4 = DeckBuild(os.path.join(build_root, "deck-builds", "compression"))
    default_lz4.configure(os.path.abspath(args.pictures), "-DPICTURE_COMPRESSION=lz4")
    run(["cmake", "--build", default_lz4.folder, "--target", "efi_image", "scaled_images"])

    if "lengths" not in args.skip:
        decks = []
        for count in (1, None, MAX_SLIDE_COUNT, MAX_SLIDE_COUNT_LZ4):
            for compression in COMPRESSIONS:
                if count == MAX_SLIDE_COUNT_LZ4 and compression == "none":
                    continue
                if count is None:
                    pictures = args.pictures
                    folder = build_root if compression == "none" else default_lz4.folder
                else:
                    suffix = "" if compression == "none" else "-lz4"
                    pictures, build = built_deck(work, "%d-slides%s" % (count, suffix), count,
                                                 compression=compression)
                    folder = build.folder
                deck = Deck(pictures, shown=[0])
                decks.append((deck.count, compression, os.path.join(folder, "bootdisk.img"),
                              os.path.join(folder, "BOOTX64.EFI"), first_slide(deck)))

        marker_efi = os.path.join(os.path.dirname(args.marker_disk), "marker.efi")
        marker_size = os.path.getsize(marker_efi)
        marker = first_screen(args.marker_disk, marked, args.boots, accel)
        print("OVMF under QEMU with %s, one machine at a time, median of %d boots"
              % (accel.upper(), args.boots))
        print("%-22s %-5s %12s %16s %10s %8s" % ("", "", "image", "to first screen",
                                               "(min-max)", "x marker"))
        print("%-22s %-5s %9.1f KB %14.1f s %10s %8s" % (
            "marker application", "", marker_size / 1e3, marker[0],
            "%.1f-%.1f" % marker[1:], "1.00"))
        for count, compression, disk, image, shown in decks:
            size = os.path.getsize(image)
            median, low, high = first_screen(disk, shown, args.boots, accel)
            print("%-22s %-5s %9.2f MB %14.1f s %10s %8.2f" % (
                "%d slide%s" % (count, "" if count == 1 else "s"), compression, size / 1e6,
                median, "%.1f-%.1f" % (low, high), median / marker[0]), flush=True)

    if "keys" not in args.skip:
        deck = Deck(args.pictures)
        scaled = ExpectedScreens(deck.slide_size, "fill")
        keys = min(args.keys, deck.count - 1)
        times = {"none": [], "lz4": []}
        disks = {"none": os.path.join(build_root, "scaled", "fill", "bootdisk.img"),
                 "lz4": os.path.join(default_lz4.folder, "scaled", "fill", "bootdisk.img")}
        for _ in range(args.boots):
            for compression in COMPRESSIONS:
                times[compression] += key_to_screen(
                    disks[compression], accel, MODE, scaled, deck, keys)
        for compression in COMPRESSIONS:
            values = times[compression]
            print("key down to the next slide, fill at %dx%d, %-4s median %.3f s "
                  "(min %.3f, max %.3f, %d keys)" % (MODE + (compression, statistics.median(values),
                                                     min(values), max(values), len(values))))
        print("  lz4 - none, medians: %+.1f ms" % (
            (statistics.median(times["lz4"]) - statistics.median(times["none"])) * 1e3))

    if "memory" not in args.skip:
        pictures, build = built_deck(work, "%d-slides-lz4" % MAX_SLIDE_COUNT, MAX_SLIDE_COUNT,
                                     compression="lz4")
        shown = first_slide(Deck(pictures, shown=[0]))
        # The smallest multiple of 8 MiB that boots, by halving the range.
        low, high = 32, 512
        while high - low > 8:
            middle = (low + high) // 16 * 8
            if boots_within(build.disk, shown, middle):
                high = middle
            else:
                low = middle
        print("smallest guest memory that boots %d slides with lz4 (8 MiB steps): %d MiB "
              "(%d MiB does not)" % (MAX_SLIDE_COUNT, high, low))


if __name__ == "__main__":
    main()
