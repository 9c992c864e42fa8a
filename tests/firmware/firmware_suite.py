#!/usr/bin/python3
"""The presentation on real UEFI firmware: boots the built disk image under
OVMF in QEMU (or, with --aa64, the same disk under AAVMF on QEMU's ARM64
virt board), types keys over QMP and compares every screen, pixel for
pixel, with what the raw pictures say it must show.

Each session is one boot; its steps run in order on that boot, since each
starts from the screen the previous one left. Sessions are independent and
run side by side (--jobs). The area a picture does not cover must keep what
the firmware drew there; a small EFI application that only marks the corner
of the screen, booted next to the presentation in the same mode, shows what
that is.

    firmware_suite.py --disk build/bootdisk.img --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img --artifacts DIR [--long]
        [--scaled --whole-disk build/scaled/whole/bootdisk.img
         --fill-disk build/scaled/fill/bootdisk.img]
        [--aa64 --marker-disk-aa64 build/tests/firmware/marker-aa64.img
         --fill-disk build/scaled/fill/bootdisk.img]

Exit status 0 when every session passes, 1 otherwise; 77 (skipped) for
--long without FIRMWARE_LONG=1 in the environment.
"""
import argparse
import os
import statistics
import sys
import threading
import time
import traceback
from concurrent.futures import ThreadPoolExecutor

# The harness and the deck library lie at the top of the source tree.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import harness  # noqa: E402
from slidedeck.pictures import (DEFAULT_SLIDE_COUNT, LISTING_NAMES, SLIDE_SIZE,  # noqa: E402
                                count_slides, picture_size, slide_name)

WIDTH, HEIGHT = SLIDE_SIZE
# Generous: under TCG on a loaded machine the firmware takes ~10 s to start
# the image, and a key a fraction of a second to show.
BOOT_TIMEOUT = 180
KEY_TIMEOUT = 30
POLL_INTERVAL = 0.05
# OVMF's boot manager on the serial console, just before it starts an image.
BOOT_LINE = "BdsDxe: starting Boot"
MARKER_RGB = b"\x00\xff\x00"  # marker_app.cpp's colour
LONG_IDLE_SECONDS = 6 * 60
SKIPPED = 77  # CTest's SKIP_RETURN_CODE for the long check

_print_lock = threading.Lock()


def say(text):
    with _print_lock:
        print(text, flush=True)


class StepFailure(Exception):
    pass


class Picture:
    """A raw BGRA picture as RGB rows, the form a screendump has."""

    def __init__(self, label, path, width, height):
        self.label = label
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


class Deck:
    """The pictures of FOLDER: every slide, or only those of the indices
    SHOWN (a long deck need not all be held in memory), by index."""

    def __init__(self, folder, shown=None):
        def picture(label, name):
            return Picture("%s (%s)" % (label, name), os.path.join(folder, name + ".bgra"),
                           *picture_size(name, (WIDTH, HEIGHT)))
        self.count = count_slides(folder, (WIDTH, HEIGHT), compression="lz4")
        indices = range(self.count) if shown is None else sorted(set(shown))
        self.slides = {i: picture("slide %d" % i, slide_name(i + 1)) for i in indices}
        self.listings = [picture("listing %d" % i, name) for i, name in enumerate(LISTING_NAMES)]
        # The comparisons below tell pictures apart by their pixels.
        contents = [tuple(p.rows) for p in self.slides.values()]
        if len(set(contents)) != len(contents):
            raise SystemExit("%s: two slides are identical; the suite cannot tell them apart"
                             % folder)

    def view(self, slide, *listings):
        """The 640x480 rows expected on the screen: the slide, then each
        listing drawn over it from the top, in the order given."""
        rows = list(self.slides[slide].rows)
        labels = ["slide %d" % slide]
        for index in listings:
            listing = self.listings[index]
            rows[:len(listing.rows)] = listing.rows
            labels.append("listing %d" % index)
        return View(" under ".join(reversed(labels)), rows)

    def describe(self, screen):
        """Which pictures the screen's top-left 640x480 shows, band by band,
        for failure messages."""
        height = min(HEIGHT, screen.height)
        seen = screen.rows(0, 0, min(WIDTH, screen.width), height)
        unexplained = set(range(height))
        parts = []
        for _ in range(4):
            best, best_rows = None, set()
            for picture in list(self.slides.values()) + self.listings:
                rows = {y for y in unexplained
                        if y < len(picture.rows) and picture.rows[y] == seen[y]}
                if len(rows) > len(best_rows):
                    best, best_rows = picture, rows
            if not best:
                break
            parts.append("%s on rows %s" % (best.label, ranges(best_rows)))
            unexplained -= best_rows
        if unexplained:
            parts.append("no picture on rows %s" % ranges(unexplained))
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


