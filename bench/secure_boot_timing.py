#!/usr/bin/python3
"""What Secure Boot costs at boot, in one run, one machine at a time and the
set-ups taking turns, so that the load of the machine falls on each alike:
QEMU's start to the first slide, the boot manager's load of what it starts
(from its "loading" line to its "starting" line, which includes checking
the signature), and from that start to the first slide, for

    the unsigned image on the usual firmware,
    the signed image on the usual firmware,
    the signed image with Secure Boot enforced (OVMF's SMM build, the
        certificate in db),
    the shim disk with Secure Boot enforced and Microsoft's keys, the key
        enrolled in MokManager beforehand (the firmware loads shim, shim
        loads and checks the image: its time is in "start to first slide").

and, when the folder holds it, the same image with its pictures stored as
LZ4 blocks (signed-compressed.img, PICTURE_COMPRESSION=lz4) signed, with
Secure Boot off and on.

The key is enrolled once, on a fresh copy of Microsoft's store, by the
steps of the firmware suite (tests/firmware/secure_boot_suite.py --shim);
each timed boot starts from a copy of that enrolled store. Every boot is in
the slide's own mode (640x480), which the first slide fills: the whole
screen is compared as the firmware suite compares it
(tests/firmware/screen_check.py). Prints figures; checks nothing.

    bench/secure_boot_timing.py --disks build/tests/firmware/secure-boot \\
        --pictures build/bgra [--boots 3]
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import types

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, ".."))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "firmware"))
sys.path.insert(0, HERE)
import harness  # noqa: E402
import secure_boot_suite  # noqa: E402
from firmware_timing import BOOT_POLL, LOADING, STARTING, wait_until  # noqa: E402
from screen_check import Deck, ExpectedScreens, shows  # noqa: E402

# (label, disk, firmware: "off", "db" or "shim")
SETUPS = [("unsigned image, Secure Boot off", "unsigned.img", "off"),
          ("signed image, Secure Boot off", "signed.img", "off"),
          ("signed image, Secure Boot on (db)", "signed.img", "db"),
          ("shim, key enrolled (MOK)", "shim.img", "shim")]
COMPRESSED = [("signed lz4 image, Secure Boot off", "signed-compressed.img", "off"),
              ("signed lz4 image, Secure Boot on (db)", "signed-compressed.img", "db")]


def enrolled_store(args, deck, accel, folder):
    """A copy of Microsoft's store with the key enrolled from shim.img in
    MokManager, as the firmware suite does it; its path."""
    suite = types.SimpleNamespace(disks=args.disks, images={}, marker_disks={}, deck=deck,
                                  accel=accel, expected_screen=None,
                                  artifacts=os.path.join(folder, "failures"),
                                  vars_file=os.path.join(folder, "enrolled.fd"))
    shutil.copyfile(harness.OVMF_MS_VARS, suite.vars_file)

    def enroll(s):
        secure_boot_suite.follow_screens(s, secure_boot_suite.ENROLLMENT)
        secure_boot_suite.watch(s, None, refusal=secure_boot_suite.SHIM_REFUSAL)

    session = secure_boot_suite.ShimSession(suite, "enroll", [secure_boot_suite.SHIM])
    if not session.run(enroll):
        sys.exit("the key could not be enrolled in MokManager (see %s)" % suite.artifacts)
    return suite.vars_file


def timed_boot(disk, firmware, accel, first_slide, enrolled, folder, mode):
    """One boot in mode: QEMU start to first slide, loading to starting,
    starting to first slide (None where a line is missing)."""
    options = {"db": dict(secure_boot=True), "off": {}}.get(firmware)
    if options is None:
        store = os.path.join(folder, "boot.fd")
        shutil.copyfile(enrolled, store)
        options = dict(microsoft_keys=True, vars_file=store)
    with harness.Machine(disk, accel=accel, vga_size=mode, **options) as machine:
        seconds, marks = wait_until(machine, first_slide, machine.started_at, BOOT_POLL)
    load = marks[STARTING] - marks[LOADING] if LOADING in marks and STARTING in marks else None
    start = seconds - (marks[STARTING] - machine.started_at) if STARTING in marks else None
    return seconds, load, start


def figures(values):
    values = [value for value in values if value is not None]
    if not values:
        return "no figures"
    return "median %.2f s (min %.2f, max %.2f, %d runs)" % (
        statistics.median(values), min(values), max(values), len(values))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disks", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--boots", type=int, default=3)
    args = parser.parse_args()
    problem = harness.missing_packages(secure_boot=True, microsoft_keys=True)
    if problem:
        sys.exit(problem)
    deck = Deck(args.pictures)
    expected = ExpectedScreens(deck.slide_size, "off")

    def first_slide(screen):
        return shows(screen, deck.view(0), expected, deck.slide_size)
    accel = "kvm" if harness.kvm_works() else "tcg"

    folder = tempfile.mkdtemp(prefix="secure-boot-timing.")
    try:
        enrolled = enrolled_store(args, deck, accel, folder)
        setups = list(SETUPS)
        if os.path.isfile(os.path.join(args.disks, COMPRESSED[0][1])):
            setups += COMPRESSED
        results = {label: [] for label, _, _ in setups}
        for _ in range(args.boots):
            for label, disk, firmware in setups:
                results[label].append(timed_boot(os.path.join(args.disks, disk), firmware,
                                                 accel, first_slide, enrolled, folder,
                                                 deck.slide_size))
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    print("OVMF under QEMU with %s, one machine at a time" % accel.upper())
    for label, _, _ in setups:
        boots, loads, starts = zip(*results[label])
        print("  %-34s QEMU start to first slide: %s" % (label, figures(boots)))
        print("  %-34s loading to starting:       %s" % ("", figures(loads)))
        print("  %-34s starting to first slide:   %s" % ("", figures(starts)))
    median = {label: statistics.median(result[0] for result in results[label])
              for label, _, _ in setups}
    print("  ratio Secure Boot on / off (signed image, to first slide): %.2f"
          % (median[SETUPS[2][0]] / median[SETUPS[1][0]]))
    print("  ratio shim (enrolled) / db-signed, both enforced, to first slide: %.2f"
          % (median[SETUPS[3][0]] / median[SETUPS[2][0]]))
    if len(setups) > len(SETUPS):
        print("  ratio lz4 / raw with Secure Boot on (to first slide): %.2f"
              % (median[COMPRESSED[1][0]] / median[SETUPS[2][0]]))


if __name__ == "__main__":
    main()
