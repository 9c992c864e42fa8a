#!/usr/bin/python3
"""Two screens on real firmware: the image built with SCREENS=mirror and
SLIDE_SCALE=fill, booted once on OVMF with two display devices in two
modes (VGA at 1280x800, secondary-vga at 800x600). Each screen is
captured on its own (screendump with the device's id) and compared, pixel
for pixel, with the slide filled into that screen's own mode, as the
unit tests' oracle gives it (screen_check.ExpectedScreens): after the
first slide, after j and after listing 1.

    screens_suite.py --disk build/mirror/bootdisk.img --pictures build/bgra \\
        --artifacts DIR

Exit status 0 when every screen showed what it must, 1 otherwise. Booted
with an image built with SCREENS=first, the second screen keeps what the
firmware left there and the first step fails.
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from firmware_suite import BOOT_LINE, BOOT_TIMEOUT  # noqa: E402
from screen_check import (KEY_TIMEOUT, POLL_INTERVAL, Deck, ExpectedScreens,  # noqa: E402
                          StepFailure, differing_pixels, say, shows)
import harness  # noqa: E402

# The two screens' modes, first (VGA) and second (secondary-vga): two
# shapes, so each gets its own scaling (the slide enlarged to 1066x800
# between black bars on the first, to the whole 800x600 of the second).
# OVMF starts the second screen in the first's mode where it can; with
# 2 MiB of video memory it cannot, and takes 800x600 (harness/qemu.py).
MODES = ((1280, 800), (800, 600))
NAMES = ("first screen (VGA, %dx%d)" % MODES[0], "second screen (secondary-vga, %dx%d)" % MODES[1])


class TwoScreens:
    """One boot of the disk with both screens, and the checks on it."""

    def __init__(self, disk, deck, artifacts, accel):
        self.deck = deck
        self.artifacts = artifacts
        self.expected = ExpectedScreens(deck.slide_size, "fill")
        self.machine = harness.Machine(disk, vga_size=MODES[0], second_screen=MODES[1],
                                       accel=accel)
        self.step = 0

    def screens(self):
        return [self.machine.screendump(device) for device in harness.SCREEN_IDS]

    def expect(self, view, what, since, timeout=KEY_TIMEOUT):
        """Polls both screens until each shows view filled into its mode."""
        self.step += 1
        deadline = since + timeout
        while True:
            screens = self.screens()
            if all(shows(screen, view, self.expected, mode)
                   for screen, mode in zip(screens, MODES)):
                say("ok   %-28s %s on both screens (%.2f s)"
                    % (what, view.label, time.monotonic() - since))
                return
            if time.monotonic() > deadline:
                self.fail(what, view, screens)
            self.machine.check_alive()
            time.sleep(POLL_INTERVAL)

    def fail(self, what, view, screens):
        os.makedirs(self.artifacts, exist_ok=True)
        base = os.path.join(self.artifacts, "screens-step%02d" % self.step)
        lines = ["%s: expected %s on both screens" % (what, view.label)]
        for number, (screen, mode, name) in enumerate(zip(screens, MODES, NAMES), 1):
            path = "%s-screen%d.png" % (base, number)
            screen.save_png(path)
            if (screen.width, screen.height) != mode:
                problem = "the screen is %dx%d, not the mode asked for" % (screen.width,
                                                                           screen.height)
            else:
                count, box = differing_pixels(
                    screen.rgb, self.expected.screen(view, *mode), *mode)
                problem = ("%d pixels differ from the scaled screen (x %d-%d, y %d-%d)"
                           % (count, box[0], box[2], box[1], box[3]) if count
                           else "as expected")
            lines.append("  %s: %s; screenshot %s" % (name, problem, path))
        with open(base + ".serial.txt", "w") as log:
            log.write(self.machine.serial())
        lines.append("  serial console: %s.serial.txt" % base)
        raise StepFailure("\n".join(lines))

    def press(self, key, view, what=None):
        start = time.monotonic()
        self.machine.press(key)
        self.expect(view, what or "key %s" % key, start)

    def run(self):
        with self.machine:
            self.machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
            # Timed from QEMU's start, with a key's time once the firmware
            # has started the image, as the firmware suite's first slide.
            self.expect(self.deck.view(0), "first slide after boot", self.machine.started_at,
                        time.monotonic() - self.machine.started_at + KEY_TIMEOUT)
            self.press("j", self.deck.view(1))
            self.press("1", self.deck.view(1, 0))
        self.expected.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True, help="boot disk built with SCREENS=mirror "
                        "and SLIDE_SCALE=fill")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages()
    if problem:
        sys.exit(problem)
    if not os.path.isfile(args.disk):
        sys.exit("%s: missing; build first (cmake --build build --target test_images)"
                 % args.disk)
    accel = "kvm" if harness.kvm_works() else "tcg"
    say("two screens, %s: %s at %dx%d and %s at %dx%d" % (
        accel.upper(), harness.SCREEN_IDS[0], MODES[0][0], MODES[0][1],
        harness.SCREEN_IDS[1], MODES[1][0], MODES[1][1]))
    started = time.monotonic()
    try:
        TwoScreens(args.disk, Deck(args.pictures), args.artifacts, accel).run()
    except (StepFailure, harness.QemuError) as failure:
        say("FAIL %s" % failure)
        return 1
    say("pass: both screens, %.0f s wall time" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
