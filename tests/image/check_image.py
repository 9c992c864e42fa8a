#!/usr/bin/python3
"""Checks the built EFI application image itself: the PE32+ headers the
firmware's loader relies on, the entry point, and the pictures and slide
table inside it, against the linker's map and the raw picture files.

usage: check_image.py [--arch x64|aa64] [--compression none|lz4]
                      IMAGE.EFI IMAGE.map BGRA_FOLDER

--arch names the machine the image must be for: x64 (BOOTX64.EFI, the
default) or aa64 (BOOTAA64.EFI). --compression says how the image stores
its pictures (PICTURE_COMPRESSION): raw (none, the default), or as LZ4
blocks, each of which is decoded and compared with its raw file.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest

import lz4.block

# The PE machine field of each architecture's image.
MACHINES = {"x64": 0x8664, "aa64": 0xAA64}
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
IMAGE_SCN_MEM_WRITE = 0x80000000

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
from slidedeck.pictures import LISTING_NAMES, count_slides, picture_size, slide_names  # noqa: E402

LISTINGS = list(LISTING_NAMES)


class PeImage:
    """The parts of a PE32+ file the checks look at."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        data = self.data
        if data[:2] != b"MZ":
            raise ValueError("%s: no MZ header" % path)
        pe_offset = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe_offset:pe_offset + 4] != b"PE\0\0":
            raise ValueError("%s: no PE signature" % path)
        coff = pe_offset + 4
        (self.machine, section_count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        optional = coff + 20
        self.magic = struct.unpack_from("<H", data, optional)[0]
        self.entry_rva = struct.unpack_from("<I", data, optional + 16)[0]
        self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directory_count = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [struct.unpack_from("<II", data, optional + 112 + 8 * i)
                            for i in range(directory_count)]
        self.sections = []
        table = optional + optional_size
        for i in range(section_count):
            name, virtual_size, rva, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", data, table + 40 * i)
            flags = struct.unpack_from("<I", data, table + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode(), rva, virtual_size,
                                  raw_offset, raw_size, flags))

    def section_at(self, rva):
        for section in self.sections:
            if section[1] <= rva < section[1] + section[2]:
                return section
        raise KeyError("RVA %#x lies in no section" % rva)

    def read(self, rva, length):
        _, start, _, raw_offset, raw_size, _ = self.section_at(rva)
        offset = rva - start
        if offset + length > raw_size:
            raise KeyError("RVA %#x + %d runs past the section's file data" % (rva, length))
        return self.data[raw_offset + offset:raw_offset + offset + length]


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

    @classmethod
    def setUpClass(cls):
        cls.image = PeImage(cls.image_path)
        cls.symbols = read_map(cls.map_path)
        cls.slides = slide_names(count_slides(cls.bgra_folder, cls.compression))

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
        """The prefix of picture NAME's link symbols."""
        if self.compression == "lz4":
            return "_binary_lz4_%s_lz4_" % name
        return "_binary_bgra_%s_bgra_" % name

    def test_every_picture_has_its_size_and_bytes(self):
        for name in self.slides + LISTINGS:
            with self.subTest(picture=name):
                width, height = picture_size(name)
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

    def test_decode_buffer_holds_the_largest_picture(self):
        # Only with lz4: the viewer decodes into it, so it must be writable
        # and as large as any picture.
        if self.compression != "lz4":
            self.assertFalse(any("picture_buffer" in name for name in self.symbols))
            return
        largest = max(picture_size(name)[0] * picture_size(name)[1] * 4
                      for name in self.slides + LISTINGS)
        size = [name for name in self.symbols if re.fullmatch(r"\?picture_buffer_size@@.*", name)]
        buffer = [name for name in self.symbols if re.fullmatch(r"\?picture_buffer@@.*", name)]
        self.assertEqual((len(size), len(buffer)), (1, 1))
        rva = self.address(size[0]) - self.image.image_base
        self.assertEqual(struct.unpack("<Q", self.image.read(rva, 8))[0], largest)
        start = self.address(buffer[0]) - self.image.image_base
        name, section_rva, virtual_size, _, _, flags = self.image.section_at(start)
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
        # With lz4 an entry also holds the end of the picture's block.
        entry_size = 24 if self.compression == "lz4" else 16
        entries = self.image.read(table_rva, entry_size * len(names))
        for index, name in enumerate(names):
            width, height, pixels = struct.unpack_from("<IIQ", entries, entry_size * index)
            symbol = self.symbol(name)
            with self.subTest(entry=index):
                self.assertEqual((width, height), picture_size(name))
                self.assertEqual(pixels, self.address(symbol + "start"))
                if self.compression == "lz4":
                    block_end = struct.unpack_from("<Q", entries, entry_size * index + 16)[0]
                    self.assertEqual(block_end, self.address(symbol + "end"))
                else:
                    self.assertEqual(width * height * 4, self.address(symbol + "size"))

    def test_slide_table_points_at_the_slides_in_order(self):
        self.check_table("img", self.slides)

    def test_listing_table_gives_each_listing_its_size(self):
        self.check_table("extra_img", LISTINGS)


def main():
    arguments = sys.argv[1:]
    while arguments[:1] in (["--arch"], ["--compression"]):
        if len(arguments) < 2:
            sys.exit(__doc__)
        if arguments[0] == "--arch" and arguments[1] in MACHINES:
            BuiltImage.machine = MACHINES[arguments[1]]
        elif arguments[0] == "--compression" and arguments[1] in ("none", "lz4"):
            BuiltImage.compression = arguments[1]
        else:
            sys.exit(__doc__)
        arguments = arguments[2:]
    if len(arguments) != 3:
        sys.exit(__doc__)
    BuiltImage.image_path, BuiltImage.map_path, BuiltImage.bgra_folder = arguments
    unittest.main(argv=sys.argv[:1], verbosity=2)


if __name__ == "__main__":
    main()
