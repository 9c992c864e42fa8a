#!/usr/bin/python3
"""How long the presentation takes on OVMF (or with --arch aa64 on AAVMF,
QEMU's ARM64 virt board), one machine at a time so the
figures are not skewed by other boots: boot to first slide, the firmware's
load of the image, key to screen; and the same boot for the marker
application, a few kilobytes, so that the cost of loading the 60 MB image
shows as a ratio. Screens are compared as the firmware suite compares them
(tests/firmware/screen_check.py): the whole screen, the firmware's own
around a 1:1 slide taken from the marker application's. Prints figures;
checks nothing (the firmware suite does).

    bench/firmware_timing.py --disk build/bootdisk.img --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img [--boots 3] [--keys 20]
        [--arch aa64]  (with --marker-disk build/tests/firmware/marker-aa64.img)
        [--scaled-disk build/scaled/fill/bootdisk.img --scale fill --mode 1920x1080]
        [--expected-screen build/tests/unit/expected_screen]
"""
import argparse
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "firmware"))
import facts  # noqa: E402
import harness  # noqa: E402
from screen_check import (Deck, ExpectedScreens, KeysAndScreens, marked,  # noqa: E402
                          settled_screen)

TIMEOUT = 300
LOADING = 'BdsDxe: loading Boot0001'
STARTING = 'BdsDxe: starting Boot0001'
BOOT_POLL = 0.1


def wait_until(machine, shown, since, interval):
    """Polls screendumps until shown(screen); seconds since since. The
    serial console is read on the way, for the load time. Polling back to
    back would slow the boot itself: QEMU makes every dump."""
    marks = {}
    while True:
        time.sleep(interval)
        screen = machine.screendump()
        now = time.monotonic()
        text = machine.serial()
        for line in (LOADING, STARTING):
            if line not in marks and line in text:
                marks[line] = now
        if shown(screen):
            return now - since, marks
        if now - since > TIMEOUT:
            raise SystemExit("nothing after %d s" % TIMEOUT)


def key_to_screen(disk, accel, mode, expected, deck, keys, virtio_gpu=False, arch="x64",
                  boot=None):
    """Boots disk (in mode, when given), waits for the first slide, then
    presses j keys times: the seconds from each key down to the next slide
    on the screen, as expected (ExpectedScreens) gives it. With keys past
    the deck's end, h goes back to the first slide first. boot, a dict,
    gets the seconds to the first slide and the serial console's marks."""
    times = []
    with harness.Machine(disk, vga_size=mode, virtio_gpu=virtio_gpu, accel=accel,
                         arch=arch) as machine:
        check = KeysAndScreens(machine, expected, "key-to-screen", FAILURES, mode=mode, deck=deck)
        seconds, marks = wait_until(machine, lambda screen: check.shows(screen, deck.view(0)),
                                    machine.started_at, BOOT_POLL)
        if boot is not None:
            boot.update(seconds=seconds, marks=marks)
        for index in range(1, keys + 1):
            # Timed from key down; the image acts on the key down.
            times.append(check.press("j", deck.view(index % deck.count), what="", poll=0))
            if index % deck.count == deck.count - 1:
                check.press("h", deck.view(0), what="")
    return times


def firmware_screen(marker_disk, accel, mode=None, arch="x64"):
    """What the firmware shows around an application in mode: the marker
    application's screen once settled."""
    with harness.Machine(marker_disk, vga_size=mode, accel=accel, arch=arch) as machine:
        wait_until(machine, marked, machine.started_at, BOOT_POLL)
        return settled_screen(machine)


FAILURES = os.path.join(HERE, "..", "build", "firmware-failures")


