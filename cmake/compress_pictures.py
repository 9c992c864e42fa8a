#!/usr/bin/python3
"""Stores one raw picture as one LZ4 block, for PICTURE_COMPRESSION=lz4.

usage: compress_pictures.py RAW.bgra WIDTH HEIGHT OUT.lz4

The block is LZ4's block format (no frame, no size header), made by
Debian's python3-lz4 in high-compression mode. The picture must be WIDTH x
HEIGHT raw BGRA pixels; the block is decoded again and must give back the
file byte for byte. On any failure the message names the file and OUT is
removed, so no earlier block stands in for it; a block is only ever
written whole (a temporary name until it is complete).
"""
import os
import sys

try:
    import lz4.block
except ImportError:
    sys.exit("compress_pictures.py: python3-lz4 is missing (Debian package python3-lz4; "
             "tools/install-deps installs it)")


def compress(raw_path, width, height):
    """The checked block of RAW_PATH, or a message naming what is wrong."""
    expected = width * height * 4
    try:
        with open(raw_path, "rb") as f:
            raw = f.read()
    except OSError as error:
        return None, "%s: %s" % (raw_path, error.strerror)
    if len(raw) != expected:
        return None, ("%s: %d bytes, but a %dx%d raw BGRA picture is %d bytes"
                      % (raw_path, len(raw), width, height, expected))
    try:
        block = lz4.block.compress(raw, mode="high_compression", store_size=False)
    except Exception as error:  # python3-lz4 raises its own kinds
        return None, "%s: python3-lz4 cannot compress it: %s" % (raw_path, error)
    try:
        back = lz4.block.decompress(block, uncompressed_size=expected)
    except Exception as error:
        back, detail = None, str(error)
    else:
        detail = "%d bytes, other bytes" % len(back)
    if back != raw:
        return None, ("%s: its LZ4 block does not give the picture back (%s)"
                      % (raw_path, detail))
    return block, None


def main(arguments):
    if len(arguments) != 4 or not arguments[1].isdigit() or not arguments[2].isdigit():
        sys.exit(__doc__)
    raw_path, width, height, out_path = arguments[0], int(arguments[1]), int(arguments[2]), arguments[3]
    block, error = compress(raw_path, width, height)
    if error:
        try:
            os.remove(out_path)
        except FileNotFoundError:
            pass
        print(error, file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(out_path)), exist_ok=True)
    with open(out_path + ".tmp", "wb") as f:
        f.write(block)
    os.replace(out_path + ".tmp", out_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
