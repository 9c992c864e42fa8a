"""What the deck renderer and the importer share: the raw BGRA form of a
picture, fitting a picture into its frame, the contact sheet, writing a
whole set into a folder in one step, and the fonts. The set's names and
sizes come from pictures.py."""
import functools
import io
import os
import shutil
import tempfile

from PIL import Image, ImageDraw, ImageFont

from .pictures import (DEFAULT_SLIDE_COUNT, LISTING_NAMES, LISTINGS,  # noqa: F401
                       MAX_SLIDE_COUNT, SLIDE_SIZE, picture_names, picture_size, slide_name,
                       slide_names)

LISTING_SIZES = dict(LISTINGS)
CONTACT_SHEET = "contact-sheet.png"

FONT_FOLDER = "/usr/share/fonts/truetype/dejavu"
# Every font the deck tools load, and the Debian package that brings it;
# tools/install-deps installs each of these packages.
FONT_PACKAGES = {
    "DejaVuSans.ttf": "fonts-dejavu-core",
    "DejaVuSans-Bold.ttf": "fonts-dejavu-core",
    "DejaVuSansMono.ttf": "fonts-dejavu-core",
    "DejaVuSansMono-Bold.ttf": "fonts-dejavu-core",
    "DejaVuSansMono-Oblique.ttf": "fonts-dejavu-extra",
    "DejaVuSansMono-BoldOblique.ttf": "fonts-dejavu-extra",
}


class MissingFont(OSError):
    pass


@functools.lru_cache(maxsize=None)
def font_file(path):
    with open(path, "rb") as file:
        return file.read()


def font(name, size):
    """The font NAME at SIZE pixels. NAME must be one of FONT_PACKAGES, so
    that the install step knows every font the tools load."""
    if name not in FONT_PACKAGES:
        raise ValueError("%s: not a font the install step provides; add it to FONT_PACKAGES"
                         % name)
    path = os.path.join(FONT_FOLDER, name)
    # Opened here rather than by name: given a name it cannot open, Pillow
    # searches other font folders and could draw with a stray copy.
    try:
        return ImageFont.truetype(io.BytesIO(font_file(path)), size)
    except OSError:
        raise MissingFont("%s: cannot load this font; install the Debian package %s "
                          "(tools/install-deps does)" % (path, FONT_PACKAGES[name])) from None


def slide_count(pictures):
    """How many slides the set PICTURES (name -> picture) holds."""
    count = 0
    while slide_name(count + 1) in pictures:
        count += 1
    return count


def bgra_bytes(image):
    """The raw form the image links in: blue, green, red, alpha, rows top to
    bottom, no header. Alpha is 255 throughout; the screen ignores it."""
    return image.convert("RGB").convert("RGBA").tobytes("raw", "BGRA")


def image_from_bgra(data, size):
    return Image.frombytes("RGBA", size, data, "raw", "BGRA").convert("RGB")


def fit(image, size, background):
    """IMAGE scaled to fit SIZE with its aspect ratio kept, centred on the
    BACKGROUND colour. Transparent parts show the background."""
    image = image.convert("RGBA")
    width, height = size
    scale = min(width / image.width, height / image.height)
    scaled_size = (max(1, round(image.width * scale)), max(1, round(image.height * scale)))
    if scaled_size != image.size:
        image = image.resize(scaled_size, Image.LANCZOS)
    frame = Image.new("RGBA", size, background + (255,))
    frame.alpha_composite(image, ((width - scaled_size[0]) // 2, (height - scaled_size[1]) // 2))
    return frame.convert("RGB")


def contact_sheet(pictures, labels=None):
    """One picture of the whole set: the slides as numbered thumbnails,
    eight to a row, and the two listings at half size below them. LABELS
    adds a word to some slide numbers (number -> text)."""
    labels = labels or {}
    columns, thumb = 8, (160, 120)
    gap, label_height = 8, 20
    count = slide_count(pictures)
    rows = (count + columns - 1) // columns
    cell = (thumb[0] + gap, thumb[1] + label_height + gap)
    listing_height = max(h for _, h in LISTING_SIZES.values()) // 2
    width = gap + columns * cell[0]
    height = gap + rows * cell[1] + listing_height + label_height + 2 * gap
    sheet = Image.new("RGB", (width, height), (64, 64, 64))
    draw = ImageDraw.Draw(sheet)
    label_font = font("DejaVuSans.ttf", 14)

    for number in range(1, count + 1):
        row, column = divmod(number - 1, columns)
        x, y = gap + column * cell[0], gap + row * cell[1]
        label = " ".join(filter(None, [str(number), labels.get(number)]))
        draw.text((x, y), label, fill="white", font=label_font)
        sheet.paste(pictures[slide_name(number)].resize(thumb, Image.LANCZOS),
                    (x, y + label_height))

    y = gap + rows * cell[1]
    x = gap
    for key, name in zip("12", LISTING_NAMES):
        listing = pictures[name]
        half = (listing.width // 2, listing.height // 2)
        draw.text((x, y), "listing %s (key %s)" % (key, key), fill="white", font=label_font)
        sheet.paste(listing.resize(half, Image.LANCZOS), (x, y + label_height))
        x += half[0] + gap
    return sheet


def write_picture_set(folder, pictures, labels=None):
    """Writes every picture of PICTURES (name -> RGB image) as NAME.bgra into
    FOLDER, with the contact sheet (LABELS as for contact_sheet), all or
    nothing: the set is built in a temporary folder beside FOLDER and moved
    into place at the end, so an interrupted run never leaves a partial set
    that a build would take."""
    names = picture_names(slide_count(pictures))
    if set(pictures) != set(names):
        raise ValueError("not a picture set: %s" % sorted(set(pictures) ^ set(names)))
    for name in names:
        if pictures[name].size != picture_size(name):
            raise ValueError("%s is %dx%d, must be %dx%d"
                             % ((name,) + pictures[name].size + picture_size(name)))
    folder = os.path.abspath(folder)
    parent = os.path.dirname(folder)
    os.makedirs(parent, exist_ok=True)
    staging = tempfile.mkdtemp(prefix=".%s." % os.path.basename(folder), dir=parent)
    try:
        # mkdtemp makes a private folder; the set is an ordinary one.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(staging, 0o777 & ~umask)
        for name in names:
            with open(os.path.join(staging, name + ".bgra"), "wb") as out:
                out.write(bgra_bytes(pictures[name]))
        contact_sheet(pictures, labels).save(os.path.join(staging, CONTACT_SHEET))
        replace_folder(staging, folder)
    except BaseException:
        shutil.rmtree(staging, ignore_errors=True)
        raise


def replace_folder(new, folder):
    """Puts the folder NEW where FOLDER is, removing the old one."""
    if not os.path.lexists(folder):
        os.rename(new, folder)
        return
    old = tempfile.mkdtemp(prefix=".%s.old." % os.path.basename(folder),
                           dir=os.path.dirname(folder))
    os.rmdir(old)
    os.rename(folder, old)
    os.rename(new, folder)
    shutil.rmtree(old, ignore_errors=True)
