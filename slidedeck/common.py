"""What the deck renderer and the importer share: the raw BGRA form of a
picture, fitting a picture into its frame, the contact sheet, writing a
whole set into a folder in one step, and the fonts. The set's names and
sizes, for slides of any size, come from pictures.py."""
import functools
import io
import os
import shutil
import tempfile

from PIL import Image, ImageDraw, ImageFont

from .pictures import (DEFAULT_SLIDE_COUNT, LISTING_NAMES, LISTINGS,  # noqa: F401
                       MAX_SLIDE_COUNT, SLIDE_SIZE, format_size, listing_sizes, parse_size,
                       picture_names, picture_size, slide_name, slide_names)

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


def fit(image, size, background, enlarge=True):
    """IMAGE scaled to fit SIZE with its aspect ratio kept (with ENLARGE
    false, only ever made smaller), centred on the BACKGROUND colour.
    Transparent parts show the background."""
    image = image.convert("RGBA")
    width, height = size
    scale = min(width / image.width, height / image.height)
    if not enlarge:
        scale = min(scale, 1)
    scaled_size = (max(1, round(image.width * scale)), max(1, round(image.height * scale)))
    if scaled_size != image.size:
        image = image.resize(scaled_size, Image.LANCZOS)
    frame = Image.new("RGBA", size, background + (255,))
    frame.alpha_composite(image, ((width - scaled_size[0]) // 2, (height - scaled_size[1]) // 2))
    return frame.convert("RGB")


SHEET_COLUMNS = 8


def thumbnail_size(name, size=SLIDE_SIZE):
    """The size picture NAME of a set of slides of SIZE has on the contact
    sheet: a slide as high as 120 rows (160x120 for 640x480) but no wider
    than 240 columns, a listing at twice that scale. The scale depends on
    the slide's shape only, so a slide's text reads the same on the sheet
    whatever size the slides were made at."""
    scale = min(120 / size[1], 240 / size[0])
    width, height = picture_size(name, size)
    if name in LISTING_NAMES:
        return max(1, int(width * 2 * scale)), max(1, int(height * 2 * scale))
    return max(1, round(width * scale)), max(1, round(height * scale))


def thumbnail(name, picture, size=SLIDE_SIZE):
    return picture.resize(thumbnail_size(name, size), Image.LANCZOS)


def contact_sheet(pictures, labels=None, size=SLIDE_SIZE):
    """One picture of the whole set of slides of SIZE: the slides as
    numbered thumbnails, eight to a row, and the two listings below them.
    PICTURES may hold the pictures or already their thumbnails. LABELS
    adds a word to some slide numbers (number -> text)."""
    labels = labels or {}
    columns = SHEET_COLUMNS
    thumb = thumbnail_size(slide_name(1), size)
    listing_thumbs = [thumbnail_size(name, size) for name in LISTING_NAMES]
    gap, label_height = 8, 20
    count = slide_count(pictures)
    rows = (count + columns - 1) // columns
    cell = (thumb[0] + gap, thumb[1] + label_height + gap)
    listing_height = max(h for _, h in listing_thumbs)
    width = max(gap + columns * cell[0], gap + sum(w + gap for w, _ in listing_thumbs))
    height = gap + rows * cell[1] + listing_height + label_height + 2 * gap
    sheet = Image.new("RGB", (width, height), (64, 64, 64))
    draw = ImageDraw.Draw(sheet)
    label_font = font("DejaVuSans.ttf", 14)

    for number in range(1, count + 1):
        row, column = divmod(number - 1, columns)
        x, y = gap + column * cell[0], gap + row * cell[1]
        label = " ".join(filter(None, [str(number), labels.get(number)]))
        draw.text((x, y), label, fill="white", font=label_font)
        name = slide_name(number)
        sheet.paste(thumbnail(name, pictures[name], size), (x, y + label_height))

    y = gap + rows * cell[1]
    x = gap
    for key, name in zip("12", LISTING_NAMES):
        small = thumbnail(name, pictures[name], size)
        draw.text((x, y), "listing %s (key %s)" % (key, key), fill="white", font=label_font)
        sheet.paste(small, (x, y + label_height))
        x += small.width + gap
    return sheet


def write_picture_set(folder, pictures, labels=None, size=SLIDE_SIZE):
    """Writes every picture of PICTURES (name -> RGB image, or (name, image)
    pairs, taken one at a time so that a large set need not be held in
    memory), slides of SIZE, as NAME.bgra into FOLDER, with the contact
    sheet (LABELS as for contact_sheet), all or nothing: the set is built
    in a temporary folder beside FOLDER and moved into place at the end, so
    an interrupted run or a wrong picture never leaves a partial set that
    a build would take."""
    pairs = pictures.items() if hasattr(pictures, "items") else pictures
    folder = os.path.abspath(folder)
    parent = os.path.dirname(folder)
    os.makedirs(parent, exist_ok=True)
    staging = tempfile.mkdtemp(prefix=".%s." % os.path.basename(folder), dir=parent)
    try:
        # mkdtemp makes a private folder; the set is an ordinary one.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(staging, 0o777 & ~umask)
        thumbnails = {}
        for name, picture in pairs:
            if picture.size != picture_size(name, size):
                raise ValueError("%s is %dx%d, must be %dx%d"
                                 % ((name,) + picture.size + picture_size(name, size)))
            with open(os.path.join(staging, name + ".bgra"), "wb") as out:
                out.write(bgra_bytes(picture))
            thumbnails[name] = thumbnail(name, picture, size)
        names = picture_names(slide_count(thumbnails))
        if set(thumbnails) != set(names):
            raise ValueError("not a picture set: %s" % sorted(set(thumbnails) ^ set(names)))
        contact_sheet(thumbnails, labels, size).save(os.path.join(staging, CONTACT_SHEET))
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


def labelled_sheet(sheet, text):
    """SHEET with a line of TEXT above it: the contact sheet of a folder of
    several picture sets says which sizes it holds."""
    label_height = 28
    labelled = Image.new("RGB", (sheet.width, sheet.height + label_height), (64, 64, 64))
    ImageDraw.Draw(labelled).text((8, 6), text, fill="white", font=font("DejaVuSans.ttf", 14))
    labelled.paste(sheet, (0, label_height))
    return labelled
