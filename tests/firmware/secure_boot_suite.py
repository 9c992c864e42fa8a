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

    secure_boot_suite.py --disks build/tests/firmware/secure-boot \\
        --pictures build/bgra --artifacts DIR

Exit status 0 when the session passes, 1 otherwise.
"""
import argparse
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, HERE)
import boot  # noqa: E402
import firmware_suite  # noqa: E402
from firmware_suite import BOOT_TIMEOUT, POLL_INTERVAL, Deck, Session, StepFailure  # noqa: E402

REFUSED = [("UNSIGNED", "unsigned.img"), ("PICTURE-CHANGED", "picture-changed.img"),
           ("OTHER-KEY", "other-key.img")]
SIGNED = ("SIGNED", "signed.img")
# Where the disk keeps the certificate to enroll (tools/make-disk-image).
CERTIFICATE_ON_DISK = "::/EFI/KEYS/SLIDESDB.CER"
ESP_OFFSET = "@@1M"


def boot_line(action, label):
    """OVMF's boot manager line for one of the labelled disks, e.g.
    'BdsDxe: failed to load Boot0001 "UEFI QEMU HARDDISK UNSIGNED " ...'."""
    return re.compile(r'BdsDxe: %s Boot[0-9A-F]{4} "[^"]* %s "' % (action, re.escape(label)))


class DiskChain(boot.Machine):
    """A machine with Secure Boot enforced and several disks, tried by the
    firmware in the order given; each disk's serial number is its label."""

    def __init__(self, disks, **options):
        # Memory for the largest image; the firmware frees a refused one.
        memory = max(boot.memory_for(path) for _, path in disks)
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


class SecureBootSession(Session):
    def __init__(self, suite):
        # The firmware starts in 640x480, which the slide fills: nothing
        # outside it to compare, so no marker application (unsigned, it
        # would be refused too).
        super().__init__(suite, "secure-boot", (firmware_suite.WIDTH, firmware_suite.HEIGHT))

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
    der = subprocess.run(["openssl", "x509", "-in", boot.SNAKEOIL_CERT, "-outform", "DER"],
                         capture_output=True, check=True).stdout
    if on_disk.stdout != der:
        raise StepFailure("%s: %s is not the test certificate in DER form"
                          % (disk, CERTIFICATE_ON_DISK))
    s.log("ok   %s holds the certificate in DER form" % CERTIFICATE_ON_DISK)


def refusals(s):
    """Until the firmware starts the signed disk: no slide on the screen,
    and no other disk started. Then each of them must have failed to load
    with Access Denied, before the signed one."""
    first_slide = s.suite.deck.view(0).rows
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
        if screen.rows(0, 0, firmware_suite.WIDTH, firmware_suite.HEIGHT) == first_slide:
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


def refused_failure(s, what, screen=None):
    base = os.path.join(s.suite.artifacts, "secure-boot-refusals")
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
        self.disk = self.marker_disk = None  # the session makes its own machine
        self.artifacts = args.artifacts
        self.deck = Deck(args.pictures)
        self.accel = "kvm" if boot.kvm_works() else "tcg"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disks", required=True,
                        help="folder of the four disks (cmake --build build --target "
                             "secure_boot_disks)")
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = boot.missing_packages(secure_boot=True)
    if problem:
        sys.exit(problem)
    for _, name in REFUSED + [SIGNED]:
        if not os.path.isfile(os.path.join(args.disks, name)):
            sys.exit("%s: missing; make it with cmake --build build --target secure_boot_disks"
                     % os.path.join(args.disks, name))

    suite = Suite(args)
    session = SecureBootSession(suite)
    started = time.monotonic()
    passed = session.run(secure_boot)
    figures = ""
    if session.boot_seconds is not None:
        figures = ": first slide %.1f s after QEMU started, three refused disks before it" \
            % session.boot_seconds
    firmware_suite.say("secure boot under %s, %.0f s wall time, %s%s"
                       % (suite.accel.upper(), time.monotonic() - started,
                          "pass" if passed else "FAIL", figures))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
