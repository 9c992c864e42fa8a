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

With --presenter-disk (and --regions, the console_regions program) it
times the presenter console instead: the image built with
SCREENS=presenter (build/presenter/) against the mirror image, on VGA at
1280x800 beside secondary-vga at 800x600 (the pair OVMF gives): key down
to the next slide on the second screen (the audience's), and for the
presenter image to the console's previews on the first as well; and on
the presenter image the same keys with the talk's timer running and
paused (t).

    bench/screens_timing.py --mirror-disk build/mirror/bootdisk.img \\
        --presenter-disk build/presenter/bootdisk.img \\
        --regions build/tests/firmware/console_regions --pictures build/bgra
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
from console_suite import MODES as CONSOLE_MODES, Console  # noqa: E402
from firmware_suite import BOOT_LINE, BOOT_TIMEOUT  # noqa: E402
from screen_check import Deck, ExpectedScreens  # noqa: E402

MODE = (1280, 800)
TIMEOUT = 120
# How long each screendump took, for reading the figures against.
DUMP_SECONDS = []


def wait_for(machine, device, expected, since):
    """Dumps the screen DEVICE back to back until it holds EXPECTED (its
    bytes, or a function of the screen that says whether it does); the
    seconds since SINCE."""
    while True:
        before = time.monotonic()
        screen = machine.screendump(device)
        DUMP_SECONDS.append(time.monotonic() - before)
        if expected(screen) if callable(expected) else screen.rgb == expected:
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


def console_shows(console, slide):
    """Whether a screen holds the console's previews of SLIDE and the next."""
    return lambda screen: all(console.region(screen, name) == console.preview(name, shown)
                              for name, shown in (("current", slide), ("next", slide + 1)))


def console_key_times(disk, deck, audience, console, keys, presenter):
    """Boots DISK with the console's two screens and presses j: for each
    key, the seconds from key down to the next slide on the second screen
    (the audience's), and, for the PRESENTER image, to the console's
    previews on the first as well (dumped once the second shows it, so
    that figure holds at least one more dump). The
    presenter image's first j, which starts the timer, is not timed; then
    KEYS keys with the timer running, t, and KEYS keys with it paused."""
    first, second = harness.SCREEN_IDS
    times = {"running": [], "running console": [], "paused": [], "paused console": []}
    with harness.Machine(disk, vga_size=CONSOLE_MODES[0], second_screen=CONSOLE_MODES[1],
                         accel="tcg") as machine:
        machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
        wait_for(machine, second, audience.screen(deck.view(0), *CONSOLE_MODES[1]), time.monotonic())
        slide = 0
        phases = ["running"]
        if presenter:
            machine.press("j")
            slide = 1
            wait_for(machine, second, audience.screen(deck.view(slide), *CONSOLE_MODES[1]), time.monotonic())
            phases.append("paused")
        for phase in phases:
            if phase == "paused":
                machine.press("t")
                time.sleep(2)
            for _ in range(keys):
                slide += 1
                # What the screens must show, worked out before the key.
                expected = audience.screen(deck.view(slide), *CONSOLE_MODES[1])
                if presenter:
                    console.preview("current", slide)
                    console.preview("next", slide + 1)
                start = time.monotonic()
                machine.key_event(["j"], down=True)
                times[phase].append(wait_for(machine, second, expected, start))
                if presenter:
                    times[phase + " console"].append(wait_for(machine, first,
                                                              console_shows(console, slide),
                                                              start))
                machine.key_event(["j"], down=False)
    return times


def console_figures(args, parser):
    deck = Deck(args.pictures)
    keys = -(-args.keys // args.rounds)
    if 2 * keys + 2 >= deck.count:
        parser.error("%d keys a boot: the deck has %d slides" % (2 * keys + 2, deck.count))
    audience = ExpectedScreens(deck.slide_size, "fill")
    console = Console(args.regions, args.pictures, CONSOLE_MODES[0])
    presenter = {}
    mirror = []
    for _ in range(args.rounds):
        for phase, values in console_key_times(args.presenter_disk, deck, audience, console,
                                               keys, presenter=True).items():
            presenter.setdefault(phase, []).extend(values)
        mirror += console_key_times(args.mirror_disk, deck, audience, console, keys,
                                    presenter=False)["running"]
    print("OVMF under TCG, VGA at %dx%d and secondary-vga at %dx%d, SLIDE_SCALE=fill; key "
          "down to the next slide, %d boots of each image (load average %.1f)"
          % (CONSOLE_MODES[0] + CONSOLE_MODES[1] + (args.rounds, os.getloadavg()[0])))
    for label, values in (
            ("SCREENS=mirror, on the second screen:", mirror),
            ("SCREENS=presenter, on the second screen:", presenter["running"]),
            ("  and the console's previews on the first:", presenter["running console"]),
            ("SCREENS=presenter, timer paused (t), second:", presenter["paused"]),
            ("  and the console's previews on the first:", presenter["paused console"])):
        print("  %-44s %s" % (label, figures(values)))
    print("  %-44s median %.3f s (%d dumps)" % ("one screendump:", statistics.median(DUMP_SECONDS),
                                               len(DUMP_SECONDS)))


def figures(values):
    return "median %.3f s (min %.3f, max %.3f, %d keys)" % (
        statistics.median(values), min(values), max(values), len(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--mirror-disk", required=True, help="built with SCREENS=mirror")
    parser.add_argument("--first-disk", help="the same built with SCREENS=first")
    parser.add_argument("--presenter-disk", help="the same built with SCREENS=presenter: time "
                        "the console against the mirror image instead")
    parser.add_argument("--regions", help="with --presenter-disk, the console_regions program")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--keys", type=int, default=20, help="keys timed on each image")
    parser.add_argument("--rounds", type=int, default=2, help="boots of each image, in turn")
    args = parser.parse_args()
    if args.presenter_disk:
        if not args.regions:
            parser.error("--presenter-disk needs --regions")
        console_figures(args, parser)
        return
    if not args.first_disk:
        parser.error("--first-disk or --presenter-disk is required")
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
