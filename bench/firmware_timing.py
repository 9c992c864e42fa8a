#!/usr/bin/python3
"""How long the presentation takes on OVMF (or with --arch aa64 on AAVMF,
QEMU's ARM64 virt board), one machine at a time so the
figures are not skewed by other boots: boot to first slide, the firmware's
load of the image, key to screen; and the same boot for the marker
application, a few kilobytes, so that the cost of loading the 60 MB image
shows as a ratio. Prints figures; checks nothing (the firmware suite does).

    bench/firmware_timing.py --disk build/bootdisk.img --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img [--boots 3] [--keys 20]
        [--arch aa64]  (with --marker-disk build/tests/firmware/marker-aa64.img)
        [--scaled-disk build/scaled/fill/bootdisk.img --scale fill --mode 1920x1080]
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
from firmware_suite import MARKER_RGB, WIDTH, HEIGHT, Deck, ScaledScreen  # noqa: E402

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


def shows(rows):
    return lambda screen: screen.rows(0, 0, WIDTH, HEIGHT) == rows


def shows_scaled(scaled, view):
    return lambda screen: screen.rgb == scaled.screen(view)


def key_to_screen(disk, accel, mode, shows_view, deck, keys, virtio_gpu=False):
    """Boots disk in mode, waits for the first slide, then presses j keys
    times: the seconds from each key down to the next slide on the screen."""
    times = []
    with harness.Machine(disk, vga_size=mode, virtio_gpu=virtio_gpu, accel=accel) as machine:
        wait_until(machine, shows_view(deck.view(0)), machine.started_at, BOOT_POLL)
        for index in range(1, keys + 1):
            start = time.monotonic()
            machine.key_event(["j"], down=True)
            times.append(wait_until(machine, shows_view(deck.view(index)), start, 0)[0])
            machine.key_event(["j"], down=False)
    return times


def first_screen(disk, shown, boots, accel):
    """BOOTS boots of DISK, each timed from QEMU's start to shown(screen):
    (median, min, max) in seconds."""
    seconds = []
    for _ in range(boots):
        with harness.Machine(disk, accel=accel) as machine:
            seconds.append(wait_until(machine, shown, machine.started_at, BOOT_POLL)[0])
    return statistics.median(seconds), min(seconds), max(seconds)


def marked(screen):
    return screen.rows(0, 0, 8, 1)[0] == MARKER_RGB * 8


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
    args = parser.parse_args()
    deck = Deck(args.pictures)
    accel = "kvm" if args.arch == "x64" and harness.kvm_works() else "tcg"

    image_boots, load_times, key_times, marker_boots, marker_loads = [], [], [], [], []
    for _ in range(args.boots):
        with harness.Machine(args.disk, accel=accel, arch=args.arch) as machine:
            seconds, marks = wait_until(machine, shows(deck.view(0).rows), machine.started_at,
                                        BOOT_POLL)
            image_boots.append(seconds)
            if LOADING in marks and STARTING in marks:
                load_times.append(marks[STARTING] - marks[LOADING])
            for index in range(1, args.keys + 1):
                # Timed from key down; the image acts on the key down.
                start = time.monotonic()
                machine.key_event(["j"], down=True)
                shown = shows(deck.view(index % deck.count).rows)
                key_times.append(wait_until(machine, shown, start, 0)[0])
                machine.key_event(["j"], down=False)
                if index % deck.count == deck.count - 1:
                    machine.press("h")
                    wait_until(machine, shows(deck.view(0).rows), time.monotonic(), BOOT_POLL)
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
        scaled = ScaledScreen(args.scale, *mode)
        keys = min(args.keys, deck.count - 1)
        off_times, scaled_times = [], []
        for _ in range(args.boots):
            off_times += key_to_screen(args.disk, accel, mode, lambda view: shows(view.rows),
                                       deck, keys)
            scaled_times += key_to_screen(args.scaled_disk, accel, mode,
                                          lambda view: shows_scaled(scaled, view), deck, keys)
        for scale, times in (("off", off_times), (args.scale, scaled_times)):
            print("  %-47s %s" % ("key down to the next slide, %s at %s:" % (scale, args.mode),
                                  figures(times)))


if __name__ == "__main__":
    main()
