"""What the screen shows: QEMU's screendumps, binary PPM files, read into
RGB rows."""
import re

from .errors import QemuError


class Screen:
    """One screendump: width, height and the pixels as RGB bytes, rows top
    to bottom."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    @classmethod
    def from_ppm(cls, data):
        # A binary PPM as QEMU writes it: "P6\n<w> <h>\n255\n" then RGB.
        # Exactly one whitespace byte ends the header: the pixel bytes that
        # follow may themselves look like whitespace.
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
        if header is None:
            raise QemuError("unexpected screendump header %r" % data[:20])
        width, height = int(header.group(1)), int(header.group(2))
        rgb = data[header.end():]
        if len(rgb) != width * height * 3:
            raise QemuError("screendump of %dx%d holds %d bytes" % (width, height, len(rgb)))
        return cls(width, height, rgb)

    def rows(self, x, y, width, height):
        """The RGB bytes of a rectangle, one bytes object per row."""
        stride = self.width * 3
        return [self.rgb[(y + row) * stride + x * 3:(y + row) * stride + (x + width) * 3]
                for row in range(height)]

    def save_png(self, path):
        from PIL import Image
        Image.frombytes("RGB", (self.width, self.height), self.rgb).save(path)
