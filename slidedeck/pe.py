#!/usr/bin/python3
"""Reads the headers of a PE32+ image, the form of every EFI application:
the machine it is for, the optional header's fields the firmware's loader
relies on, the data directories and the section table. The one reader of
them for the image checks, the deck tests and tools/make-disk-image.

    pe.py boot-name IMAGE.EFI

prints the removable-media file name of IMAGE's machine (BOOTX64.EFI or
BOOTAA64.EFI), or names the problem and exits with 1.
"""
import collections
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import facts  # noqa: E402

MACHINE_X64 = facts.MACHINE["x64"].pe_machine
MACHINE_AA64 = facts.MACHINE["aa64"].pe_machine
# The file name firmware boots from removable media, by machine.
BOOT_NAMES = {m.pe_machine: m.boot_name + ".EFI" for m in facts.MACHINES}

# The MS-DOS header's field that holds where the PE signature lies.
_PE_OFFSET_FIELD = 0x3C
_SIGNATURE = b"PE\0\0"
_COFF_HEADER = struct.Struct("<HHIIIHH")
_SECTION_HEADER = struct.Struct("<8sIIIIIIHHI")

# One entry of the section table: rva and virtual_size where it is loaded,
# raw_offset and raw_size where its bytes lie in the file, flags its
# IMAGE_SCN_* characteristics.
Section = collections.namedtuple("Section", "name rva virtual_size raw_offset raw_size flags")


class PeError(ValueError):
    """The file is not a PE image, or ends inside its headers."""


class PeImage:
    """The headers of one PE32+ image, and its bytes (data)."""

    def __init__(self, data, name="image"):
        self.data = data
        self.name = name
        if data[:2] != b"MZ":
            raise PeError("%s: no MZ header" % name)
        pe_offset, = self._unpack("<I", _PE_OFFSET_FIELD)
        if data[pe_offset:pe_offset + 4] != _SIGNATURE:
            raise PeError("%s: no PE signature" % name)
        coff = pe_offset + 4
        (self.machine, section_count, _, _, _, optional_size,
         self.characteristics) = self._unpack(_COFF_HEADER.format, coff)
        optional = coff + _COFF_HEADER.size
        self.magic, = self._unpack("<H", optional)
        self.entry_rva, = self._unpack("<I", optional + 16)
        self.image_base, = self._unpack("<Q", optional + 24)
        self.section_alignment, = self._unpack("<I", optional + 32)
        self.headers_size, = self._unpack("<I", optional + 60)
        self.subsystem, self.dll_characteristics = self._unpack("<HH", optional + 68)
        directory_count, = self._unpack("<I", optional + 108)
        self.directories = [self._unpack("<II", optional + 112 + 8 * i)
                            for i in range(directory_count)]
        table = optional + optional_size
        self.sections = []
        for i in range(section_count):
            (name, virtual_size, rva, raw_size, raw_offset, _, _, _, _,
             flags) = self._unpack(_SECTION_HEADER.format, table + _SECTION_HEADER.size * i)
            self.sections.append(Section(name.rstrip(b"\0").decode("latin-1"), rva,
                                         virtual_size, raw_offset, raw_size, flags))

    @classmethod
    def from_file(cls, path):
        with open(path, "rb") as f:
            return cls(f.read(), path)

    def _unpack(self, layout, offset):
        try:
            return struct.unpack_from(layout, self.data, offset)
        except struct.error:
            raise PeError("%s: ends inside its headers (at byte %d)" % (self.name, offset)) from None

    def section(self, name):
        """The section of that name, or None."""
        return next((section for section in self.sections if section.name == name), None)

    def section_at(self, rva):
        for section in self.sections:
            if section.rva <= rva < section.rva + section.virtual_size:
                return section
        raise KeyError("RVA %#x lies in no section" % rva)

    def read(self, rva, length):
        """LENGTH bytes of the file at RVA, all inside one section's file
        data."""
        section = self.section_at(rva)
        offset = rva - section.rva
        if offset + length > section.raw_size:
            raise KeyError("RVA %#x + %d runs past the section's file data" % (rva, length))
        return self.data[section.raw_offset + offset:section.raw_offset + offset + length]

    def boot_name(self):
        """The removable-media file name of the image's machine."""
        try:
            return BOOT_NAMES[self.machine]
        except KeyError:
            raise PeError("%s: machine type %#06x, neither x86-64 (0x8664) nor AArch64 (0xaa64)"
                          % (self.name, self.machine)) from None


def main(arguments):
    if len(arguments) != 2 or arguments[0] != "boot-name":
        sys.exit("usage: pe.py boot-name IMAGE.EFI")
    try:
        print(PeImage.from_file(arguments[1]).boot_name())
    except (OSError, PeError) as error:
        print("pe.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
