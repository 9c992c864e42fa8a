#!/usr/bin/python3
"""Writes a placeholder picture set into a folder: 47 numbered slides and
the two listings, each in the raw BGRA form the image links in."""
import os
import sys

from PIL import Image, ImageDraw, ImageFont

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def bgra_bytes(image):
    return image.convert("RGBA").tobytes("raw", "BGRA")


def write_atomically(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, path)


def picture(width, height, background, text):
    image = Image.new("RGB", (width, height), background)
    draw = ImageDraw.Draw(image)
    draw.text((width // 2, height // 2), text, fill="white",
              font=ImageFont.truetype(FONT, 96), anchor="mm")
    return image


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for number in range(1, 48):
        hue = (number * 47) % 256
        slide = picture(640, 480, (hue, 80, 255 - hue), str(number))
        write_atomically(os.path.join(folder, "brov_%02d.bgra" % number), bgra_bytes(slide))
    write_atomically(os.path.join(folder, "a_012_efiversion_src.bgra"),
                     bgra_bytes(picture(640, 389, (20, 20, 20), "listing 1")))
    write_atomically(os.path.join(folder, "a_043_graphic_image_blt_src.bgra"),
                     bgra_bytes(picture(640, 295, (60, 20, 20), "listing 2")))


if __name__ == "__main__":
    main()
