#!/usr/bin/python3
"""What Secure Boot costs at boot, in one run, one machine at a time and the
set-ups taking turns, so that the load of the machine falls on each alike:
QEMU's start to the first slide, and the boot manager's load of the image
(from its "loading" line to its "starting" line, which includes checking
the signature), for

    the unsigned image on the usual firmware,
    the signed image on the usual firmware,
    the signed image with Secure Boot enforced (OVMF's SMM build),

and, when the folder holds it, the same image with its pictures stored as
LZ4 blocks (signed-compressed.img, PICTURE_COMPRESSION=lz4) signed, with
Secure Boot off and on.

Prints figures; checks nothing (tests/firmware/secure_boot_suite.py does).

    bench/secure_boot_timing.py --disks build/tests/firmware/secure-boot \\
        --pictures build/bgra [--boots 3]
"""
import argparse
import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "firmware"))
sys.path.insert(0, HERE)
import boot  # noqa: E402
from firmware_suite import Deck  # noqa: E402
from firmware_timing import BOOT_POLL, LOADING, STARTING, shows, wait_until  # noqa: E402

SETUPS = [("unsigned image, Secure Boot off", "unsigned.img", False),
          ("signed image, Secure Boot off", "signed.img", False),
          ("signed image, Secure Boot on", "signed.img", True)]
COMPRESSED = [("signed lz4 image, Secure Boot off", "signed-compressed.img", False),
              ("signed lz4 image, Secure Boot on", "signed-compressed.img", True)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--disks", required=True)
    parser.add_argument("--pictures", required=True)
    parser.add_argument("--boots", type=int, default=3)
    args = parser.parse_args()
    problem = boot.missing_packages(secure_boot=True)
    if problem:
        sys.exit(problem)
    first_slide = shows(Deck(args.pictures).view(0).rows)
    setups = list(SETUPS)
    if os.path.isfile(os.path.join(args.disks, COMPRESSED[0][1])):
        setups += COMPRESSED
    accel = "kvm" if boot.kvm_works() else "tcg"

    boots = {label: [] for label, _, _ in setups}
    loads = {label: [] for label, _, _ in setups}
    for _ in range(args.boots):
        for label, disk, secure_boot in setups:
            with boot.Machine(os.path.join(args.disks, disk), accel=accel,
                              secure_boot=secure_boot) as machine:
                seconds, marks = wait_until(machine, first_slide, machine.started_at, BOOT_POLL)
                boots[label].append(seconds)
                if LOADING in marks and STARTING in marks:
                    loads[label].append(marks[STARTING] - marks[LOADING])

    def figures(values):
        if not values:
            return "no figures"
        return "median %.2f s (min %.2f, max %.2f, %d runs)" % (
            statistics.median(values), min(values), max(values), len(values))

    print("OVMF under QEMU with %s, one machine at a time" % accel.upper())
    for label, _, _ in setups:
        print("  %-32s QEMU start to first slide: %s" % (label, figures(boots[label])))
        print("  %-32s the image's load:          %s" % ("", figures(loads[label])))
    off, on = (statistics.median(boots[SETUPS[i][0]]) for i in (1, 2))
    print("  ratio Secure Boot on / off (signed image, to first slide): %.2f" % (on / off))
    if len(setups) > len(SETUPS):
        lz4_on = statistics.median(boots[COMPRESSED[1][0]])
        print("  ratio lz4 / raw with Secure Boot on (to first slide): %.2f" % (lz4_on / on))


if __name__ == "__main__":
    main()
