"""Decks of any length for the tests, made in a moment, and second build
folders that link them into an image of their own.

The pictures are generated, not rendered: slide n is a gradient across
(red), bands down (green) and its own number (blue and a band offset), so
no two slides and no two places within a slide are alike, and a 250-slide
deck is written in a second or two.
"""
import hashlib
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, ROOT)
from slidedeck.pictures import (LISTING_NAMES, SLIDE_SIZE, format_size,  # noqa: E402
                                picture_size, slide_name)

# Changes when the pictures below change, so a kept deck is made again.
PATTERN_VERSION = "1"
STAMP = "generated-deck.txt"


def picture(number, size, seed=0):
    """The raw BGRA bytes of generated picture NUMBER (1 and up)."""
    width, height = size
    red = bytes(x * 255 // (width - 1) for x in range(width))
    rows = []
    for band in range(0, height, 16):
        green = (band // 16 * 8 + number * 37 + seed * 101) % 256
        blue = (number * 53 + seed * 29) % 256
        row = bytearray(width * 4)
        row[0::4] = bytes([blue]) * width
        row[1::4] = bytes([green]) * width
        row[2::4] = red
        row[3::4] = b"\xff" * width
        rows.append(bytes(row) * min(16, height - band))
    # The slide's number, also in binary along the first row: blue alone
    # repeats every 256 slides.
    first = bytearray(rows[0])
    for bit in range(16):
        if number >> bit & 1:
            first[bit * 16 * 4:(bit * 16 + 8) * 4] = b"\x00\x00\x00\xff" * 8
    rows[0] = bytes(first)
    return b"".join(rows)


def make_deck(folder, count, seed=0, size=SLIDE_SIZE):
    """Writes a generated deck of COUNT slides of SIZE and the two listings
    into FOLDER, unless FOLDER already holds exactly that deck."""
    stamp = "%s %d %d\n" % (PATTERN_VERSION, count, seed)
    if size != SLIDE_SIZE:
        stamp = stamp[:-1] + " %s\n" % format_size(size)
    stamp_path = os.path.join(folder, STAMP)
    if os.path.isfile(stamp_path) and open(stamp_path).read() == stamp:
        return folder
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for number in range(1, count + 1):
        write(os.path.join(folder, slide_name(number) + ".bgra"),
              picture(number, size, seed))
    for index, name in enumerate(LISTING_NAMES):
        write(os.path.join(folder, name + ".bgra"),
              picture(1000 + index, picture_size(name, size), seed))
    write(stamp_path, stamp.encode())
    return folder


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


class BuildFailed(Exception):
    def __init__(self, output):
        super().__init__(output)
        self.output = output


class DeckBuild:
    """A build folder of its own for one image, configured with
    -DDECK_PICTURES (empty for the default deck)."""

    def __init__(self, folder):
        self.folder = folder

    def configure(self, deck_pictures="", *options):
        """OPTIONS are more -D settings."""
        run(["cmake", "-S", ROOT, "-B", self.folder, "-G", "Ninja",
             "-DDECK_PICTURES=" + deck_pictures] + list(options))
        return self

    def build(self):
        """Builds the image and the boot disk only."""
        run(["cmake", "--build", self.folder, "--target", "efi_image"])
        return self

    @property
    def image(self):
        return os.path.join(self.folder, "BOOTX64.EFI")

    @property
    def disk(self):
        return os.path.join(self.folder, "bootdisk.img")

    def image_digest(self):
        with open(self.image, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()


def run(command):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise BuildFailed(result.stdout)
    return result.stdout


def built_deck(build_root, name, count, seed=0, compression="none"):
    """A generated deck of COUNT slides in BUILD_ROOT/NAME-pictures and its
    image built in BUILD_ROOT/NAME with PICTURE_COMPRESSION=COMPRESSION:
    (pictures folder, DeckBuild). Both are kept, so a second run only
    checks that they are up to date."""
    pictures = make_deck(os.path.join(build_root, name + "-pictures"), count, seed)
    build = DeckBuild(os.path.join(build_root, name))
    return pictures, build.configure(pictures, "-DPICTURE_COMPRESSION=" + compression).build()
