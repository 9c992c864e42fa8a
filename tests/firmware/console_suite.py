#!/usr/bin/python3
"""The presenter console on real firmware: the image built with
SCREENS=presenter and SLIDE_SCALE=fill, booted once on OVMF with two
display devices (VGA at 1280x800, secondary-vga at 800x600), each screen
captured on its own (screendump with the device's id):

  - the second screen, the audience's, is the slide filled into its mode,
    pixel for pixel, as the firmware suite's scaled sessions compute it;
  - the first screen is the console: its current and next previews hold
    those slides reduced into their rectangles, at the first slide and
    after j;
  - after j, which starts the talk's timer, the timer's rectangle changes
    within 3 s with no key pressed;
  - after s the screens have swapped: the first is the slide filled into
    1280x800, the second a console with the same previews laid out for
    800x600.

Where the console puts its previews and its timer, and what a preview
must hold, come from console_regions (the viewer's layout with the faces
the image links; the host tests' scaling oracle for the pixels).

    console_suite.py --disk build/presenter/bootdisk.img --pictures build/bgra \\
        --regions build/tests/firmware/console_regions --artifacts DIR

Exit status 0 when every screen showed what it must, 1 otherwise. Booted
with the image built with SCREENS=mirror (build/mirror/), the first screen
shows the slide, not a console, and the first step fails.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from firmware_suite import BOOT_LINE, BOOT_TIMEOUT  # noqa: E402
import harness  # noqa: E402
from screen_check import (KEY_TIMEOUT, POLL_INTERVAL, Deck, ExpectedScreens,  # noqa: E402
                          StepFailure, differing_pixels, say)
from slidedeck.pictures import SLIDE_SIZE, slide_name  # noqa: E402

WIDTH, HEIGHT = SLIDE_SIZE

# The two screens' modes, first (VGA) and second (secondary-vga): the only
# pair OVMF gives two screens (harness/qemu.py).
MODES = ((1280, 800), (800, 600))
NAMES = ("first screen (VGA, %dx%d)" % MODES[0], "second screen (secondary-vga, %dx%d)" % MODES[1])
# The timer must move on within this many seconds of running.
TIMER_SECONDS = 3


def size_text(size):
    return "%dx%d" % size


class Console:
    """The console's rectangles on one mode, and what its previews must
    hold, from console_regions."""

    def __init__(self, regions, pictures, mode):
        self.regions, self.pictures, self.mode = regions, pictures, mode
        lines = subprocess.run([regions, size_text(mode), size_text((WIDTH, HEIGHT))],
                               check=True, capture_output=True, text=True).stdout.split("\n")
        self.rects = {}
        for line in filter(None, lines):
            name, *numbers = line.split()
            self.rects[name] = tuple(int(n) for n in numbers)
        self.previews = {}

    def preview(self, name, slide):
        """The RGB bytes the preview NAME (current or next) must hold for
        slide SLIDE (from 0)."""
        if (name, slide) not in self.previews:
            with tempfile.TemporaryDirectory() as folder:
                out = os.path.join(folder, "preview.rgb")
                picture = os.path.join(self.pictures, slide_name(slide + 1) + ".bgra")
                subprocess.run([self.regions, size_text(self.mode), size_text((WIDTH, HEIGHT)),
                                name, picture, out], check=True)
                with open(out, "rb") as data:
                    self.previews[(name, slide)] = data.read()
        return self.previews[(name, slide)]

    def region(self, screen, name):
        return b"".join(screen.rows(*self.rects[name]))

    def checks(self, slide):
        """The console showing slide SLIDE: the current and next previews."""
        def check(name, shown):
            def problem(screen):
                if (screen.width, screen.height) != self.mode:
                    return "the screen is %dx%d" % (screen.width, screen.height)
                if self.region(screen, name) != self.preview(name, shown):
                    return "the %s preview (%d, %d, %dx%d) is not slide %d reduced" % (
                        (name,) + self.rects[name] + (shown,))
                return None
            return problem
        return [check("current", slide), check("next", slide + 1)]


class ConsoleSession:
    """One boot of the disk with both screens, and the checks on it."""

    def __init__(self, disk, deck, regions, pictures, artifacts, accel):
        self.deck = deck
        self.artifacts = artifacts
        self.expected = ExpectedScreens(deck.slide_size, "fill")
        self.consoles = [Console(regions, pictures, mode) for mode in MODES]
        self.machine = harness.Machine(disk, vga_size=MODES[0], second_screen=MODES[1],
                                       accel=accel)
        self.step = 0

    def screens(self):
        return [self.machine.screendump(device) for device in harness.SCREEN_IDS]

    def talk(self, number, slide):
        """Screen NUMBER showing the talk at slide SLIDE, filled into its mode."""
        mode = MODES[number]

        def problem(screen):
            if (screen.width, screen.height) != mode:
                return "the screen is %dx%d" % (screen.width, screen.height)
            count, box = differing_pixels(
                screen.rgb, self.expected.screen(self.deck.view(slide), *mode), *mode)
            if count:
                return "%d pixels differ from the filled slide (x %d-%d, y %d-%d)" % (
                    (count,) + (box[0], box[2], box[1], box[3]))
            return None
        return problem

    def expect(self, checks, what, since, timeout=KEY_TIMEOUT):
        """Polls both screens until every check (screen number, check)
        passes; returns the screens."""
        self.step += 1
        deadline = since + timeout
        while True:
            screens = self.screens()
            problems = [(number, check(screens[number])) for number, check in checks]
            problems = [(number, problem) for number, problem in problems if problem]
            if not problems:
                say("ok   %-34s (%.2f s)" % (what, time.monotonic() - since))
                return screens
            if time.monotonic() > deadline:
                self.fail(what, screens, problems)
            self.machine.check_alive()
            time.sleep(POLL_INTERVAL)

    def fail(self, what, screens, problems):
        os.makedirs(self.artifacts, exist_ok=True)
        base = os.path.join(self.artifacts, "console-step%02d" % self.step)
        lines = [what + ":"]
        for number, problem in problems:
            lines.append("  %s: %s" % (NAMES[number], problem))
        for number, screen in enumerate(screens):
            path = "%s-screen%d.png" % (base, number + 1)
            screen.save_png(path)
            lines.append("  %s: screenshot %s" % (NAMES[number], path))
        with open(base + ".serial.txt", "w") as log:
            log.write(self.machine.serial())
        lines.append("  serial console: %s.serial.txt" % base)
        raise StepFailure("\n".join(lines))

    def shows(self, console, slide):
        """The console on screen CONSOLE, the talk on the other, at SLIDE."""
        audience = 1 - console
        return [(audience, self.talk(audience, slide))] + \
            [(console, check) for check in self.consoles[console].checks(slide)]

    def press(self, key, checks, what):
        start = time.monotonic()
        self.machine.press(key)
        return self.expect(checks, "key %s: %s" % (key, what), start)

    def timer_moves(self, screens):
        """The console's timer (on the first screen) shows another reading
        within TIMER_SECONDS, with no key pressed."""
        self.step += 1
        console = self.consoles[0]
        since = time.monotonic()
        before = console.region(screens[0], "timer")
        while True:
            screens = self.screens()
            if console.region(screens[0], "timer") != before:
                say("ok   %-34s (%.2f s)" % ("the timer runs, no key pressed",
                                             time.monotonic() - since))
                return
            if time.monotonic() - since > TIMER_SECONDS:
                self.fail("the timer runs", screens, [
                    (0, "the timer (%d, %d, %dx%d) did not change in %d s"
                     % (console.rects["timer"] + (TIMER_SECONDS,)))])
            self.machine.check_alive()
            time.sleep(POLL_INTERVAL)

    def run(self):
        with self.machine:
            self.machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
            # Timed from QEMU's start, with a key's time once the firmware
            # has started the image, as the firmware suite's first slide.
            self.expect(self.shows(0, 0), "first slide, console on the first",
                        self.machine.started_at,
                        time.monotonic() - self.machine.started_at + KEY_TIMEOUT)
            screens = self.press("j", self.shows(0, 1), "next slide, console on the first")
            self.timer_moves(screens)
            self.press("s", self.shows(1, 1), "swapped, console on the second")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True, help="boot disk built with SCREENS=presenter "
                        "and SLIDE_SCALE=fill")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--regions", required=True, help="the console_regions program")
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages()
    if problem:
        sys.exit(problem)
    for path in (args.disk, args.regions):
        if not os.path.isfile(path):
            sys.exit("%s: missing; build first (cmake --build build --target test_images)" % path)
    accel = "kvm" if harness.kvm_works() else "tcg"
    say("presenter console, %s: %s at %dx%d and %s at %dx%d" % (
        accel.upper(), harness.SCREEN_IDS[0], MODES[0][0], MODES[0][1],
        harness.SCREEN_IDS[1], MODES[1][0], MODES[1][1]))
    started = time.monotonic()
    try:
        ConsoleSession(args.disk, Deck(args.pictures, shown=(0, 1, 2)), args.regions,
                       args.pictures, args.artifacts, accel).run()
    except (StepFailure, harness.QemuError) as failure:
        say("FAIL %s" % failure)
        return 1
    say("pass: console and talk on their screens, swapped by s, %.0f s wall time"
        % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
