"""Typing keys and comparing screens, for every firmware suite and
benchmark: the deck's pictures (Deck, View), the whole screen a build must
show from the unit tests' scaling oracle (ExpectedScreens, which runs the
expected_screen program built from tests/unit/scaled_oracle_core.cpp), and
KeysAndScreens, which types a key on a machine, waits until the screen
shows what is expected and keeps the screenshot and the serial console
under the artifacts folder when it never does.
"""
import os
import subprocess
import tempfile
import threading
import time

import harness
from slidedeck.pictures import LISTING_NAMES, SLIDE_SIZE, count_slides, picture_size, slide_name

# Under TCG on a loaded machine a key takes a fraction of a second to show.
KEY_TIMEOUT = 30
POLL_INTERVAL = 0.05
HERE = os.path.dirname(os.path.abspath(__file__))
# Where the default build puts the oracle program (tests/unit/CMakeLists.txt).
DEFAULT_EXPECTED_SCREEN = os.path.join(HERE, "..", "..", "build", "tests", "unit",
                                       "expected_screen")

_print_lock = threading.Lock()


def say(text):
    with _print_lock:
        print(text, flush=True)


class StepFailure(Exception):
    pass


class Picture:
    """A raw BGRA picture: its file and size, and its RGB rows (the form a
    screendump has) for telling pictures apart in failure messages."""

    def __init__(self, label, path, width, height):
        self.label = label
        self.path = path
        self.width, self.height = width, height
        with open(path, "rb") as raw:
            bgra = raw.read()
        if len(bgra) != width * height * 4:
            raise SystemExit("%s: %d bytes, expected %dx%dx4" % (path, len(bgra), width, height))
        rgb = bytearray(width * height * 3)
        rgb[0::3] = bgra[2::4]
        rgb[1::3] = bgra[1::4]
        rgb[2::3] = bgra[0::4]
        stride = width * 3
        self.rows = [bytes(rgb[y * stride:(y + 1) * stride]) for y in range(height)]


class View:
    """What a screen shows: pictures drawn in order (a slide, then listings
    over it), or none (a blank screen)."""

    def __init__(self, label, pictures):
        self.label = label
        self.pictures = tuple(pictures)
        self.key = tuple(p.path for p in self.pictures)


class Deck:
    """The pictures of FOLDER: every slide, or only those of the indices
    SHOWN (a long deck need not all be held in memory), by index."""

    def __init__(self, folder, shown=None, slide_size=SLIDE_SIZE):
        self.slide_size = tuple(slide_size)

        def picture(label, name):
            return Picture("%s (%s)" % (label, name), os.path.join(folder, name + ".bgra"),
                           *picture_size(name, self.slide_size))
        self.count = count_slides(folder, self.slide_size, compression="lz4")
        indices = range(self.count) if shown is None else sorted(set(shown))
        self.slides = {i: picture("slide %d" % i, slide_name(i + 1)) for i in indices}
        self.listings = [picture("listing %d" % i, name) for i, name in enumerate(LISTING_NAMES)]
        # The comparisons tell pictures apart by their pixels.
        contents = [tuple(p.rows) for p in self.slides.values()]
        if len(set(contents)) != len(contents):
            raise SystemExit("%s: two slides are identical; the suite cannot tell them apart"
                             % folder)

    def view(self, slide, *listings):
        """The slide, then each listing drawn over it from the top, in the
        order given."""
        pictures = [self.slides[slide]] + [self.listings[i] for i in listings]
        labels = ["slide %d" % slide] + ["listing %d" % i for i in listings]
        return View(" under ".join(reversed(labels)), pictures)

    def blank(self):
        return View("a black screen", [])

    def describe(self, screen):
        """Which pictures the screen's top-left corner shows 1:1, band by
        band, for failure messages."""
        width, height = self.slide_size
        height = min(height, screen.height)
        seen = screen.rows(0, 0, min(width, screen.width), height)
        unexplained = set(range(height))
        parts = []
        for _ in range(4):
            best, best_rows = None, set()
            for picture in list(self.slides.values()) + self.listings:
                rows = {y for y in unexplained
                        if y < len(picture.rows) and picture.rows[y][:len(seen[y])] == seen[y]}
                if len(rows) > len(best_rows):
                    best, best_rows = picture, rows
            if not best:
                break
            parts.append("%s on rows %s" % (best.label, ranges(best_rows)))
            unexplained -= best_rows
        if unexplained:
            parts.append("no picture 1:1 on rows %s" % ranges(unexplained))
        return "; ".join(parts)


