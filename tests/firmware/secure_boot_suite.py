#!/usr/bin/python3
"""Secure Boot on real firmware: OVMF's enforcing build, with Debian's test
certificate in db, boots the image signed with the test key and refuses
every other.

One boot of one machine with four disks, which the firmware tries in this
order (each disk's label is its serial number, which the firmware prints
on the serial console):

    UNSIGNED         the image as linked
    PICTURE-CHANGED  signed with the test key, then one picture byte changed
    OTHER-KEY        signed with a key whose certificate is not in db
    SIGNED           signed with the test key

The first three must each fail to load with "Access Denied", and no slide
may appear before the firmware starts the fourth; that one must show the
first slide, answer keys and return on q, as on the usual firmware.

With --shim, the same firmware with Microsoft's keys instead (a fresh copy
of Debian's OVMF_VARS_4M.ms.fd), and the disks that boot through Debian's
shim, the image signed with a key the firmware does not know:

    1. SHIM: shim refuses the image and offers MokManager; the session
       follows its screens on the serial console, enrolls EFI/KEYS/
       SLIDESDB.CER from the disk, reboots, and the first slide appears,
       answers keys and returns on q.
    2. On the same variable store, a second machine with SHIM-CHANGED (the
       image with one picture byte changed after signing) before SHIM: shim
       refuses the first, the firmware goes on to the second, which shows
       the first slide (the key is still enrolled).

    secure_boot_suite.py [--shim] --disks build/tests/firmware/secure-boot \\
        --pictures build/bgra --artifacts DIR

Exit status 0 when the session passes, 1 otherwise.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
import harness  # noqa: E402
import firmware_suite  # noqa: E402
from firmware_suite import BOOT_TIMEOUT, POLL_INTERVAL, Deck, Session, StepFailure  # noqa: E402

REFUSED = [("UNSIGNED", "unsigned.img"), ("PICTURE-CHANGED", "picture-changed.img"),
           ("OTHER-KEY", "other-key.img")]
SIGNED = ("SIGNED", "signed.img")
SHIM = ("SHIM", "shim.img")
SHIM_CHANGED = ("SHIM-CHANGED", "shim-picture-changed.img")
# What shim says on the serial console when the image it starts does not
# verify: an unknown key, or a changed byte.
SHIM_REFUSAL = "Verification failed: (0x1A) Security Violation"
# Shim's and MokManager's screens on the way to enrolling the key from the
# disk (README, "Without the setup menu"): the text that names the screen,
# the last text it draws, and the keys that answer it.
ENROLLMENT = [
    (SHIM_REFUSAL, "OK", ["ret"]),
    # The key must come within the 10-second countdown.
    ("Press any key to perform MOK management", "Booting in", ["spc"]),
    ("Perform MOK management", "Enroll hash from disk", ["down", "ret"]),  # Enroll key from disk
    ("Select Key", "SLIDES", ["ret"]),  # the disk's volume, by its label
    ("Select Key", "EFI/", ["ret"]),
    ("Select Key", "KEYS/", ["down", "down", "ret"]),  # past ../ and BOOT/
    ("Select Key", "SLIDESDB.CER", ["down", "ret"]),  # past ../
    ("[Enroll MOK]", "Continue", ["down", "ret"]),  # past View key 0
    ("Enroll the key(s)?", "Yes", ["down", "ret"]),  # past No
    ("Perform MOK management", "Reboot", ["ret"]),
]
# The changed image: shim refuses it, MokManager's menu is left by
# "Continue boot", shim refuses it once more and gives up.
REFUSAL_SCREENS = [
    (SHIM_REFUSAL, "OK", ["ret"]),
    ("Press any key to perform MOK management", "Booting in", ["spc"]),
    ("Perform MOK management", "Enroll hash from disk", ["ret"]),  # Continue boot
    (SHIM_REFUSAL, "OK", ["ret"]),
]
# The serial console is taken as drawn once it has not grown for this long.
SCREEN_SETTLED = 0.5
# Where the disk keeps the certificate to enroll (tools/make-disk-image).
CERTIFICATE_ON_DISK = "::/EFI/KEYS/SLIDESDB.CER"
ESP_OFFSET = "@@1M"


def boot_line(action, label):
    """OVMF's boot manager line for one of the labelled disks, e.g.
    'BdsDxe: failed to load Boot0001 "UEFI QEMU HARDDISK UNSIGNED " ...'."""
    return re.compile(r'BdsDxe: %s Boot[0-9A-F]{4} "[^"]* %s "' % (action, re.escape(label)))


class DiskChain(harness.Machine):
    """A machine with Secure Boot enforced and several disks, tried by the
    firmware in the order given; each disk's serial number is its label."""

    def __init__(self, disks, **options):
        # Memory for the largest image; the firmware frees a refused one.
        memory = max(harness.memory_for(path) for _, path in disks)
        super().__init__(None, secure_boot=True, memory_mb=memory, **options)
        self.disks = disks

    def command_line(self):
        command = super().command_line()
        for index, (label, path) in enumerate(self.disks):
            command += ["-drive", "if=none,id=chain%d,format=raw,snapshot=on,file=%s"
                        % (index, os.path.abspath(path)),
                        "-device", "ide-hd,drive=chain%d,bus=ide.%d,serial=%s,bootindex=%d"
                        % (index, index, label, index + 1)]
        return command


