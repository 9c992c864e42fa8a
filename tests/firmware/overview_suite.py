#!/usr/bin/python3
"""The overview on real firmware: a generated talk of 20 slides of
640x480, built with PRESENTER_KEYS=ON in a folder of its own, booted once
on OVMF at 640x480 (the pages drawn 1:1). j j, then o opens the overview
on slide 3; Right, Down and Page Down move the frame, within the first
page and onto the second; Enter shows the selected slide; o opens it again
and Esc closes it on that slide.

Each screen must equal, pixel for pixel, the overview page the build
rendered (overview/overview_NN.bgra) with the frame drawn where the grid
of slidedeck/overview.py and the rule of src/overview.h put it, computed
here from the rule, or the slide itself.

    overview_suite.py WORK_FOLDER --artifacts DIR
"""
import argparse
import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(HERE, "..", "build"))
sys.path.insert(0, ROOT)
from deck_builds import DeckBuild, make_deck, run  # noqa: E402
from slidedeck import overview  # noqa: E402
from slidedeck.pictures import slide_name  # noqa: E402
import harness  # noqa: E402
from screen_check import KEY_TIMEOUT, KeysAndScreens, StepFailure  # noqa: E402

SIZE = (640, 480)
SLIDE_COUNT = 20
BOOT_LINE = "BdsDxe: starting Boot"
BOOT_TIMEOUT = 180
FRAME_COLOUR = (0xFF, 0xB0, 0x00)  # overview_frame_colour, 0x00FFB000


def rgb_of_bgra(path):
    with open(path, "rb") as f:
        bgra = f.read()
    if len(bgra) != SIZE[0] * SIZE[1] * 4:
        raise SystemExit("%s: not a %dx%d picture" % ((path,) + SIZE))
    rgb = bytearray(len(bgra) // 4 * 3)
    rgb[0::3], rgb[1::3], rgb[2::3] = bgra[2::4], bgra[1::4], bgra[0::4]
    return rgb


def ring(grid, slide, area=(0, 0) + SIZE, page=SIZE):
    """The frame round thumbnail SLIDE as (outer, inner) rectangles (left,
    top, right, bottom; right and bottom exclusive) on a screen whose area
    (left, top, width, height) shows the page of PAGE's size: the thumbnail grown by three
    quarters of the gutter (rounded down: gutter - gutter // 4) outside and
    a quarter inside; a page coordinate p is at left + p * width / page
    width on the screen, rounded towards the thumbnail on the outer edges
    and away from it on the inner ones."""
    index = slide % (grid.columns * grid.rows)
    x = grid.left + index % grid.columns * grid.step_x
    y = grid.top + index // grid.columns * grid.step_y
    quarter = grid.gutter // 4
    rest = grid.gutter - quarter
    left, top, width, height = area

    def across(p, up):
        return left + (-(-p * width // page[0]) if up else p * width // page[0])

    def down(p, up):
        return top + (-(-p * height // page[1]) if up else p * height // page[1])

    outer = (across(x - rest, True), down(y - rest, True),
             across(x + grid.width + rest, False), down(y + grid.height + rest, False))
    inner = (across(x - quarter, False), down(y - quarter, False),
             across(x + grid.width + quarter, True), down(y + grid.height + quarter, True))
    return outer, inner


class Talk:
    def __init__(self, build, pictures):
        self.grid = overview.grid(SIZE)
        self.per_page = self.grid.columns * self.grid.rows
        self.slides = [bytes(rgb_of_bgra(os.path.join(pictures, slide_name(n) + ".bgra")))
                       for n in range(1, SLIDE_COUNT + 1)]
        self.pages = [rgb_of_bgra(os.path.join(build.folder, "overview", name + ".bgra"))
                      for name in overview.page_names(SLIDE_COUNT, SIZE)]

    def overview_screen(self, selected):
        """The page of slide SELECTED (from 0) with the frame round it."""
        screen = bytearray(self.pages[selected // self.per_page])
        (ol, ot, orr, ob), (il, it, ir, ib) = ring(self.grid, selected)
        for y in range(ot, ob):
            for x in range(ol, orr):
                if not (il <= x < ir and it <= y < ib):
                    screen[(y * SIZE[0] + x) * 3:(y * SIZE[0] + x + 1) * 3] = bytes(FRAME_COLOUR)
        return bytes(screen)


class Screens:
    """What the session expects, as screen_check's helper takes it: a view
    (a label and the RGB bytes of the whole screen) gives its own screen."""
    scale = "overview"

    def screen(self, view, width, height):
        return view.rgb


class View:
    def __init__(self, label, rgb):
        self.label = label
        self.key = label
        self.rgb = rgb


def run_session(disk, talk, artifacts, accel):
    machine = harness.Machine(disk, vga_size=SIZE, accel=accel)
    with machine:
        check = KeysAndScreens(machine, Screens(), "overview", artifacts, mode=SIZE)
        machine.wait_for_serial(BOOT_LINE, BOOT_TIMEOUT)

        def slide(n):
            return View("slide %d" % (n + 1), talk.slides[n])

        def page(n):
            return View("the overview, frame on slide %d" % (n + 1), talk.overview_screen(n))

        check.expect(slide(0), "first slide after boot",
                     time.monotonic() - machine.started_at + KEY_TIMEOUT, machine.started_at)
        check.press("j", slide(1))
        check.press("j", slide(2))
        columns = talk.grid.columns
        selected = 2
        check.press("o", page(selected), "o")
        selected += 1
        check.press("right", page(selected), "Right")
        selected += columns
        check.press("down", page(selected), "Down")
        selected += talk.per_page
        assert selected < SLIDE_COUNT
        check.press("pgdn", page(selected), "Page Down, onto page 2")
        check.press("ret", slide(selected), "Enter")
        check.press("o", page(selected), "o again")
        check.press("esc", slide(selected), "Esc: the slide unchanged")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("work", help="folder for the generated talk and its build")
    parser.add_argument("--artifacts", required=True, help="folder for failure screenshots")
    args = parser.parse_args()
    problem = harness.missing_packages()
    if problem:
        sys.exit(problem)
    started = time.monotonic()
    work = os.path.abspath(args.work)
    pictures = make_deck(os.path.join(work, "overview-pictures"), SLIDE_COUNT)
    build = DeckBuild(os.path.join(work, "overview"))
    build.configure(pictures, "-DPRESENTER_KEYS=ON")
    run(["cmake", "--build", build.folder, "--target", "efi_image"])
    accel = "kvm" if harness.kvm_works() else "tcg"
    print("built in %.0f s; booting on OVMF (%s) at %dx%d"
          % ((time.monotonic() - started, accel.upper()) + SIZE), flush=True)
    try:
        run_session(build.disk, Talk(build, pictures), args.artifacts, accel)
    except (StepFailure, harness.QemuError) as failure:
        print("FAIL %s" % failure, flush=True)
        return 1
    print("overview: passed in %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
