#!/usr/bin/python3
"""The presentation on real UEFI firmware: boots the built disk image under
OVMF in QEMU (or, with --aa64, under AAVMF on QEMU's ARM64 virt board),
types keys over QMP and compares every screen, pixel for pixel, with what
the unit tests' oracle says it must show (screen_check.py).

One session for each way the image reaches a screen: OVMF's linear
framebuffer (VGA) and its Blt only (a virtio GPU), AAVMF's ramfb; and for
what only firmware shows: keys typed ahead and the PS/2 keyboard, a USB
keyboard (PRESENTER_KEYS), the mode set for the slide (SCREEN_MODE=slide),
the compressed pictures decoded on both machines. The pixel rules of every
mode, scale and pixel format are the unit tests' (tests/unit).

Each session is one boot; its steps run in order on that boot, since each
starts from the screen the previous one left. Sessions are independent and
run side by side (--jobs). On a 1:1 image the area a picture does not
cover must keep what the firmware drew there; a small EFI application that
only marks the corner of the screen, booted next to the presentation in
the same mode, shows what that is.

    firmware_suite.py --disk build/bootdisk.img --pictures build/bgra \\
        --marker-disk build/tests/firmware/marker.img --artifacts DIR
        --fill-disk build/scaled/fill/bootdisk.img [--long]
        [--aa64 --marker-disk-aa64 build/tests/firmware/marker-aa64.img]
        [--expected-screen build/tests/unit/expected_screen]

Exit status 0 when every session passes, 1 otherwise; 77 (skipped) for
--long without FIRMWARE_LONG=1 in the environment.
"""
import argparse
import os
import statistics
import sys
import time
import traceback
from concurrent.futures import ThreadPoolExecutor

# The harness and the deck library lie at the top of the source tree.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import harness  # noqa: E402
from screen_check import (KEY_TIMEOUT, POLL_INTERVAL, Deck, ExpectedScreens,  # noqa: E402,F401
                          KeysAndScreens, StepFailure, marked, say, settled_screen)
from slidedeck.pictures import DEFAULT_SLIDE_COUNT  # noqa: E402

# Generous: under TCG on a loaded machine the firmware takes ~10 s to start
# the image.
BOOT_TIMEOUT = 180
# OVMF's boot manager on the serial console, just before it starts an image.
BOOT_LINE = "BdsDxe: starting Boot"
LONG_IDLE_SECONDS = 6 * 60
SKIPPED = 77  # CTest's SKIP_RETURN_CODE for the long check
# The images a session boots, by name; whole and fill are also their scale.
SCALES = ("whole", "fill")


