// What one image was built to do beyond its plain 1:1 presentation: a
// record of its build options. Every image links the same viewer; the
// build generates a one-line unit for each image that defines this record
// (build_options.cpp beside the image), so adding an option adds a field
// here, not another compiled viewer.
#ifndef OPTIONS_H
#define OPTIONS_H

#include "img.h"
#include "scale.h"

// The values of each option (scale_*, screen_* for SCREEN_MODE, screens_*
// for SCREENS), which the build writes from facts.py.
#include "option_values.h"

// One picture stored as an LZ4 block: its first byte, and one past its last.
struct picture_block {
    const uint8_t *start;
    const uint8_t *end;
};

// The pictures of an image that stores them as LZ4 blocks.
struct compressed_pictures {
    const picture_block *blocks;  // the slides in order, then the two listings
    uint8_t *buffer;              // room for the largest picture, decoded
    size_t buffer_size;
};

// The deck's blocks and buffer (picture_blocks.cpp), linked into the
// images built with PICTURE_COMPRESSION=lz4 only.
extern const compressed_pictures lz4_pictures;

// The overview of a picture set (with the presenter keys): pages the
// build renders at the set's slide size, each a grid of thumbnails of the
// slides in order with their numbers. Where the thumbnails lie, in the
// page's pixels: the frame round the selected one follows from it.
struct overview_grid {
    uint32_t columns, rows;  // thumbnails a page, row by row
    uint32_t left, top;      // the first thumbnail's top-left corner
    uint32_t step_x, step_y; // from a thumbnail to the next in its row, and to the next row
    uint32_t width, height;  // a thumbnail's size
    uint32_t gutter;         // page background at least this far round every thumbnail
    uint32_t background;     // the page's colour, 0x00RRGGBB
};

struct overview_pages {
    overview_grid grid;
    const img_entry *pages;       // page_count pictures of the slide size
    const picture_block *blocks;  // compressed: each page's block; else null
    uint32_t page_count;
};

// The overview pages of a one-size presenter image (overview_pages.cpp).
extern const overview_pages deck_overview;

// One rendering of the talk at one slide size: the pictures a screen
// shows when this set suits it.
struct picture_set {
    uint32_t slide_width;
    uint32_t slide_height;
    const img_entry *slides;      // the deck's slides in order
    const img_entry *listings;    // the two listings of the keys 1 and 2
    const picture_block *blocks;  // compressed: the slides' blocks, then the listings'; else null
    const overview_pages *overview;  // null: no overview
};

// The sets of an image built with several slide sizes (picture_sets.cpp,
// linked into those images only), in the order the build lists them.
extern const picture_set deck_sets[];

// The console's characters, rendered by the build from a monospaced font
// at a few heights: each face's cells, one for each character of
// console_characters in order, cell_width x cell_height coverage values
// (0 background to 255 ink), rows top to bottom.
constexpr char16_t console_characters[] = u"0123456789:/- ";
constexpr uint32_t console_character_count = sizeof console_characters / 2 - 1;
struct glyph_face {
    uint32_t cell_width;
    uint32_t cell_height;
    const uint8_t *coverage;
};

// The faces of a presenter image (glyphs.cpp), smallest first.
extern const glyph_face console_faces[];

struct image_options {
    scale_mode slide_scale;   // SLIDE_SCALE: off, whole or fill
    uint32_t presenter_keys;  // PRESENTER_KEYS: 1 reads the keys of presentation programs
    // SLIDE_SIZE: every slide is slide_width x slide_height; the listings
    // are as wide and shorter (the picture table holds each one's size).
    uint32_t slide_width = 640;
    uint32_t slide_height = 480;
    screen_mode_choice screen_mode = screen_keep;  // SCREEN_MODE: keep, slide or max
    // PICTURE_COMPRESSION: nullptr for raw pictures; with lz4, where each
    // picture's block lies and the buffer it is decoded into.
    const compressed_pictures *compressed = nullptr;
    screens_choice screens = screens_first;  // SCREENS: first or mirror
    // Several slide sizes: the image's picture sets, each screen shown the
    // one that suits it (sets.h). Null for one size: img and extra_img at
    // slide_width x slide_height.
    const picture_set *sets = nullptr;
    uint32_t set_count = 0;
    // PRESENTER_KEYS: the overview of a one-size image (of each set's, in
    // its set); null: none.
    const overview_pages *overview = nullptr;
    // SCREENS=presenter: the console's glyph faces, smallest first.
    const glyph_face *faces = nullptr;
    uint32_t face_count = 0;
    // TALK_MINUTES: the console's timer counts down from it; 0 counts up.
    uint32_t talk_minutes = 0;
};

// The image's own options, which efi_main hands down to everything it
// calls. The host tests hand the viewer records of their own instead.
extern const image_options build_options;

#endif
