"""slidedeck/pe.py, the one reader of PE headers: the fields of a small
image laid out by hand, the files it refuses, and its command line as
tools/make-disk-image runs it."""
import os
import struct
import subprocess
import tempfile
import unittest

from support import PYTHON, ROOT, TOOLS, write
from slidedeck.pe import PeError, PeImage

PE_READER = os.path.join(ROOT, "slidedeck", "pe.py")
TEXT = b"\xc3" * 16


def image(machine=0x8664, pe_offset=0x40):
    """A PE32+ file of one section, .text at RVA 0x1000 with 16 bytes in
    the file at 0x200, for MACHINE."""
    data = bytearray(0x400)
    data[:2] = b"MZ"
    struct.pack_into("<I", data, 0x3C, pe_offset)
    data[pe_offset:pe_offset + 4] = b"PE\0\0"
    coff = pe_offset + 4
    struct.pack_into("<HHIIIHH", data, coff, machine, 1, 0, 0, 0, 240, 0x22)
    optional = coff + 20
    struct.pack_into("<H", data, optional, 0x20B)
    struct.pack_into("<I", data, optional + 16, 0x1004)                # entry point
    struct.pack_into("<Q", data, optional + 24, 0x140000000)           # image base
    struct.pack_into("<I", data, optional + 32, 0x1000)                # section alignment
    struct.pack_into("<I", data, optional + 60, 0x200)                 # headers' size
    struct.pack_into("<HH", data, optional + 68, 10, 0x160)            # subsystem, DLL flags
    struct.pack_into("<I", data, optional + 108, 16)                   # directories
    struct.pack_into("<II", data, optional + 112 + 8 * 5, 0x2000, 12)  # base relocations
    struct.pack_into("<8sIIIIIIHHI", data, optional + 240, b".text", len(TEXT), 0x1000,
                     0x200, 0x200, 0, 0, 0, 0, 0x60000020)
    data[0x200:0x200 + len(TEXT)] = TEXT
    return bytes(data)


class Headers(unittest.TestCase):
    def test_reads_every_field_the_checks_use(self):
        pe = PeImage(image())
        self.assertEqual((pe.machine, pe.characteristics, pe.magic), (0x8664, 0x22, 0x20B))
        self.assertEqual((pe.entry_rva, pe.image_base), (0x1004, 0x140000000))
        self.assertEqual((pe.section_alignment, pe.headers_size), (0x1000, 0x200))
        self.assertEqual((pe.subsystem, pe.dll_characteristics), (10, 0x160))
        self.assertEqual(len(pe.directories), 16)
        self.assertEqual(pe.directories[5], (0x2000, 12))
        self.assertEqual(pe.directories[1], (0, 0))
        self.assertEqual(pe.sections, [(".text", 0x1000, 16, 0x200, 0x200, 0x60000020)])
        self.assertEqual(pe.section(".text").flags, 0x60000020)
        self.assertIsNone(pe.section(".data"))

    def test_the_pe_header_may_lie_anywhere(self):
        self.assertEqual(PeImage(image(machine=0xAA64, pe_offset=0x80)).machine, 0xAA64)

    def test_reads_bytes_by_rva_within_a_sections_file_data(self):
        pe = PeImage(image())
        self.assertEqual(pe.read(0x1004, 4), TEXT[4:8])
        self.assertEqual(pe.section_at(0x100F).name, ".text")
        with self.assertRaisesRegex(KeyError, "lies in no section"):
            pe.section_at(0x1010)
        with self.assertRaisesRegex(KeyError, "runs past the section's file data"):
            pe.read(0x1000, 0x201)

    def test_refuses_what_is_no_pe_image_naming_the_file(self):
        good = image()
        for data, problem in ((b"ZM" + good[2:], "no MZ header"),
                              (good[:0x40] + b"NE\0\0" + good[0x44:], "no PE signature"),
                              (good[:0x100], "ends inside its headers")):
            with self.subTest(problem=problem):
                with self.assertRaisesRegex(PeError, "^disk.efi: " + problem):
                    PeImage(data, "disk.efi")

    def test_boot_name_follows_the_machine(self):
        self.assertEqual(PeImage(image(0x8664)).boot_name(), "BOOTX64.EFI")
        self.assertEqual(PeImage(image(0xAA64)).boot_name(), "BOOTAA64.EFI")
        with self.assertRaisesRegex(PeError, "machine type 0x014c, neither x86-64"):
            PeImage(image(0x14C)).boot_name()


class CommandLine(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_prints_the_boot_name_or_fails_naming_the_file(self):
        arm = write(self.path("arm.efi"), image(0xAA64))
        result = subprocess.run([PYTHON, PE_READER, "boot-name", arm], capture_output=True,
                                text=True)
        self.assertEqual((result.returncode, result.stdout), (0, "BOOTAA64.EFI\n"))
        text = write(self.path("notes.txt"), b"not an image at all")
        result = subprocess.run([PYTHON, PE_READER, "boot-name", text], capture_output=True,
                                text=True)
        self.assertEqual((result.returncode, result.stdout), (1, ""))
        self.assertIn(text + ": no MZ header", result.stderr)

    def test_the_disk_maker_refuses_an_image_of_no_known_machine(self):
        x86 = write(self.path("i386.efi"), image(0x14C))
        disk = self.path("disk.img")
        result = subprocess.run([os.path.join(TOOLS, "make-disk-image"), x86, disk],
                                capture_output=True, text=True)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(x86 + ": machine type 0x014c", result.stderr)
        self.assertFalse(os.path.exists(disk))


if __name__ == "__main__":
    unittest.main()
