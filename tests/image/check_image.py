#!/usr/bin/python3
"""Checks the built EFI application image itself: the PE32+ headers the
firmware's loader relies on, the entry point, and the pictures and slide
table inside it, against the linker's map and the raw picture files.

usage: check_image.py [--arch x64|aa64] [--compression none|lz4] [--size WxH]
                      [--signed] IMAGE.EFI IMAGE.map BGRA_FOLDER

--arch names the machine the image must be for: x64 (BOOTX64.EFI, the
default) or aa64 (BOOTAA64.EFI). --compression says how the image stores
its pictures (PICTURE_COMPRESSION): raw (none, the default), or as LZ4
blocks, each of which is decoded and compared with its raw file. --size
is the build's SLIDE_SIZE (640x480 unless given). --signed: an image the
build signed, which must carry the SBAT section shim reads; any other must
carry none.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

import lz4.block

# What no instruction of the image may name, by machine: the vector and
# floating-point registers (firmware may leave that unit off, and U-Boot's
# x86-64 UEFI does), and on AArch64 the cache-zeroing dc zva, which faults
# on the device memory a framebuffer may lie in.
FORBIDDEN = {
    0x8664: re.compile(r"%[xyz]mm\d"),
    0xAA64: re.compile(r"\b[vqdsh]\d{1,2}\b|\bdc\s+zva\b"),
}
PE32_PLUS_MAGIC = 0x20B
IMAGE_SUBSYSTEM_EFI_APPLICATION = 10
IMAGE_DIRECTORY_ENTRY_IMPORT = 1
IMAGE_DIRECTORY_ENTRY_BASERELOC = 5
IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT = 13
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_SCN_CNT_UNINITIALIZED_DATA = 0x00000080
IMAGE_SCN_MEM_EXECUTE = 0x20000000
IMAGE_SCN_MEM_WRITE = 0x80000000
IMAGE_DLLCHARACTERISTICS_NX_COMPAT = 0x0100
# What shim's own build checker asks of an image it may load with memory
# protection on: sections on 4 KiB pages, and the text of .sbat exactly
# (the SBAT format's own line, then this program at generation 1).
PAGE_SIZE = 4096

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import facts  # noqa: E402
from slidedeck.pe import PeImage  # noqa: E402

# The PE machine field of each architecture's image.
MACHINES = {m.arch: m.pe_machine for m in facts.MACHINES}
# The .sbat text facts.py holds, which the build assembles from it.
SBAT_TEXT = facts.SBAT.encode("ascii")
from slidedeck.pictures import (LISTING_NAMES, SLIDE_SIZE, count_slides,  # noqa: E402
                                parse_size, picture_size, slide_names)

LISTINGS = list(LISTING_NAMES)


def read_map(path):
    """Symbol name -> (value, object) from an lld-link map."""
    symbols = {}
    line_pattern = re.compile(r"^\s*[0-9a-f]{4}:[0-9a-f]{8}\s+(\S+)\s+([0-9a-f]{16})\s+(\S+)")
    with open(path) as f:
        for line in f:
            match = line_pattern.match(line)
            if match:
                symbols[match.group(1)] = (int(match.group(2), 16), match.group(3))
    return symbols


class BuiltImage(unittest.TestCase):
    image_path = map_path = bgra_folder = None
    machine = MACHINES["x64"]
    compression = "none"
    size = SLIDE_SIZE
    signed = False

    @classmethod
    def setUpClass(cls):
        cls.image = PeImage.from_file(cls.image_path)
        cls.symbols = read_map(cls.map_path)
        cls.slides = slide_names(count_slides(cls.bgra_folder, cls.size, cls.compression))

    def address(self, name):
        self.assertIn(name, self.symbols, "%s is not in the linker map" % name)
        return self.symbols[name][0]

    def test_headers_are_an_efi_application_for_the_machine(self):
        self.assertEqual(hex(self.image.machine), hex(self.machine))
        self.assertEqual(self.image.magic, PE32_PLUS_MAGIC)
        self.assertEqual(self.image.subsystem, IMAGE_SUBSYSTEM_EFI_APPLICATION)

    def test_instructions_use_general_registers_only(self):
        objdump = shutil.which("llvm-objdump") or shutil.which("llvm-objdump-14")
        self.assertIsNotNone(objdump, "llvm-objdump is missing (Debian package llvm)")
        listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", self.image_path],
                                 capture_output=True, text=True, check=True).stdout
        instructions = [line.split(":", 1)[1] for line in listing.splitlines()
                        if re.match(r"\s*[0-9a-f]+:\s", line)]
        self.assertGreater(len(instructions), 100, "no code disassembled")
        offending = [text.strip() for text in instructions
                     if FORBIDDEN[self.machine].search(text)]
        self.assertEqual(offending, [])

    def test_memory_protection_can_be_on(self):
        """NX_COMPAT, every section on its own pages, none both writable and
        executable: what shim asks before it loads an image with memory
        protection on, and firmware that enforces W^X relies on."""
        self.assertTrue(self.image.dll_characteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT,
                        "NX_COMPAT is not set")
        self.assertEqual(self.image.section_alignment, PAGE_SIZE)
        for name, rva, _, _, _, flags in self.image.sections:
            with self.subTest(section=name):
                self.assertEqual(rva % PAGE_SIZE, 0)
                both = IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE
                self.assertNotEqual(flags & both, both, "writable and executable")

    def test_sbat_section_only_when_signed(self):
        sbat = self.image.section(".sbat")
        if not self.signed:
            self.assertIsNone(sbat, "an unsigned image carries .sbat")
            return
        self.assertIsNotNone(sbat, "a signed image without .sbat: shim refuses it")
        _, _, virtual_size, raw_offset, raw_size, flags = sbat
        self.assertLessEqual(virtual_size, raw_size)
        self.assertEqual(self.image.data[raw_offset:raw_offset + virtual_size], SBAT_TEXT)
        self.assertFalse(flags & (IMAGE_SCN_MEM_WRITE | IMAGE_SCN_MEM_EXECUTE),
                         ".sbat is not read-only data")

    def test_shim_loads_every_section(self):
        """Shim's loader takes a section's bytes from the file unless it is
        marked uninitialized, and refuses one whose bytes would lie in the
        headers (lld-link's .data holding only zeroed data has none)."""
        if not self.signed:
            self.skipTest("only a signed image is started by shim")
        for name, _, _, raw_offset, _, flags in self.image.sections:
            with self.subTest(section=name):
                self.assertTrue(flags & IMAGE_SCN_CNT_UNINITIALIZED_DATA
                                or raw_offset >= self.image.headers_size,
                                "no bytes in the file and not marked uninitialized")

    def test_imports_nothing(self):
        for entry in (IMAGE_DIRECTORY_ENTRY_IMPORT, IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT):
            self.assertEqual(self.image.directories[entry], (0, 0))

    def test_can_be_relocated(self):
        # The firmware loads the image wherever it finds room.
        self.assertFalse(self.image.characteristics & IMAGE_FILE_RELOCS_STRIPPED)
        self.assertNotEqual(self.image.directories[IMAGE_DIRECTORY_ENTRY_BASERELOC][1], 0)

    def test_entry_point_is_efi_main(self):
        self.assertEqual(self.image.image_base + self.image.entry_rva, self.address("efi_main"))

    def test_number_formatters_are_kept(self):
        # Nothing in the viewer calls them, so only a deliberate keep holds
        # them in the image.
        for name in ("int_to_ascii", "int_to_ascii_hex"):
            with self.subTest(function=name):
                found = [symbol for symbol in self.symbols
                         if re.fullmatch(r"\?%s@@.*" % name, symbol)]
                self.assertEqual(len(found), 1, "%s is not in the linker map" % name)
                value, unit = self.symbols[found[0]]
                self.assertEqual(unit, "BOOTX64.obj")
                self.assertEqual(self.image.section_at(value - self.image.image_base)[0], ".text")

    def symbol(self, name):
        """The prefix of picture NAME's link symbols, raw or a block."""
        return facts.picture_symbol(name) + "_"

    def test_every_picture_has_its_size_and_bytes(self):
        for name in self.slides + LISTINGS:
            with self.subTest(picture=name):
                width, height = picture_size(name, self.size)
                symbol = self.symbol(name)
                start = self.address(symbol + "start") - self.image.image_base
                stored = self.address(symbol + "size")
                if self.compression == "lz4":
                    self.assertEqual(self.address(symbol + "end") - self.image.image_base,
                                     start + stored)
                    block = self.image.read(start, stored)
                    pixels = lz4.block.decompress(block, uncompressed_size=width * height * 4)
                else:
                    self.assertEqual(stored, width * height * 4)
                    pixels = self.image.read(start, stored)
                with open(os.path.join(self.bgra_folder, name + ".bgra"), "rb") as f:
                    self.assertTrue(pixels == f.read(),
                                    "the image's picture differs from bgra/%s.bgra" % name)
                self.assertFalse(self.image.section_at(start)[5] & IMAGE_SCN_MEM_WRITE,
                                 "pictures belong in a read-only section")

    def test_blocks_and_decode_buffer(self):
        # Only with lz4: lz4_pictures points at each picture's block, in
        # the order of the slide table and the listings, and at the buffer
        # the viewer decodes into, writable and as large as any picture.
        record = [name for name in self.symbols if re.fullmatch(r"\?lz4_pictures@@.*", name)]
        if self.compression != "lz4":
            self.assertEqual(record, [], "raw pictures need no blocks")
            return
        self.assertEqual(len(record), 1, "lz4_pictures is not in the linker map")
        rva = self.address(record[0]) - self.image.image_base
        blocks, buffer, buffer_size = struct.unpack("<QQQ", self.image.read(rva, 24))
        names = self.slides + LISTINGS
        table = self.image.read(blocks - self.image.image_base, 16 * len(names))
        for index, name in enumerate(names):
            with self.subTest(block=name):
                self.assertEqual(struct.unpack_from("<QQ", table, 16 * index),
                                 (self.address(self.symbol(name) + "start"),
                                  self.address(self.symbol(name) + "end")))
        largest = max(picture_size(name, self.size)[0] * picture_size(name, self.size)[1] * 4
                      for name in names)
        self.assertEqual(buffer_size, largest)
        start = buffer - self.image.image_base
        _, section_rva, virtual_size, _, _, flags = self.image.section_at(start)
        self.assertTrue(flags & IMAGE_SCN_MEM_WRITE, "the decode buffer is written")
        self.assertLessEqual(start + largest, section_rva + virtual_size)

    def test_slide_table_has_one_entry_a_slide(self):
        count = [name for name in self.symbols if re.fullmatch(r"\?img_count@@.*", name)]
        self.assertEqual(len(count), 1, "img_count is not in the linker map")
        rva = self.address(count[0]) - self.image.image_base
        self.assertEqual(struct.unpack("<i", self.image.read(rva, 4))[0], len(self.slides))

    def check_table(self, table_name, names):
        """The img_entry table TABLE_NAME holds, in order, each picture of
        NAMES with its size, pointing at its first byte."""
        table = [name for name in self.symbols if re.fullmatch(r"\?%s@@.*" % table_name, name)]
        self.assertEqual(len(table), 1, "one %s table in the map" % table_name)
        table_rva = self.address(table[0]) - self.image.image_base
        entries = self.image.read(table_rva, 16 * len(names))
        for index, name in enumerate(names):
            width, height, pixels = struct.unpack_from("<IIQ", entries, 16 * index)
            symbol = self.symbol(name)
            with self.subTest(entry=index):
                self.assertEqual((width, height), picture_size(name, self.size))
                self.assertEqual(pixels, self.address(symbol + "start"))
                if self.compression == "none":
                    self.assertEqual(width * height * 4, self.address(symbol + "size"))

    def test_slide_table_points_at_the_slides_in_order(self):
        self.check_table("img", self.slides)

    def test_listing_table_gives_each_listing_its_size(self):
        self.check_table("extra_img", LISTINGS)


def main():
    arguments = sys.argv[1:]
    while arguments[:1] in (["--arch"], ["--compression"], ["--size"], ["--signed"]):
        if arguments[0] == "--signed":
            BuiltImage.signed = True
            arguments = arguments[1:]
            continue
        if len(arguments) < 2:
            sys.exit(__doc__)
        if arguments[0] == "--arch" and arguments[1] in MACHINES:
            BuiltImage.machine = MACHINES[arguments[1]]
        elif arguments[0] == "--compression" and arguments[1] in facts.choices("PICTURE_COMPRESSION"):
            BuiltImage.compression = arguments[1]
        elif arguments[0] == "--size":
            BuiltImage.size = parse_size(arguments[1])
        else:
            sys.exit(__doc__)
        arguments = arguments[2:]
    if len(arguments) != 3:
        sys.exit(__doc__)
    BuiltImage.image_path, BuiltImage.map_path, BuiltImage.bgra_folder = arguments
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