class ShimMachine(DiskChain):
    """A DiskChain on the same firmware with Microsoft's keys, its variable
    store a file kept across machines. serial() gives only what came after
    the last mark(), so the steps after a reboot see that boot alone."""

    def __init__(self, disks, vars_file, **options):
        super().__init__(disks, microsoft_keys=True, vars_file=vars_file, **options)
        self.serial_base = 0

    def mark(self):
        self.serial_base += len(self.serial())

    def serial(self):
        return super().serial()[self.serial_base:]


def watch(s, text, offset=0, refusal=None, timeout=BOOT_TIMEOUT):
    """Polls the screen and the serial console until text shows at or after
    offset, and returns where; with text None, until the first slide is on
    the screen. Fails on the refusal text after offset, on the first slide
    when text is awaited, and after timeout."""
    first_slide = s.suite.deck.view(0)
    what = repr(text) if text else "the first slide"
    deadline = time.monotonic() + timeout
    while True:
        screen = s.machine.screendump()
        console = s.machine.serial()
        found = console.find(text, offset) if text else -1
        if found >= 0:
            return found
        on_screen = s.matches(screen, first_slide)
        if on_screen and text is None:
            return None
        if refusal and refusal in console[offset:]:
            refused_failure(s, "%r before %s" % (refusal, what), screen, "shim-screens")
        if on_screen:
            refused_failure(s, "the first slide is on the screen before %s" % what, screen,
                            "shim-screens")
        if time.monotonic() > deadline:
            refused_failure(s, "no %s within %d s" % (what, timeout), screen, "shim-screens")
        s.machine.check_alive()
        time.sleep(POLL_INTERVAL)


def follow_screens(s, screens):
    """Answers each screen of screens once the serial console shows its name,
    then its last text, and then stays still; keys are pressed only on a
    screen drawn in full. No slide may appear on the way."""
    machine = s.machine
    offset = 0
    for name, last, keys in screens:
        found = watch(s, name, offset)
        watch(s, last, found + len(name), timeout=firmware_suite.KEY_TIMEOUT)
        length = -1
        while len(machine.serial()) != length:
            length = len(machine.serial())
            time.sleep(SCREEN_SETTLED)
        s.log("ok   %-44s %s" % ("%s ... %s" % (name, last), "+".join(keys)))
        offset = length
        if (name, last) == ENROLLMENT[-1][:2]:
            machine.mark()  # what follows is the next boot
        for key in keys:
            machine.press_codes([key])
            time.sleep(0.1)


class ShimSession(Session):
    """One machine on the shared variable store, booting the disks given."""

    def __init__(self, suite, name, disks):
        super().__init__(suite, name, suite.deck.slide_size)
        self.disks = disks

    def machine_for(self, disk):
        return ShimMachine([(label, os.path.join(self.suite.disks, name))
                            for label, name in self.disks],
                           self.suite.vars_file, vga_size=self.vga_size, accel=self.suite.accel)