def ranges(rows):
    """{0,1,2,5} -> '0-2, 5'"""
    rows = sorted(rows)
    spans, start = [], None
    for i, row in enumerate(rows):
        if start is None:
            start = row
        if i + 1 == len(rows) or rows[i + 1] != row + 1:
            spans.append("%d" % start if start == row else "%d-%d" % (start, row))
            start = None
    return ", ".join(spans)


def differing_pixels(a, b, width, height):
    """Pixels that differ between two RGB screens of width x height:
    (count, (left, top, right, bottom)), the box None when count is 0."""
    count, box = 0, None
    stride = width * 3
    for y in range(height):
        row_a, row_b = a[y * stride:(y + 1) * stride], b[y * stride:(y + 1) * stride]
        if row_a == row_b:
            continue
        for x in range(0, stride, 3):
            if row_a[x:x + 3] != row_b[x:x + 3]:
                count += 1
                px = x // 3
                box = (min(box[0], px), min(box[1], y), max(box[2], px), max(box[3], y)) \
                    if box else (px, y, px, y)
    return count, box


class ExpectedScreens:
    """The whole screen a build with SLIDE_SCALE=scale must show on a mode,
    from the unit tests' oracle (the expected_screen program): RGB bytes,
    rows top to bottom, as a screendump has them. With a background (the
    firmware's own screen, from the marker application) the parts a 1:1
    slide leaves alone keep it; without one they are black."""

    def __init__(self, slide_size, scale="off", background=None, program=None):
        self.program = program or os.environ.get("EXPECTED_SCREEN", DEFAULT_EXPECTED_SCREEN)
        if not os.access(self.program, os.X_OK):
            raise SystemExit("%s: missing; build first (cmake --build build)" % self.program)
        self.slide_size = slide_size
        self.scale = scale or "off"
        self.work = tempfile.mkdtemp(prefix="expected.")
        self.background = None
        self.cache = {}
        if background is not None:
            self.background = os.path.join(self.work, "background.ppm")
            with open(self.background, "wb") as out:
                out.write(b"P6\n%d %d\n255\n" % (background.width, background.height))
                out.write(background.rgb)
            self.background_size = (background.width, background.height)

    def screen(self, view, width, height):
        key = (view.key, width, height)
        if key not in self.cache:
            out = os.path.join(self.work, "screen.ppm")
            command = [self.program, "--slide", "%dx%d" % self.slide_size,
                       "--mode", "%dx%d" % (width, height), "--scale", self.scale, "--out", out]
            if self.background and (width, height) == self.background_size:
                command += ["--background", self.background]
            command += ["%s:%dx%d" % (p.path, p.width, p.height) for p in view.pictures]
            subprocess.run(command, check=True)
            with open(out, "rb") as ppm:
                data = ppm.read()
            self.cache[key] = data[data.index(b"255\n") + 4:]
        return self.cache[key]

    def close(self):
        for name in os.listdir(self.work):
            os.remove(os.path.join(self.work, name))
        os.rmdir(self.work)


def shows(screen, view, expected, mode=None):
    """Whether screen (a harness.Screen) shows view, every pixel as
    expected (ExpectedScreens) gives it; in mode, when one is given."""
    if mode and (screen.width, screen.height) != tuple(mode):
        return False
    return screen.rgb == expected.screen(view, screen.width, screen.height)


MARKER_RGB = b"\x00\xff\x00"  # tests/firmware/marker_app.cpp's colour


def marked(screen):
    """Whether the marker application has drawn its corner."""
    return screen.rows(0, 0, 8, 1)[0] == MARKER_RGB * 8 and \
        screen.rows(7, 7, 1, 1)[0] == MARKER_RGB


