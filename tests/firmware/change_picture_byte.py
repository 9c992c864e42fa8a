#!/usr/bin/python3
"""Copies an EFI application image with one byte of a picture changed: a
signed image altered after signing, which Secure Boot must refuse. The
picture is found by its raw bytes in the image.

usage: change_picture_byte.py IMAGE.efi PICTURE.bgra OUTPUT.efi
"""
import os
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.strip().splitlines()[-1])
    image_path, picture_path, output = sys.argv[1:]
    with open(image_path, "rb") as f:
        image = bytearray(f.read())
    with open(picture_path, "rb") as f:
        picture = f.read()
    start = image.find(picture)
    if start < 0:
        sys.exit("%s: the bytes of %s are not in the image" % (image_path, picture_path))
    image[start + len(picture) // 2] ^= 0xFF
    temporary = output + ".tmp"
    with open(temporary, "wb") as f:
        f.write(image)
    os.replace(temporary, output)


if __name__ == "__main__":
    main()
