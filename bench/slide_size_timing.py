#!/usr/bin/python3
"""Figures for slides of 1920x1080 on OVMF, one machine at a time: the
default deck built with SLIDE_SIZE=1920x1080 (its pictures as LZ4 blocks),
SLIDE_SCALE=fill and SCREEN_MODE=slide, in a folder of its own. Prints its
image size; boot to first slide from OVMF's default 1280x800, against the
marker application; and key to screen, decoding included, in the mode of
the slide's size and with the keep twin (scaled/fill/) enlarged to
3840x2160 (on the virtio GPU: OVMF's VGA driver offers no such mode). Checks nothing (the firmware suites do).

    bench/slide_size_timing.py WORK_FOLDER --marker-disk build/tests/firmware/marker.img
        [--boots 3] [--keys 20]
"""
import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "build"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "firmware"))
sys.path.insert(0, HERE)
from deck_builds import DeckBuild, run  # noqa: E402
import harness  # noqa: E402
from firmware_timing import BOOT_POLL, key_to_screen, wait_until  # noqa: E402
from screen_check import Deck, ExpectedScreens, marked, shows  # noqa: E402

SIZE = (1920, 1080)


def figures(values):
    return "median %.3f s (min %.3f, max %.3f, %d runs)" % (
        statistics.median(values), min(values), max(values), len(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the 1920x1080 build")
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--boots", type=int, default=3)
    parser.add_argument("--keys", type=int, default=20)
    args = parser.parse_args()

    build = DeckBuild(os.path.join(os.path.abspath(args.work), "default-1920x1080"))
    build.configure("", "-DSLIDE_SIZE=1920x1080", "-DSLIDE_SCALE=fill", "-DSCREEN_MODE=slide",
                    "-UPICTURE_COMPRESSION")
    run(["cmake", "--build", build.folder, "--target", "efi_image", "scaled_images"])
    deck = Deck(os.path.join(build.folder, "bgra"), slide_size=SIZE)
    # SLIDE_SCALE=fill: 1:1 in the mode of the slide's size, enlarged at 3840x2160.
    expected = ExpectedScreens(SIZE, "fill")
    accel = "kvm" if harness.kvm_works() else "tcg"

    boots, marker_boots = [], []
    for _ in range(args.boots):
        with harness.Machine(build.disk, accel=accel) as machine:
            boots.append(wait_until(machine, lambda screen: shows(screen, deck.view(0), expected,
                                                                  SIZE),
                                    machine.started_at, BOOT_POLL)[0])
        with harness.Machine(args.marker_disk, accel=accel) as machine:
            marker_boots.append(wait_until(machine, marked, machine.started_at, BOOT_POLL)[0])

    keys = min(args.keys, deck.count - 1)
    native = key_to_screen(build.disk, accel, None, expected, deck, keys)
    fill_disk = os.path.join(build.folder, "scaled", "fill", "bootdisk.img")
    large = key_to_screen(fill_disk, accel, (3840, 2160), expected, deck, keys, virtio_gpu=True)

    print("%d slides of %dx%d on OVMF under %s, one machine at a time"
          % (deck.count, SIZE[0], SIZE[1], accel.upper()))
    print("  BOOTX64.EFI: %.2f MB; the disk %.1f MB"
          % (os.path.getsize(build.image) / 1e6, os.path.getsize(build.disk) / 1e6))
    print("  QEMU start to first slide (SCREEN_MODE=slide):  %s" % figures(boots))
    print("  marker application, QEMU start to its mark:     %s" % figures(marker_boots))
    print("  ratio presentation / marker:                    %.2f"
          % (statistics.median(boots) / statistics.median(marker_boots)))
    print("  key down to the next slide, 1920x1080 1:1:      %s" % figures(native))
    print("  key down to the next slide, fill at 3840x2160 (virtio GPU): %s" % figures(large))


if __name__ == "__main__":
    main()
