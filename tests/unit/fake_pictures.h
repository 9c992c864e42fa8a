// Stand-ins for the picture objects the image links in: the same symbols,
// each filled with pixels that differ from every other picture's and from
// place to place within it, so any misplaced, sheared or wrong picture on
// the fake screen shows.
#ifndef FAKE_PICTURES_H
#define FAKE_PICTURES_H

#include <stdint.h>

#include "img.h"
#include "options.h"

// Pictures are numbered 0..last_slide for the slides of the default deck,
// then the two listings drawn by the keys 1 and 2: the build's list.
constexpr int slide_count = 0
#define SLIDE(name, width, height) +1
#include "pictures.inc"
    ;
constexpr int last_slide = slide_count - 1;
constexpr int listing_0 = slide_count;
constexpr int listing_1 = slide_count + 1;
constexpr int picture_count = slide_count + 2;

struct picture_info {
    uint32_t width;
    uint32_t height;
    const uint8_t *pixels;
};

// The raw pixels the picture's link name holds.
picture_info fake_picture(int number);

// The same pictures stored as LZ4 blocks, for the tests of an image built
// with PICTURE_COMPRESSION=lz4: the record its options point to, and the
// first byte of picture NUMBER's block, for a test to corrupt.
extern const compressed_pictures fake_lz4_pictures;
uint8_t *fake_block(int number);

// The pixel the fake picture holds at (x, y), as the 32-bit value of its
// four BGRA bytes read little-endian.
uint32_t fake_pixel(int number, uint32_t x, uint32_t y);

#endif