def first_screen(disk, shown, boots, accel):
    """BOOTS boots of DISK, each timed from QEMU's start to shown(screen):
    (median, min, max) in seconds."""
    seconds = []
    for _ in range(boots):
        with harness.Machine(disk, accel=accel) as machine:
            seconds.append(wait_until(machine, shown, machine.started_at, BOOT_POLL)[0])
    return statistics.median(seconds), min(seconds), max(seconds)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--boots", type=int, default=3)
    parser.add_argument("--keys", type=int, default=20)
    parser.add_argument("--scaled-disk", help="also time keys on this image, built with "
                        "SLIDE_SCALE=--scale, against --disk, both in --mode")
    parser.add_argument("--scale", choices=[scale for scale in facts.choices("SLIDE_SCALE")
                                            if scale != "off"], default="fill")
    parser.add_argument("--mode", default="1920x1080", help="WIDTHxHEIGHT for --scaled-disk")
    parser.add_argument("--arch", choices=harness.ARCHITECTURES, default="x64",
                        help="x64: OVMF; aa64: AAVMF with ramfb and a USB keyboard")
    parser.add_argument("--expected-screen", help="the oracle program (default: "
                        "build/tests/unit/expected_screen)")
    args = parser.parse_args()
    deck = Deck(args.pictures)
    accel = "kvm" if args.arch == "x64" and harness.kvm_works() else "tcg"
    # The firmware's screen around the 1:1 slide, in its default mode.
    expected = ExpectedScreens(deck.slide_size, "off",
                               firmware_screen(args.marker_disk, accel, arch=args.arch),
                               args.expected_screen)

    image_boots, load_times, key_times, marker_boots, marker_loads = [], [], [], [], []
    for _ in range(args.boots):
        boot = {}
        key_times += key_to_screen(args.disk, accel, None, expected, deck, args.keys,
                                   arch=args.arch, boot=boot)
        image_boots.append(boot["seconds"])
        marks = boot["marks"]
        if LOADING in marks and STARTING in marks:
            load_times.append(marks[STARTING] - marks[LOADING])
        with harness.Machine(args.marker_disk, accel=accel, arch=args.arch) as machine:
            seconds, marks = wait_until(machine, marked, machine.started_at, BOOT_POLL)
            marker_boots.append(seconds)
            if LOADING in marks and STARTING in marks:
                marker_loads.append(marks[STARTING] - marks[LOADING])

    def figures(values):
        return "median %.2f s (min %.2f, max %.2f, %d runs)" % (
            statistics.median(values), min(values), max(values), len(values))

    image_name = facts.MACHINE[args.arch].boot_name + ".EFI"
    image_path = os.path.join(os.path.dirname(args.disk), image_name)
    image_size = os.path.getsize(image_path) if os.path.exists(image_path) else None
    print("%s under QEMU with %s, one machine at a time"
          % ("AAVMF" if args.arch == "aa64" else "OVMF", accel.upper()))
    print("  presentation, QEMU start to first slide:      %s" % figures(image_boots))
    if load_times:
        print("  presentation, boot manager's load of the image: %s" % figures(load_times))
    print("  marker application, QEMU start to its mark:    %s" % figures(marker_boots))
    if marker_loads:
        print("  marker application, boot manager's load:      %s" % figures(marker_loads))
    print("  ratio presentation / marker:                   %.2f"
          % (statistics.median(image_boots) / statistics.median(marker_boots)))
    if image_size:
        print("  (%s is %.1f MB; the disk %.1f MB)" % (image_name, image_size / 1e6,
                                                     os.path.getsize(args.disk) / 1e6))
    print("  key down to the next slide on screen:          %s" % figures(key_times))

    if args.scaled_disk:
        # Unscaled and scaled image in turn, in the same mode.
        mode = tuple(int(part) for part in args.mode.split("x"))
        unscaled = ExpectedScreens(deck.slide_size, "off",
                                   firmware_screen(args.marker_disk, accel, mode),
                                   args.expected_screen)
        scaled = ExpectedScreens(deck.slide_size, args.scale, program=args.expected_screen)
        keys = min(args.keys, deck.count - 1)
        off_times, scaled_times = [], []
        for _ in range(args.boots):
            off_times += key_to_screen(args.disk, accel, mode, unscaled, deck, keys)
            scaled_times += key_to_screen(args.scaled_disk, accel, mode, scaled, deck, keys)
        for scale, times in (("off", off_times), (args.scale, scaled_times)):
            print("  %-47s %s" % ("key down to the next slide, %s at %s:" % (scale, args.mode),
                                  figures(times)))


if __name__ == "__main__":
    main()
