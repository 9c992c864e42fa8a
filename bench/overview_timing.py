#!/usr/bin/python3
"""Figures, not a test: key to screen for the overview at 1920x1080 under
OVMF. A generated 20-slide talk of 640x480 (tests/build/deck_builds.py),
built with PRESENTER_KEYS=ON and SLIDE_SCALE=fill in a folder of its own,
booted once at 1920x1080, where a page fills 1440x1080. Each key is timed
from its press to the first screendump that equals the screen it settles
on (no change for SETTLE seconds): o opening the overview and Esc closing
it, Right moving the frame within a page, Page Down and Page Up moving it
across a page. Prints the median and range of each, and what one
screendump takes, the figures' resolution.

    overview_timing.py WORK_FOLDER [--repeats N]
"""
import argparse
import hashlib
import os
import statistics
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "build"))
sys.path.insert(0, ROOT)
from deck_builds import DeckBuild, make_deck, run  # noqa: E402
import harness  # noqa: E402

MODE = (1920, 1080)
SETTLE = 1.5


def timed(machine, key):
    """Seconds from pressing KEY to the first dump of the screen it settles on."""
    before = hashlib.sha256(machine.screendump().rgb).digest()
    start = time.monotonic()
    if len(key) == 1:
        machine.press(key)
    else:
        machine.press_codes([key])
    seen = []  # (seconds, digest)
    while True:
        digest = hashlib.sha256(machine.screendump().rgb).digest()
        now = time.monotonic() - start
        seen.append((now, digest))
        if digest != before and now - min(t for t, d in seen if d == digest) > SETTLE and \
                all(d == digest for t, d in seen if t >= now - SETTLE):
            return min(t for t, d in seen if d == digest)
        if now > 60:
            raise SystemExit("%s: the screen did not settle within a minute" % key)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the generated talk and its build")
    parser.add_argument("--repeats", type=int, default=5)
    args = parser.parse_args()
    work = os.path.abspath(args.work)
    pictures = make_deck(os.path.join(work, "overview-pictures"), 20)
    build = DeckBuild(os.path.join(work, "overview-fill"))
    build.configure(pictures, "-DPRESENTER_KEYS=ON", "-DSLIDE_SCALE=fill")
    run(["cmake", "--build", build.folder, "--target", "efi_image"])
    accel = "kvm" if harness.kvm_works() else "tcg"
    times = {"open (o)": [], "close (Esc)": [], "within a page (Right)": [],
             "across a page (Page Down, Page Up)": []}
    with harness.Machine(build.disk, vga_size=MODE, accel=accel) as machine:
        machine.wait_for_serial("BdsDxe: starting Boot", 180)
        time.sleep(10)
        for _ in range(args.repeats):
            times["open (o)"].append(timed(machine, "o"))
            times["close (Esc)"].append(timed(machine, "esc"))
        timed(machine, "o")
        for _ in range(args.repeats):
            times["within a page (Right)"].append(timed(machine, "right"))
        for _ in range(args.repeats):
            key = "pgdn" if len(times["across a page (Page Down, Page Up)"]) % 2 == 0 else "pgup"
            times["across a page (Page Down, Page Up)"].append(timed(machine, key))
        # What one screendump takes: a figure is known to about that much.
        dumps = []
        for _ in range(10):
            start = time.monotonic()
            machine.screendump()
            dumps.append(time.monotonic() - start)
    print("overview key to screen, OVMF %s at %dx%d, 640x480 pages filled to 1440x1080:"
          % ((accel.upper(),) + MODE))
    for what, values in times.items():
        print("  %-36s median %.2f s (%.2f-%.2f, %d keys)"
              % (what, statistics.median(values), min(values), max(values), len(values)))
    print("  (one screendump at %dx%d: median %.2f s)" % (MODE + (statistics.median(dumps),)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