class View:
    def __init__(self, label, rows):
        self.label = label
        self.rows = rows


def differing_pixels(a, b, width, height, first_column=lambda y: 0):
    """Pixels that differ between two RGB screens of width x height, each
    row from first_column(y) on: (count, (left, top, right, bottom)), the
    box None when count is 0."""
    count, box = 0, None
    stride = width * 3
    for y in range(height):
        start = first_column(y) * 3
        row_a = a[y * stride + start:(y + 1) * stride]
        row_b = b[y * stride + start:(y + 1) * stride]
        if row_a == row_b:
            continue
        for x in range(0, len(row_a), 3):
            if row_a[x:x + 3] != row_b[x:x + 3]:
                count += 1
                px = start // 3 + x // 3
                box = (min(box[0], px), min(box[1], y), max(box[2], px), max(box[3], y)) \
                    if box else (px, y, px, y)
    return count, box


def outside_mismatch(screen, reference):
    """Pixels outside the top-left 640x480 that differ from the reference
    screen: (count, bounding box) or None when they all agree."""
    if (screen.width, screen.height) != (reference.width, reference.height):
        return (-1, "screen is %dx%d, the firmware's was %dx%d" % (
            screen.width, screen.height, reference.width, reference.height))
    count, box = differing_pixels(screen.rgb, reference.rgb, screen.width, screen.height,
                                  lambda y: WIDTH if y < HEIGHT else 0)
    return (count, "x %d-%d, y %d-%d" % (box[0], box[2], box[1], box[3])) if count else None


def use_slide_size(size):
    """Sets the slide size the checks assume: the default deck's 640x480,
    unless a script boots a deck of another size."""
    global WIDTH, HEIGHT
    WIDTH, HEIGHT = size


