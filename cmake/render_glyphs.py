#!/usr/bin/python3
"""Renders the presenter console's characters (digits, ':', '/', '-' and
the space) from DejaVu Sans Mono Bold at the cell heights facts.py lists,
as coverage values (0 background to 255 ink), into a C++ unit that
defines the image's glyph faces, smallest first:

    render_glyphs.py OUT.cpp

Each face is drawn by the font engine at its own size, so text stays sharp
at every height the console picks; the image itself holds no font engine
and never enlarges a glyph."""
import os
import sys

from PIL import Image, ImageDraw

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from slidedeck.common import font  # noqa: E402
from facts import CONSOLE_CELL_HEIGHTS, write_if_changed  # noqa: E402

FONT = "DejaVuSansMono-Bold.ttf"
# The console's characters, in the order the viewer numbers them
# (console_characters in src/options.h).
CHARACTERS = "0123456789:/- "


def render_face(cell_height):
    """The cell width and the coverage bytes of every character, each cell
    row by row, characters in order."""
    # The font size whose line (ascent and descent) fills the cell.
    size = cell_height
    while size > 4:
        face = font(FONT, size)
        ascent, descent = face.getmetrics()
        if ascent + descent <= cell_height:
            break
        size -= 1
    ascent, descent = face.getmetrics()
    cell_width = round(face.getlength("0"))
    top = (cell_height - ascent - descent) // 2
    coverage = bytearray()
    for character in CHARACTERS:
        cell = Image.new("L", (cell_width, cell_height), 0)
        ImageDraw.Draw(cell).text((0, top), character, font=face, fill=255)
        coverage += cell.tobytes()
    return cell_width, bytes(coverage)


def glyph_unit(faces):
    lines = ["// The presenter console's glyph faces, rendered by cmake/render_glyphs.py",
             "// from DejaVu Sans Mono Bold: " + ", ".join(
                 "%dx%d" % (width, height) for height, width, _ in faces) + ".",
             '#include "options.h"', "", "namespace {"]
    for height, width, coverage in faces:
        lines.append("const uint8_t coverage_%d[] = {" % height)
        for start in range(0, len(coverage), 24):
            lines.append("    " + ",".join(str(b) for b in coverage[start:start + 24]) + ",")
        lines.append("};")
    lines += ["}  // namespace", "", "extern const glyph_face console_faces[] = {"]
    for height, width, _ in faces:
        lines.append("    {%d, %d, coverage_%d}," % (width, height, height))
    lines.append("};")
    return "\n".join(lines) + "\n"


def main():
    if len(sys.argv) != 2:
        print("usage: render_glyphs.py OUT.cpp", file=sys.stderr)
        return 2
    faces = [(height,) + render_face(height) for height in CONSOLE_CELL_HEIGHTS]
    write_if_changed(sys.argv[1], glyph_unit(faces))
    return 0


if __name__ == "__main__":
    sys.exit(main())
