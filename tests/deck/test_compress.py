"""cmake/compress_pictures.py, the build's step for PICTURE_COMPRESSION=lz4:
a block that decodes back to the picture, and on bad input an error that
names the file and no block left behind, not even an earlier one."""
import os
import subprocess
import tempfile
import unittest
from unittest import mock

import lz4.block

from support import BUILD_HELPERS, PYTHON

import compress_pictures

COMPRESS = os.path.join(BUILD_HELPERS, "compress_pictures.py")


class CompressPictures(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.raw = os.path.join(self.folder.name, "brov_01.bgra")
        self.out = os.path.join(self.folder.name, "out", "brov_01.lz4")
        self.picture = bytes([10, 20, 30, 255]) * (8 * 3) + bytes(range(32))
        with open(self.raw, "wb") as f:
            f.write(self.picture)

    def tearDown(self):
        self.folder.cleanup()

    def run_tool(self, width, height):
        return subprocess.run([PYTHON, COMPRESS, self.raw, str(width), str(height), self.out],
                              capture_output=True, text=True)

    def test_block_decodes_back_to_the_picture(self):
        result = self.run_tool(8, 4)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(self.out, "rb") as f:
            block = f.read()
        self.assertLess(len(block), len(self.picture))
        self.assertEqual(lz4.block.decompress(block, uncompressed_size=len(self.picture)),
                         self.picture)
        self.assertEqual(os.listdir(os.path.dirname(self.out)), ["brov_01.lz4"])

    def test_wrong_size_or_missing_picture_names_it_and_removes_the_old_block(self):
        self.assertEqual(self.run_tool(8, 4).returncode, 0)
        result = self.run_tool(8, 5)
        self.assertEqual(result.returncode, 1)
        self.assertIn(self.raw + ": 128 bytes, but a 8x5 raw BGRA picture is 160 bytes",
                      result.stderr)
        self.assertFalse(os.path.exists(self.out))
        os.remove(self.raw)
        result = self.run_tool(8, 4)
        self.assertEqual(result.returncode, 1)
        self.assertIn(self.raw + ": No such file", result.stderr)

    def test_failed_round_trip_or_compression_stops_with_the_file_named(self):
        tool = compress_pictures
        with mock.patch.object(tool.lz4.block, "decompress", return_value=b"other"):
            block, error = tool.compress(self.raw, 8, 4)
        self.assertIsNone(block)
        self.assertIn(self.raw + ": its LZ4 block does not give the picture back", error)
        with mock.patch.object(tool.lz4.block, "compress", side_effect=MemoryError("no room")):
            block, error = tool.compress(self.raw, 8, 4)
        self.assertIn(self.raw + ": python3-lz4 cannot compress it", error)


if __name__ == "__main__":
    unittest.main()