def overlaps(screen_length, slide_length):
    """For each screen position d of a reduction from slide_length to
    screen_length: the slide positions s it covers and their weights, the
    overlap of [d slide_length, (d + 1) slide_length) with
    [s screen_length, (s + 1) screen_length)."""
    spans = []
    for d in range(screen_length):
        begin, end = d * slide_length, (d + 1) * slide_length
        spans.append([(s, min(end, (s + 1) * screen_length) - max(begin, s * screen_length))
                      for s in range(begin // screen_length, (end - 1) // screen_length + 1)])
    return spans


class ScaledScreen:
    """The whole screen an image built with SLIDE_SCALE=whole or fill must
    show on a mode, from the rules (src/scale.cpp's opening comment): the
    slide as a centred rectangle (the largest whole factor, else the
    largest rectangle of the slide's shape), each pixel the picture pixel
    whose centre is nearest when enlarging, the exact mean of the area it
    covers when reducing, black around."""

    def __init__(self, scale, width, height):
        factor = min(width // WIDTH, height // HEIGHT) if scale == "whole" else 0
        if factor:
            area_width, area_height = WIDTH * factor, HEIGHT * factor
        elif width * HEIGHT >= height * WIDTH:
            area_width, area_height = height * WIDTH // HEIGHT, height
        else:
            area_width, area_height = width, width * HEIGHT // WIDTH
        self.width, self.height = width, height
        self.left, self.top = (width - area_width) // 2, (height - area_height) // 2
        self.area_width, self.area_height = area_width, area_height
        self.reducing = area_width < WIDTH
        if self.reducing:
            self.column_spans = overlaps(area_width, WIDTH)
            self.row_spans = overlaps(area_height, HEIGHT)
        self.columns = [(2 * x + 1) * WIDTH // (2 * area_width) for x in range(area_width)]
        self.row_sources = [(2 * y + 1) * HEIGHT // (2 * area_height)
                            for y in range(area_height)]
        self.scaled_rows = {}
        self.screens = {}

    def scaled_row(self, row):
        if row not in self.scaled_rows:
            self.scaled_rows[row] = b"".join(row[3 * x:3 * x + 3] for x in self.columns)
        return self.scaled_rows[row]

    def reduced_rows(self, rows):
        """The area's rows of a reduction: each colour byte the weighted sum
        over the slide, rounded to nearest, computed as whole numbers with
        the three colours in 32-bit lanes of one integer."""
        def packed(row):
            return [row[x] | row[x + 1] << 32 | row[x + 2] << 64 for x in range(0, len(row), 3)]

        column_sums = {}
        for row in rows:
            if row not in column_sums:
                pixels = packed(row)
                column_sums[row] = [sum(w * pixels[x] for x, w in span)
                                    for span in self.column_spans]
        total = WIDTH * HEIGHT
        lane = (1 << 32) - 1
        out = []
        for span in self.row_spans:
            sums = [0] * self.area_width
            for y, w in span:
                for x, value in enumerate(column_sums[rows[y]]):
                    sums[x] += w * value
            line = bytearray(self.area_width * 3)
            for x, value in enumerate(sums):
                for channel in range(3):
                    line[3 * x + channel] = (2 * (value >> 32 * channel & lane) + total) // \
                        (2 * total)
            out.append(bytes(line))
        return out

    def screen(self, view):
        """The screen's RGB bytes, rows top to bottom, as a screendump has them."""
        key = tuple(view.rows)
        if key not in self.screens:
            black_row = bytes(self.width * 3)
            left = bytes(self.left * 3)
            right = bytes((self.width - self.left - self.area_width) * 3)
            area = self.reduced_rows(view.rows) if self.reducing else \
                [self.scaled_row(view.rows[y]) for y in self.row_sources]
            self.screens[key] = b"".join(
                [black_row] * self.top + [left + row + right for row in area]
                + [black_row] * (self.height - self.top - self.area_height))
        return self.screens[key]

    def mismatch(self, screen, view):
        """Pixels that differ from the expected screen, as "count (box)"."""
        count, box = differing_pixels(screen.rgb, self.screen(view), self.width, self.height)
        if not count:
            return None
        return "%d pixels differ from the scaled screen (x %d-%d, y %d-%d; the scaled area " \
            "is x %d-%d, y %d-%d)" % ((count, box[0], box[2], box[1], box[3], self.left,
                                       self.left + self.area_width - 1, self.top,
                                       self.top + self.area_height - 1))


class Session:
    """One boot of the presentation and the steps run on it. A session
    with a scale boots the image built with that SLIDE_SCALE and compares
    the whole screen with the scaled one."""

    def __init__(self, suite, name, mode=None, virtio_gpu=False, scale=None, arch="x64"):
        self.suite = suite
        # The presenter-keys image, booted with a USB keyboard as a remote is.
        self.presenter_keys = scale == "presenter-keys"
        # The image whose pictures are LZ4 blocks (PICTURE_COMPRESSION=lz4),
        # and the one built with SCREEN_MODE=slide: from the firmware's own
        # mode it must switch to the slide's, which the slide then fills.
        self.variant = scale if scale in VARIANTS else None
        self.screen_slide = scale == "screen-slide"
        if self.variant:
            scale = None
        self.name = name
        self.arch = arch
        self.vga_size = mode
        self.virtio_gpu = virtio_gpu
        self.scale = scale
        self.scaled = ScaledScreen(scale, *mode) if scale else None
        self.machine = None
        self.reference = None
        self.shown = None
        self.step_number = 0
        self.boot_seconds = None
        self.marker_seconds = None
        self.key_seconds = []

    def log(self, text):
        say("[%s] %s" % (self.name, text))

    def machine_for(self, disk):
        return harness.Machine(disk, vga_size=self.vga_size, virtio_gpu=self.virtio_gpu,
                            accel=self.suite.accel if harness.MACHINES[self.arch].kvm else "tcg",
                            arch=self.arch, usb_keyboard=self.presenter_keys)

    # --- the firmware's own screen -------------------------------------

    def read_reference(self, marker):
        """Waits for the marker application's corner, then for the screen to
        settle, and keeps that screen: what the firmware shows when it
        starts an application."""
        deadline = time.monotonic() + BOOT_TIMEOUT
        previous = None
        while True:
            marker.check_alive()
            screen = marker.screendump()
            if screen.rows(0, 0, 1, 1)[0] == MARKER_RGB and screen.rows(7, 7, 1, 1)[0] == MARKER_RGB:
                if self.marker_seconds is None:
                    self.marker_seconds = time.monotonic() - marker.started_at
                if previous is not None and previous.rgb == screen.rgb:
                    return screen
                previous = screen
                time.sleep(0.5)
            elif time.monotonic() > deadline:
                raise StepFailure("the marker application never drew its corner")
            else:
                time.sleep(POLL_INTERVAL)

    # --- waiting for the screen ----------------------------------------

    def matches(self, screen, view):
        if self.vga_size and (screen.width, screen.height) != self.vga_size:
            return False
        if self.screen_slide:
            return (screen.width, screen.height) == (WIDTH, HEIGHT) and \
                screen.rows(0, 0, WIDTH, HEIGHT) == view.rows
        if self.scaled:
            return screen.rgb == self.scaled.screen(view)
        height = min(HEIGHT, screen.height)
        width = min(WIDTH, screen.width)
        seen = screen.rows(0, 0, width, height)
        for y in range(height):
            if seen[y] != view.rows[y][:width * 3]:
                return False
        return self.reference is None or outside_mismatch(screen, self.reference) is None

    def expect(self, view, what, timeout=KEY_TIMEOUT, since=None):
        """Polls the screen until it shows view; returns the seconds from
        since (default: now) to the first matching screendump."""
        self.step_number += 1
        since = since or time.monotonic()
        deadline = since + timeout
        while True:
            screen = self.machine.screendump()
            if self.matches(screen, view):
                elapsed = time.monotonic() - since
                self.shown = view
                self.log("ok   %-44s %s (%.2f s)" % (what, view.label, elapsed))
                return elapsed
            if time.monotonic() > deadline:
                self.fail(what, view, screen)
            self.machine.check_alive()
            time.sleep(POLL_INTERVAL)

    def fail(self, what, view, screen, reason=None):
        base = os.path.join(self.suite.artifacts, "%s-step%02d" % (self.name, self.step_number))
        os.makedirs(self.suite.artifacts, exist_ok=True)
        screen.save_png(base + ".png")
        with open(base + ".serial.txt", "w") as log:
            log.write(self.machine.serial())
        lines = ["%s: expected %s" % (what, view.label)]
        if reason:
            lines.append("  " + reason)
        if self.vga_size and (screen.width, screen.height) != self.vga_size:
            lines.append("  the screen is %dx%d, not the %dx%d mode asked for" % (
                (screen.width, screen.height) + self.vga_size))
        elif self.screen_slide and (screen.width, screen.height) != (WIDTH, HEIGHT):
            lines.append("  the screen is %dx%d, not the slide's %dx%d" % (
                screen.width, screen.height, WIDTH, HEIGHT))
        elif self.scaled:
            lines.append("  " + self.scaled.mismatch(screen, view))
        else:
            lines.append("  seen: %s" % self.suite.deck.describe(screen))
        if self.reference is not None:
            off = outside_mismatch(screen, self.reference)
            if off:
                lines.append("  outside the 640x480 corner, %s pixels differ from the "
                             "firmware's screen (%s)" % off)
        lines.append("  screenshot: %s.png, serial console: %s.serial.txt" % (base, base))
        raise StepFailure("\n".join(lines))

    def press(self, key, view, what=None):
        """Types key and waits for view. Keys that leave the screen as it was
        are checked by the step after them, which starts from their state."""
        changes = self.shown is None or view.rows != self.shown.rows
        start = time.monotonic()
        if len(key) == 1:
            self.machine.press(key)
        else:
            self.machine.press_codes([key])
        elapsed = self.expect(view, what or "key %s" % key, since=start)
        if changes:
            self.key_seconds.append(elapsed)

    def quit(self):
        """Types q and checks how the image ends: it draws nothing more, and
        returns success to the boot manager, which goes on to its next
        option; an error status or a CPU exception shows on the serial
        console instead. The firmware soon prints and draws over the last
        picture, so only screendumps taken before the next option starts
        can show what the image left."""
        last = self.shown
        text = self.machine.serial()
        started = text.find(BOOT_LINE)
        if started < 0:
            raise StepFailure("no boot line on the serial console: %r" % text)
        self.step_number += 1
        self.machine.press("q")
        deadline = time.monotonic() + KEY_TIMEOUT
        while True:
            screen = self.machine.screendump()
            # Read after the dump: while the next option's start line is
            # missing, that option had not drawn anything yet.
            text = self.machine.serial()
            if text.find(BOOT_LINE, started + 1) >= 0:
                break
            redrawn = self.slide_drawn_over(screen, last)
            if redrawn is not None:
                self.fail("after q", last, screen,
                          "the image drew slide %d again after q" % redrawn)
            if time.monotonic() > deadline:
                raise StepFailure("the boot manager started nothing within %d s of q; serial "
                                  "console:\n%s" % (KEY_TIMEOUT, text[started:]))
            self.machine.check_alive()
            time.sleep(POLL_INTERVAL / 2)
        ended = text[started:]
        if "failed to start" in ended or "Exception" in ended:
            raise StepFailure("the image did not return success:\n" + ended)
        next_option = text[text.find(BOOT_LINE, started + 1):].splitlines()[0]
        self.log("ok   q returned success; the boot manager went on: %s" % next_option)

    def slide_drawn_over(self, screen, view):
        """The slide index when most rows of the screen that should show
        something else show that slide instead (a listing replaced by a
        redraw); None otherwise. Rows the firmware writes text into differ
        from every slide."""
        seen = screen.rows(0, 0, min(WIDTH, screen.width), min(HEIGHT, screen.height))
        changed = [y for y in range(len(seen)) if seen[y] != view.rows[y][:len(seen[y])]]
        if not changed:
            return None
        for index, slide in self.suite.deck.slides.items():
            same = sum(1 for y in changed if seen[y] == slide.rows[y][:len(seen[y])])
            if same * 2 > len(changed) and same > 19:
                return index
        return None

    # --- running ---------------------------------------------------------

    def run(self, steps):
        marker = None
        try:
            # A scaled screen is known to the last pixel; an unscaled one
            # keeps the firmware's screen outside the picture.
            reference_needed = self.vga_size != (WIDTH, HEIGHT) and not self.scale and \
                not self.screen_slide
            if reference_needed:
                marker = self.machine_for(self.suite.marker_disks[self.arch]).start()
            disk = self.suite.scaled_disks[self.scale] if self.scale else \
                self.suite.variant_disks[self.variant] if self.variant else self.suite.disk
            self.machine = self.machine_for(disk).start()
            if marker:
                self.reference = self.read_reference(marker)
                marker.close()
                marker = None
                self.log("the firmware's screen is %dx%d; the marker application drew after "
                         "%.1f s" % (self.reference.width, self.reference.height,
                                     self.marker_seconds))
            steps(self)
            return True
        except (StepFailure, harness.QemuError) as failure:
            self.log("FAIL %s" % failure)
            return False
        except Exception:
            self.log("FAIL\n" + traceback.format_exc())
            return False
        finally:
            if marker:
                marker.close()
            if self.machine:
                self.machine.close()

    def first_slide(self):
        """The first slide before any key: the smoke test. The boot itself
        may take minutes on a slow machine; once the firmware has started
        the image, the slide must follow like any other screen."""
        self.machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
        self.boot_seconds = self.expect(self.suite.deck.view(0), "first slide after boot",
                                        since=self.machine.started_at,
                                        timeout=time.monotonic() - self.machine.started_at
                                        + KEY_TIMEOUT)


# --- the scenarios -------------------------------------------------------

def navigation(s):
    """The firmware's default mode: every key of the table, the bounds, and
    the listings over a slide, ending with 1 then q."""
    d = s.suite.deck
    s.first_slide()
    # The bounds: k at the first slide and j at the last change nothing, as
    # the key after each shows.
    s.press("k", d.view(0), "k at the first slide")
    s.press("j", d.view(1), "j after k at the first slide")
    last = d.count - 1
    s.press("l", d.view(last))
    s.press("j", d.view(last), "j at the last slide")
    s.press("k", d.view(last - 1), "k after j at the last slide")
    s.press("h", d.view(0))
    # Ten forward: from last-11 to last-1, from last-10 and from last to
    # last. J from 0 three times, then j up to last-11.
    s.press("J", d.view(10))
    s.press("J", d.view(20))
    s.press("J", d.view(30))
    for index in range(31, last - 10):
        s.press("j", d.view(index))
    s.press("J", d.view(last - 1), "J from last-11")
    s.press("k", d.view(last - 2))
    s.press("k", d.view(last - 3))
    s.press("J", d.view(last), "J from last-3")
    s.press("K", d.view(last - 10), "K from last")
    s.press("J", d.view(last), "J from last-10")
    s.press("J", d.view(last), "J from last")
    s.press("k", d.view(last - 1), "k after J from last")
    # Ten back: from 15 to 5, from 10 and 5 to 0, from 0 it stays.
    s.press("h", d.view(0))
    s.press("J", d.view(10))
    for index in range(11, 16):
        s.press("j", d.view(index))
    s.press("K", d.view(5), "K from 15")
    s.press("K", d.view(0), "K from 5")
    s.press("J", d.view(10))
    s.press("K", d.view(0), "K from 10")
    s.press("K", d.view(0), "K from 0")
    s.press("j", d.view(1), "j after K from 0")
    # Upper case H, L and Q, an unlisted character and an arrow key (no
    # character at all) only redraw; j then still goes one on.
    s.press("j", d.view(2))
    for key in ("H", "L", "Q", "x", "right", "pgdn"):
        s.press(key, d.view(2), "%s (ignored)" % key)
    s.press("j", d.view(3), "j after the ignored keys")
    # The listings over slide 3.
    s.press("1", d.view(3, 0), "1")
    s.press("x", d.view(3), "1 then an ignored key")
    s.press("1", d.view(3, 0), "1")
    s.press("2", d.view(3, 0, 1), "1 then 2")
    s.press("k", d.view(2), "k over the listings")
    s.press("2", d.view(2, 1), "2")
    s.press("1", d.view(2, 1, 0), "2 then 1")
    s.press("j", d.view(3), "1 then j")
    s.press("1", d.view(3, 0), "1")
    s.quit()


def mode_steps(s):
    """Another screen: the slide in the corner, the rest untouched, the
    listings and the last slide, then q."""
    s.first_slide()
    s.press("j", s.suite.deck.view(1))
    listings_and_quit(s)


def typed_ahead(s):
    """A key typed while the firmware is still loading the image waits in
    the firmware's input and is read as an ordinary key: the image must not
    reset the input. The load takes about half a second under TCG; when the
    key arrives after the image started, this only shows j working."""
    s.machine.wait_for_serial("BdsDxe: loading Boot", BOOT_TIMEOUT)
    s.machine.press("j")
    early = BOOT_LINE not in s.machine.serial()
    s.machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
    s.expect(s.suite.deck.view(1), "j typed while the image was loading" if early
             else "j typed just after the image started (too late to test typing ahead)")
    listings_and_quit(s)


def listings_and_quit(s):
    d = s.suite.deck
    s.press("1", d.view(1, 0))
    s.press("2", d.view(1, 0, 1), "1 then 2")
    s.press("l", d.view(d.count - 1))
    s.quit()


def long_talk(s):
    """Left alone for six minutes, the presentation is still on the screen
    and still answers keys: no watchdog or firmware timer cuts a talk."""
    d = s.suite.deck
    s.first_slide()
    s.press("j", d.view(1))
    serial_before = s.machine.serial()
    s.log("idle for %d s" % LONG_IDLE_SECONDS)
    end = time.monotonic() + LONG_IDLE_SECONDS
    while time.monotonic() < end:
        s.machine.check_alive()
        time.sleep(5)
    if s.machine.serial() != serial_before:
        raise StepFailure("the firmware wrote to the serial console while the talk was idle:\n"
                          + s.machine.serial()[len(serial_before):])
    s.expect(d.view(1), "still on the screen after %d s" % LONG_IDLE_SECONDS, timeout=1)
    s.press("j", d.view(2), "j after the idle time")
    s.press("k", d.view(1), "k after the idle time")


def scaled_steps(s):
    """A scaled image: the first slide with the firmware's screen cleared
    around it, a few keys and both listings, every screen checked whole."""
    d = s.suite.deck
    s.first_slide()
    s.press("j", d.view(1))
    s.press("J", d.view(11))
    s.press("1", d.view(11, 0))
    s.press("2", d.view(11, 0, 1), "1 then 2")
    s.press("k", d.view(10))
    s.press("l", d.view(d.count - 1))


def presenter_keys(s):
    """The image built with PRESENTER_KEYS on a USB keyboard: a remote's
    keys, a black screen that the next key only ends, g and a number, and
    Esc and F5, which must neither end the talk nor move."""
    d = s.suite.deck
    last = d.count - 1
    black = View("a black screen", [bytes(WIDTH * 3)] * HEIGHT)
    s.first_slide()
    s.press("pgdn", d.view(1))
    s.press("right", d.view(2))
    s.press("spc", d.view(3))
    s.press("pgup", d.view(2))
    s.press("end", d.view(last))
    s.press("home", d.view(0))
    s.press("b", black)
    s.press("pgdn", d.view(0), "Page Down only ends the blank")
    # Nothing is drawn while the number is typed: 1 would be a listing.
    for key in ("g", "1", "2"):
        s.press(key, d.view(0), "%s of g 1 2" % key)
    s.press("ret", d.view(11), "g 1 2 Enter")
    for key in ("esc", "f5"):
        s.press(key, d.view(11), "%s (ignored)" % key)
    s.press("j", d.view(12), "j after Esc and F5")
    s.quit()


def screen_slide(s):
    """The image built with SCREEN_MODE=slide, started in OVMF's 1280x800:
    it sets the listed 640x480 mode, which the first slide fills exactly,
    and j."""
    s.first_slide()
    s.press("j", s.suite.deck.view(1))


def aavmf_ramfb(s):
    """AAVMF's linear framebuffer (ramfb, 800x600) and the USB keyboard: the
    first slide, both ends of the deck, both listings, q."""
    d = s.suite.deck
    last = d.count - 1
    s.first_slide()
    s.press("k", d.view(0), "k at the first slide")
    s.press("j", d.view(1), "j after k at the first slide")
    s.press("l", d.view(last))
    s.press("j", d.view(last), "j at the last slide")
    s.press("K", d.view(last - 10), "K from the last slide")
    s.press("J", d.view(last), "J to the last slide")
    s.press("1", d.view(last, 0))
    s.press("2", d.view(last, 0, 1), "1 then 2")
    s.press("h", d.view(0))
    s.quit()


def aavmf_virtio_gpu(s):
    """AAVMF's virtio GPU, whose graphics output has no linear framebuffer:
    the first slide and a listing through the firmware's Blt."""
    d = s.suite.deck
    s.first_slide()
    s.press("2", d.view(0, 1))


# (name, steps, VGA size or None for the firmware's default, virtio GPU)
SESSIONS = [
    ("default-mode", navigation, None, False),
    ("640x480", typed_ahead, (640, 480), False),
    ("800x600", mode_steps, (800, 600), False),
    ("1024x768", mode_steps, (1024, 768), False),
    ("virtio-gpu", mode_steps, None, True),
]
LONG_SESSIONS = [("long-talk", long_talk, None, False)]
# (name, steps, mode, virtio GPU, "presenter-keys"): the image built with
# PRESENTER_KEYS, at 640x480, where its blanks cover exactly the slide.
PRESENTER_KEYS_SESSIONS = [
    ("presenter-keys", presenter_keys, (640, 480), False, "presenter-keys"),
]
# The image with its pictures stored as LZ4 blocks, at 640x480: every
# picture it shows is decoded first. Its AAVMF twin is in AA64_SESSIONS.
COMPRESSED_SESSIONS = [
    ("compressed-640x480", aavmf_ramfb, (640, 480), False, "compressed"),
]
# The image built with SCREEN_MODE=slide, from the firmware's default mode.
SCREEN_SLIDE_SESSIONS = [("screen-slide", screen_slide, None, False, "screen-slide")]
# The images besides the default and the scaled ones that a session boots.
VARIANTS = ("presenter-keys", "compressed", "screen-slide")
# (name, steps, mode, virtio GPU, SLIDE_SCALE of the image booted)
SCALED_SESSIONS = [
    ("whole-1920x1080", scaled_steps, (1920, 1080), False, "whole"),
    ("whole-2560x1600", scaled_steps, (2560, 1600), False, "whole"),
    ("fill-1280x800", scaled_steps, (1280, 800), False, "fill"),
    ("fill-1920x1080", scaled_steps, (1920, 1080), False, "fill"),
    ("fill-virtio-gpu", scaled_steps, (1920, 1080), True, "fill"),
]


# The same boot disk as the sessions above, on QEMU's ARM64 virt board with
# AAVMF: (name, steps, mode, virtio GPU, SLIDE_SCALE of the image booted).
# Under TCG an ARM64 machine is slow, so they are few. ramfb is always
# 800x600.
AA64_SESSIONS = [
    ("aavmf-ramfb", aavmf_ramfb, None, False, None),
    ("aavmf-virtio-gpu", aavmf_virtio_gpu, None, True, None),
    ("aavmf-fill-ramfb", scaled_steps, (800, 600), False, "fill"),
]
AA64_COMPRESSED_SESSIONS = [
    ("aavmf-compressed-ramfb", aavmf_ramfb, None, False, "compressed"),
]


def run_sessions(sessions, title, started):
    """Runs (session, steps) pairs two at a time, then says how each went
    and the wall time since STARTED under TITLE: 0 when all passed, else 1.
    For the scripts that boot decks of their own."""
    with ThreadPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(lambda entry: entry[0].run(entry[1]), sessions))
    for (session, _), passed in zip(sessions, results):
        say("  %-4s %-24s first slide %s s after QEMU started" % (
            "pass" if passed else "FAIL", session.name,
            "%.1f" % session.boot_seconds if session.boot_seconds else "-"))
    say("%s: %.0f s wall time" % (title, time.monotonic() - started))
    return 0 if all(results) else 1


class Suite:
    def __init__(self, args):
        self.disk = args.disk
        self.marker_disks = {"x64": args.marker_disk, "aa64": args.marker_disk_aa64}
        self.artifacts = args.artifacts
        self.scaled_disks = {"whole": args.whole_disk, "fill": args.fill_disk}
        self.variant_disks = {"presenter-keys": args.presenter_keys_disk,
                              "compressed": args.compressed_disk,
                              "screen-slide": args.screen_slide_disk}
        self.deck = Deck(args.pictures)
        self.accel = "kvm" if harness.kvm_works() else "tcg"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    parser.add_argument("--long", action="store_true", help="run the long-talk check only")
    parser.add_argument("--whole-disk", help="boot disk built with SLIDE_SCALE=whole")
    parser.add_argument("--fill-disk", help="boot disk built with SLIDE_SCALE=fill")
    parser.add_argument("--scaled", action="store_true",
                        help="run the sessions of the scaled images only (needs both disks)")
    parser.add_argument("--aa64", action="store_true",
                        help="run the sessions on AAVMF only (needs --marker-disk-aa64 and "
                             "--fill-disk)")
    parser.add_argument("--marker-disk-aa64", help="the marker application's disk for AArch64")
    parser.add_argument("--presenter-keys-disk",
                        help="boot disk built with PRESENTER_KEYS; its session runs with the others")
    parser.add_argument("--compressed-disk",
                        help="boot disk built with PICTURE_COMPRESSION=lz4; its session runs "
                             "with the others (on AAVMF too, with --aa64)")
    parser.add_argument("--screen-slide-disk",
                        help="boot disk built with SCREEN_MODE=slide; its session runs with the "
                             "others")
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    parser.add_argument("sessions", nargs="*", help="run only these sessions")
    args = parser.parse_args()
    problem = harness.missing_packages(arch="aa64" if args.aa64 else "x64")
    if problem:
        sys.exit(problem)
    if args.scaled and not (args.whole_disk and args.fill_disk):
        parser.error("--scaled needs --whole-disk and --fill-disk")
    if args.aa64 and not (args.marker_disk_aa64 and args.fill_disk):
        parser.error("--aa64 needs --marker-disk-aa64 and --fill-disk")
    for path in (args.disk, args.marker_disk, args.whole_disk, args.fill_disk,
                 args.marker_disk_aa64, args.presenter_keys_disk, args.compressed_disk,
                 args.screen_slide_disk):
        if path and not os.path.isfile(path):
            sys.exit("%s: missing; build first (cmake --build build)" % path)

    if args.long and os.environ.get("FIRMWARE_LONG") != "1":
        say("the long-talk check idles for %d minutes; set FIRMWARE_LONG=1 to run it"
            % (LONG_IDLE_SECONDS // 60))
        return SKIPPED

    started = time.monotonic()
    suite = Suite(args)
    if suite.deck.count != DEFAULT_SLIDE_COUNT:
        say("%s: %d slides; these sessions are written for a deck of %d (decks of other "
            "lengths: deck_lengths.py)" % (args.pictures, suite.deck.count, DEFAULT_SLIDE_COUNT))
        return SKIPPED
    aa64 = [entry + ("aa64",) for entry in AA64_SESSIONS +
            (AA64_COMPRESSED_SESSIONS if args.compressed_disk else [])]
    chosen = LONG_SESSIONS if args.long else SCALED_SESSIONS if args.scaled else \
        aa64 if args.aa64 else SESSIONS
    if chosen is SESSIONS:
        chosen = SESSIONS + (PRESENTER_KEYS_SESSIONS if args.presenter_keys_disk else []) + \
            (COMPRESSED_SESSIONS if args.compressed_disk else []) + \
            (SCREEN_SLIDE_SESSIONS if args.screen_slide_disk else [])
    if args.sessions:
        chosen = [entry for entry in SESSIONS + LONG_SESSIONS + SCALED_SESSIONS + aa64 +
                  PRESENTER_KEYS_SESSIONS + COMPRESSED_SESSIONS + SCREEN_SLIDE_SESSIONS
                  if entry[0] in args.sessions]
    if args.aa64:
        suite.accel = "tcg"
    say("firmware suite: %d sessions, %s, %d at a time" % (len(chosen), suite.accel.upper(),
                                                          args.jobs))
    sessions = [(Session(suite, *entry[:1], *entry[2:]), entry[1]) for entry in chosen]
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(lambda entry: entry[0].run(entry[1]), sessions))

    say("\nfirmware suite under %s, %.0f s wall time" % (suite.accel.upper(),
                                                        time.monotonic() - started))
    key_times = []
    for (session, _), passed in zip(sessions, results):
        figures = []
        if session.boot_seconds is not None:
            figures.append("first slide %.1f s after QEMU started" % session.boot_seconds)
        if session.marker_seconds is not None:
            figures.append("marker application %.1f s" % session.marker_seconds)
        if session.key_seconds:
            figures.append("median key-to-screen %.2f s over %d keys" % (
                statistics.median(session.key_seconds), len(session.key_seconds)))
        key_times += session.key_seconds
        say("  %-4s %-12s %s" % ("pass" if passed else "FAIL", session.name, "; ".join(figures)))
    if key_times:
        say("  median key-to-screen over all sessions: %.2f s (%d keys)"
            % (statistics.median(key_times), len(key_times)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