def settled_screen(machine, pause=0.5, timeout=KEY_TIMEOUT):
    """The screen once two screendumps pause seconds apart agree: with the
    marker application, what the firmware shows when it starts an
    application, for ExpectedScreens' background."""
    deadline = time.monotonic() + timeout
    previous = machine.screendump()
    while True:
        time.sleep(pause)
        screen = machine.screendump()
        if screen.rgb == previous.rgb and (screen.width, screen.height) == \
                (previous.width, previous.height):
            return screen
        if time.monotonic() > deadline:
            raise StepFailure("the screen did not settle within %d s" % timeout)
        machine.check_alive()
        previous = screen


class KeysAndScreens:
    """Types keys on a machine (harness.Machine) and compares its screen
    with what expected (ExpectedScreens) gives for a view. mode: the size
    the screen must have, or None for whatever mode the firmware chose.
    A failure keeps NAME-stepNN.png and .serial.txt under artifacts and
    raises StepFailure; deck names the pictures seen in its message."""

    def __init__(self, machine, expected, name, artifacts, mode=None, deck=None, log=None):
        self.machine = machine
        self.expected = expected
        self.name = name
        self.artifacts = artifacts
        self.mode = tuple(mode) if mode else None
        self.deck = deck
        self.log = log or (lambda text: say("[%s] %s" % (name, text)))
        self.shown = None
        self.step_number = 0
        self.key_seconds = []

    def shows(self, screen, view):
        return shows(screen, view, self.expected, self.mode)

    def expect(self, view, what, timeout=KEY_TIMEOUT, since=None, poll=POLL_INTERVAL):
        """Polls the screen until it shows view; returns the seconds from
        since (default: now) to the first matching screendump."""
        self.step_number += 1
        since = since or time.monotonic()
        deadline = since + timeout
        while True:
            screen = self.machine.screendump()
            now = time.monotonic()
            if self.shows(screen, view):
                self.shown = view
                if what:
                    self.log("ok   %-44s %s (%.2f s)" % (what, view.label, now - since))
                return now - since
            if now > deadline:
                self.fail(what, view, screen)
            self.machine.check_alive()
            time.sleep(poll)

    def press(self, key, view, what=None, poll=POLL_INTERVAL):
        """Types key (a character, or a QEMU key code such as "pgdn") and
        waits for view; returns the seconds from key down to it (polled
        every poll seconds, from 0.03 s after key down). A key that
        leaves the screen as it was is checked by the step after it."""
        changes = self.shown is None or view.key != self.shown.key
        codes = harness.key_codes(key) if len(key) == 1 else [key]
        start = time.monotonic()
        # Key down, a short hold, key up, and only then the screen: a key
        # held while the screendumps take their time on a loaded machine
        # would repeat.
        self.machine.press_codes(codes)
        elapsed = self.expect(view, what if what is not None else "key %s" % key, since=start,
                              poll=poll)
        if changes:
            self.key_seconds.append(elapsed)
        return elapsed

    def fail(self, what, view, screen, reason=None):
        base = os.path.join(self.artifacts, "%s-step%02d" % (self.name, self.step_number))
        os.makedirs(self.artifacts, exist_ok=True)
        screen.save_png(base + ".png")
        with open(base + ".serial.txt", "w") as log:
            log.write(self.machine.serial())
        lines = ["%s: expected %s" % (what, view.label)]
        if reason:
            lines.append("  " + reason)
        if self.mode and (screen.width, screen.height) != self.mode:
            lines.append("  the screen is %dx%d, not the %dx%d mode asked for" % (
                (screen.width, screen.height) + self.mode))
        else:
            count, box = differing_pixels(screen.rgb, self.expected.screen(
                view, screen.width, screen.height), screen.width, screen.height)
            if count:
                lines.append("  %d pixels differ from the expected %dx%d screen (x %d-%d, y %d-%d)"
                             % (count, screen.width, screen.height, box[0], box[2], box[1],
                                box[3]))
            if self.deck and self.expected.scale == "off":
                lines.append("  seen: %s" % self.deck.describe(screen))
        lines.append("  screenshot: %s.png, serial console: %s.serial.txt" % (base, base))
        raise StepFailure("\n".join(lines))