def enroll_and_present(s):
    """Enrolls the key in MokManager, then the first slide after the reboot,
    j, the listings and q."""
    follow_screens(s, ENROLLMENT)
    rebooted = time.monotonic()
    watch(s, None, refusal=SHIM_REFUSAL)  # the next boot, whose image shim must start
    s.boot_seconds = s.expect(s.suite.deck.view(0), "first slide after the reboot",
                              timeout=BOOT_TIMEOUT, since=rebooted)
    s.press("j", s.suite.deck.view(1))
    firmware_suite.listings_and_quit(s)


def changed_refused(s):
    """The changed image refused on the enrolled store; the firmware then
    starts the unchanged one, whose first slide appears."""
    follow_screens(s, REFUSAL_SCREENS)
    deadline = time.monotonic() + BOOT_TIMEOUT
    started = boot_line("starting", SHIM[0])
    while not started.search(s.machine.serial()):
        if time.monotonic() > deadline:
            refused_failure(s, "the firmware never started %s" % SHIM[0], s.machine.screendump(),
                            "shim-screens")
        s.machine.check_alive()
        time.sleep(POLL_INTERVAL)
    text = s.machine.serial()
    refused = re.search(boot_line("failed to start", SHIM_CHANGED[0]).pattern
                        + r".*: Security Violation", text)
    if not refused or refused.start() > started.search(text).start():
        refused_failure(s, "no Security Violation for %s before %s started"
                        % (SHIM_CHANGED[0], SHIM[0]), s.machine.screendump(), "shim-screens")
    s.log("ok   %-16s refused: ... Security Violation" % SHIM_CHANGED[0])
    s.expect(s.suite.deck.view(0), "first slide of %s on the same store" % SHIM[0],
             timeout=BOOT_TIMEOUT)


class SecureBootSession(Session):
    def __init__(self, suite):
        # The firmware starts in 640x480, which the slide fills: nothing
        # outside it to compare, so no marker application (unsigned, it
        # would be refused too).
        super().__init__(suite, "secure-boot", suite.deck.slide_size)

    def machine_for(self, disk):
        return DiskChain([(label, os.path.join(self.suite.disks, name))
                          for label, name in REFUSED + [SIGNED]],
                         vga_size=self.vga_size, accel=self.suite.accel)


def certificate_on_disk(s):
    """The signed disk holds the certificate, in DER form, where the README
    says."""
    disk = os.path.join(s.suite.disks, SIGNED[1])
    on_disk = subprocess.run(["mcopy", "-i", disk + ESP_OFFSET, CERTIFICATE_ON_DISK, "-"],
                             capture_output=True, check=False)
    if on_disk.returncode != 0:
        raise StepFailure("%s: no %s: %s" % (disk, CERTIFICATE_ON_DISK,
                                             on_disk.stderr.decode().strip()))
    der = subprocess.run(["openssl", "x509", "-in", harness.SNAKEOIL_CERT, "-outform", "DER"],
                         capture_output=True, check=True).stdout
    if on_disk.stdout != der:
        raise StepFailure("%s: %s is not the test certificate in DER form"
                          % (disk, CERTIFICATE_ON_DISK))
    s.log("ok   %s holds the certificate in DER form" % CERTIFICATE_ON_DISK)