class Session:
    """One boot of an image (suite.images[image]) and the steps run on it.
    mode: the VGA (or virtio GPU) size asked for, None for the firmware's
    default. An image built with SCREEN_MODE=slide must show the slide's
    size. scale: the image's SLIDE_SCALE, by default the image's name for
    whole and fill, else off."""

    def __init__(self, suite, name, mode=None, virtio_gpu=False, image="default", arch="x64",
                 usb_keyboard=False, scale=None):
        self.suite = suite
        self.name = name
        self.arch = arch
        self.vga_size = mode
        self.virtio_gpu = virtio_gpu
        self.image = image
        self.scale = scale or (image if image in SCALES else "off")
        self.screen_slide = image == "screen-slide"
        self.usb_keyboard = usb_keyboard
        self.slide_size = suite.deck.slide_size
        self.machine = None
        self.check = None
        self.reference = None
        self.boot_seconds = None
        self.marker_seconds = None

    def log(self, text):
        say("[%s] %s" % (self.name, text))

    def machine_for(self, disk):
        return harness.Machine(disk, vga_size=self.vga_size, virtio_gpu=self.virtio_gpu,
                               accel=self.suite.accel if harness.MACHINES[self.arch].kvm else "tcg",
                               arch=self.arch, usb_keyboard=self.usb_keyboard)

    # --- the firmware's own screen -------------------------------------

    def read_reference(self, marker):
        """Waits for the marker application's corner, then for the screen to
        settle, and keeps that screen: what the firmware shows when it
        starts an application."""
        deadline = time.monotonic() + BOOT_TIMEOUT
        while not marked(marker.screendump()):
            if time.monotonic() > deadline:
                raise StepFailure("the marker application never drew its corner")
            marker.check_alive()
            time.sleep(POLL_INTERVAL)
        self.marker_seconds = time.monotonic() - marker.started_at
        return settled_screen(marker)

    # --- keys and screens (screen_check.KeysAndScreens) ------------------

    def matches(self, screen, view):
        return self.check.shows(screen, view)

    def expect(self, view, what, timeout=KEY_TIMEOUT, since=None):
        return self.check.expect(view, what, timeout=timeout, since=since)

    def press(self, key, view, what=None):
        return self.check.press(key, view, what)

    @property
    def shown(self):
        return self.check.shown

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
        self.check.step_number += 1
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
                self.check.fail("after q", last, screen,
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
        width, height = screen.width, screen.height
        stride = width * 3
        expected = self.check.expected.screen(view, width, height)
        changed = [y for y in range(height)
                   if screen.rgb[y * stride:(y + 1) * stride] != expected[y * stride:(y + 1) * stride]]
        if not changed:
            return None
        for index in self.suite.deck.slides:
            slide = self.check.expected.screen(self.suite.deck.view(index), width, height)
            same = sum(1 for y in changed if screen.rgb[y * stride:(y + 1) * stride]
                       == slide[y * stride:(y + 1) * stride])
            if same * 2 > len(changed) and same > 19:
                return index
        return None

    # --- running ---------------------------------------------------------

    def run(self, steps):
        marker = None
        expected = None
        try:
            # A scaled screen, or a 1:1 one that the slide fills, is known to
            # the last pixel; any other keeps the firmware's screen outside
            # the picture.
            reference_needed = self.scale == "off" and not self.screen_slide and \
                self.vga_size != self.slide_size
            if reference_needed:
                marker = self.machine_for(self.suite.marker_disks[self.arch]).start()
            self.machine = self.machine_for(self.suite.images.get(self.image)).start()
            if marker:
                self.reference = self.read_reference(marker)
                marker.close()
                marker = None
                self.log("the firmware's screen is %dx%d; the marker application drew after "
                         "%.1f s" % (self.reference.width, self.reference.height,
                                     self.marker_seconds))
            expected = ExpectedScreens(self.slide_size, self.scale, self.reference,
                                       self.suite.expected_screen)
            mode = self.slide_size if self.screen_slide else self.vga_size or (
                (self.reference.width, self.reference.height) if self.reference else None)
            self.check = KeysAndScreens(self.machine, expected, self.name, self.suite.artifacts,
                                        mode=mode, deck=self.suite.deck, log=self.log)
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
            if expected:
                expected.close()

    @property
    def key_seconds(self):
        return self.check.key_seconds if self.check else []

    def first_slide(self, view=None, what="first slide after boot"):
        """The first slide before any key: the smoke test. The boot itself
        may take minutes on a slow machine; once the firmware has started
        the image, the slide must follow like any other screen."""
        self.machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)
        self.boot_seconds = self.expect(view or self.suite.deck.view(0), what,
                                        since=self.machine.started_at,
                                        timeout=time.monotonic() - self.machine.started_at
                                        + KEY_TIMEOUT)


# --- the scenarios -------------------------------------------------------

def framebuffer(s):
    """OVMF's linear framebuffer in the firmware's default mode, the PS/2
    keyboard: a key typed ahead, then every key of the table, the bounds
    and the listings over a slide, ending with 1 then q."""
    d = s.suite.deck
    typed_ahead(s)
    s.press("h", d.view(0))
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


def typed_ahead(s):
    """A key typed while the firmware is still loading the image waits in
    the firmware's input and is read as an ordinary key: the image must not
    reset the input. The load takes about half a second under TCG; when the
    key arrives after the image started, this only shows j working."""
    s.machine.wait_for_serial("BdsDxe: loading Boot", BOOT_TIMEOUT)
    s.machine.press("j")
    early = BOOT_LINE not in s.machine.serial()
    s.first_slide(s.suite.deck.view(1), "j typed while the image was loading" if early
                  else "j typed just after the image started (too late to test typing ahead)")


def mode_steps(s):
    """Another screen: the first slide, j, the listings and the last slide,
    then q."""
    s.first_slide()
    s.press("j", s.suite.deck.view(1))
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


def blt_only(s):
    """The fill image on a virtio GPU, whose graphics output has no linear
    framebuffer: every screen, border included, through the firmware's
    Blt; a few keys and both listings."""
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
    s.first_slide()
    s.press("pgdn", d.view(1))
    s.press("right", d.view(2))
    s.press("spc", d.view(3))
    s.press("pgup", d.view(2))
    s.press("end", d.view(last))
    s.press("home", d.view(0))
    s.press("b", d.blank())
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


def both_ends(s):
    """The first slide, both ends of the deck, both listings, q: on AAVMF's
    ramfb with the USB keyboard, and where pictures are decoded."""
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


def decoded(s):
    """The compressed image: the first slide, the next and the last, a
    listing over it, each decoded first."""
    d = s.suite.deck
    s.first_slide()
    s.press("j", d.view(1))
    s.press("l", d.view(d.count - 1))
    s.press("1", d.view(d.count - 1, 0))
    s.press("h", d.view(0))
    s.quit()