def refusals(s):
    """Until the firmware starts the signed disk: no slide on the screen,
    and no other disk started. Then each of them must have failed to load
    with Access Denied, before the signed one."""
    first_slide = s.suite.deck.view(0)
    started = boot_line("starting", SIGNED[0])
    deadline = time.monotonic() + BOOT_TIMEOUT
    while True:
        # The serial console read after the screendump: while it does not
        # show the signed disk starting, no slide on that dump can be its.
        screen = s.machine.screendump()
        text = s.machine.serial()
        for label, _ in REFUSED:
            if boot_line("starting", label).search(text):
                refused_failure(s, "the firmware started %s" % label, screen)
        found = started.search(text)
        if found:
            break
        if boot_line("failed to load", SIGNED[0]).search(text):
            refused_failure(s, "the firmware refused the signed disk too", screen)
        if s.matches(screen, first_slide):
            refused_failure(s, "the first slide is on the screen before the firmware started "
                               "the signed disk", screen)
        if time.monotonic() > deadline:
            refused_failure(s, "the firmware never started the signed disk", screen)
        s.machine.check_alive()
        time.sleep(POLL_INTERVAL)
    before = text[:found.start()]
    for label, _ in REFUSED:
        refused = re.search(boot_line("failed to load", label).pattern + r".*: Access Denied",
                            before)
        if not refused:
            refused_failure(s, "no Access Denied for %s before the signed disk started" % label)
        s.log("ok   %-16s refused: %s" % (label, refused.group(0)[:refused.group(0).find(" from")]
                                           + " ... Access Denied"))


def refused_failure(s, what, screen=None, name="secure-boot-refusals"):
    base = os.path.join(s.suite.artifacts, name)
    os.makedirs(s.suite.artifacts, exist_ok=True)
    with open(base + ".serial.txt", "w") as log:
        log.write(s.machine.serial())
    saved = "serial console: %s.serial.txt" % base
    if screen is not None:
        screen.save_png(base + ".png")
        saved = "screenshot: %s.png, %s" % (base, saved)
    raise StepFailure("%s\n  %s" % (what, saved))


def secure_boot(s):
    certificate_on_disk(s)
    refusals(s)
    firmware_suite.mode_steps(s)


class Suite:
    def __init__(self, args):
        self.disks = args.disks
        self.images = {}  # the session makes its own machine
        self.marker_disks = {}
        self.expected_screen = args.expected_screen
        self.artifacts = args.artifacts
        self.deck = Deck(args.pictures)
        self.accel = "kvm" if harness.kvm_works() else "tcg"
        self.vars_file = None  # with --shim, the store the two machines share


def run_shim_sessions(suite):
    """Enrollment on a fresh copy of the store with Microsoft's keys, then
    the changed image on the same store; the second runs only after the
    first passed. Returns whether both passed and the first's session."""
    folder = tempfile.mkdtemp(prefix="shim-store.")
    try:
        suite.vars_file = os.path.join(folder, "vars.fd")
        shutil.copyfile(harness.OVMF_MS_VARS, suite.vars_file)
        enrolling = ShimSession(suite, "shim-enroll", [SHIM])
        passed = enrolling.run(enroll_and_present)
        if passed:
            passed = ShimSession(suite, "shim-changed", [SHIM_CHANGED, SHIM]).run(changed_refused)
        return passed, enrolling
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disks", required=True,
                        help="folder of the four disks (cmake --build build --target "
                             "secure_boot_disks)")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    parser.add_argument("--expected-screen", help="the oracle program (default: "
                        "build/tests/unit/expected_screen)")
    parser.add_argument("--shim", action="store_true",
                        help="the shim disks on Microsoft's keys instead (see above)")
    args = parser.parse_args()
    problem = harness.missing_packages(secure_boot=not args.shim, microsoft_keys=args.shim)
    if problem:
        sys.exit(problem)
    for _, name in [SHIM, SHIM_CHANGED] if args.shim else REFUSED + [SIGNED]:
        if not os.path.isfile(os.path.join(args.disks, name)):
            sys.exit("%s: missing; make it with cmake --build build --target secure_boot_disks"
                     % os.path.join(args.disks, name))

    suite = Suite(args)
    started = time.monotonic()
    if args.shim:
        passed, session = run_shim_sessions(suite)
        what = "the key enrolled in MokManager, first slide %.1f s after the reboot"
    else:
        session = SecureBootSession(suite)
        passed = session.run(secure_boot)
        what = "first slide %.1f s after QEMU started, three refused disks before it"
    figures = ": " + what % session.boot_seconds if session.boot_seconds is not None else ""
    firmware_suite.say("secure boot%s under %s, %.0f s wall time, %s%s"
                       % (" through shim" if args.shim else "", suite.accel.upper(),
                          time.monotonic() - started, "pass" if passed else "FAIL", figures))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