# (name, steps, keyword arguments of the Session): one session for each way
# to the screen, and one for each thing only firmware shows.
SESSIONS = [
    ("ovmf-framebuffer", framebuffer, {}),
    ("ovmf-blt", blt_only, dict(image="fill", mode=(1920, 1080), virtio_gpu=True)),
    # At 640x480, where its blanks cover exactly the slide; the only
    # keyboard a USB one on xHCI, the way a remote is attached.
    ("presenter-keys", presenter_keys,
     dict(image="presenter-keys", mode=(640, 480), usb_keyboard=True)),
    ("compressed", decoded, dict(image="compressed", mode=(640, 480))),
    # From the firmware's default mode.
    ("screen-slide", screen_slide, dict(image="screen-slide")),
]
LONG_SESSIONS = [("long-talk", long_talk, {})]
# On QEMU's ARM64 virt board with AAVMF, where a USB keyboard is the
# keyboard and ramfb (800x600) the screen. Under TCG an ARM64 machine is
# slow, so they are few: the fill image (which holds both machines' images
# like every disk, and boots on OVMF above), and the compressed image,
# whose decoder then runs on AArch64.
AA64_SESSIONS = [
    ("aavmf-ramfb", both_ends, dict(image="fill", arch="aa64")),
    ("aavmf-compressed", decoded, dict(image="compressed", arch="aa64")),
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


class DeckSuite:
    """What a Session needs of its suite, for the scripts that boot decks
    of their own: the images by name, the deck, the artifacts folder."""

    def __init__(self, images, deck, artifacts, accel, marker_disks=None, expected_screen=None):
        self.images = images
        self.deck = deck
        self.artifacts = artifacts
        self.accel = accel
        self.marker_disks = marker_disks or {}
        self.expected_screen = expected_screen


class Suite:
    def __init__(self, args):
        self.images = {"default": args.disk, "fill": args.fill_disk,
                       "presenter-keys": args.presenter_keys_disk,
                       "compressed": args.compressed_disk, "screen-slide": args.screen_slide_disk}
        self.marker_disks = {"x64": args.marker_disk, "aa64": args.marker_disk_aa64}
        self.artifacts = args.artifacts
        self.expected_screen = args.expected_screen
        self.deck = Deck(args.pictures)
        self.accel = "kvm" if harness.kvm_works() else "tcg"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disk", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--marker-disk", required=True)
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    parser.add_argument("--expected-screen", help="the oracle program (default: "
                        "build/tests/unit/expected_screen)")
    parser.add_argument("--long", action="store_true", help="run the long-talk check only")
    parser.add_argument("--fill-disk", required=True,
                        help="boot disk built with SLIDE_SCALE=fill")
    parser.add_argument("--aa64", action="store_true",
                        help="run the sessions on AAVMF only (needs --marker-disk-aa64)")
    parser.add_argument("--marker-disk-aa64", help="the marker application's disk for AArch64")
    parser.add_argument("--presenter-keys-disk", required=True,
                        help="boot disk built with PRESENTER_KEYS")
    parser.add_argument("--compressed-disk", required=True,
                        help="boot disk built with PICTURE_COMPRESSION=lz4")
    parser.add_argument("--screen-slide-disk", required=True,
                        help="boot disk built with SCREEN_MODE=slide")
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1))
    parser.add_argument("sessions", nargs="*", help="run only these sessions")
    args = parser.parse_args()
    problem = harness.missing_packages(arch="aa64" if args.aa64 else "x64")
    if problem:
        sys.exit(problem)
    if args.aa64 and not args.marker_disk_aa64:
        parser.error("--aa64 needs --marker-disk-aa64")
    for path in (args.disk, args.marker_disk, args.fill_disk, args.marker_disk_aa64,
                 args.presenter_keys_disk, args.compressed_disk, args.screen_slide_disk):
        if path and not os.path.isfile(path):
            sys.exit("%s: missing; build first (cmake --build build --target test_images)"
                     % path)

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
    chosen = LONG_SESSIONS if args.long else AA64_SESSIONS if args.aa64 else SESSIONS
    if args.sessions:
        chosen = [entry for entry in SESSIONS + LONG_SESSIONS + AA64_SESSIONS
                  if entry[0] in args.sessions]
    if args.aa64:
        suite.accel = "tcg"
    say("firmware suite: %d sessions, %s, %d at a time" % (len(chosen), suite.accel.upper(),
                                                          args.jobs))
    sessions = [(Session(suite, name, **options), steps) for name, steps, options in chosen]
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
        say("  %-4s %-16s %s" % ("pass" if passed else "FAIL", session.name, "; ".join(figures)))
    if key_times:
        say("  median key-to-screen over all sessions: %.2f s (%d keys)"
            % (statistics.median(key_times), len(key_times)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
