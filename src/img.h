// The pictures linked into the image: the record that describes one, and
// the slide table of the deck.
#ifndef IMG_H
#define IMG_H

#include <stdint.h>

struct img_entry {
    uint32_t width;
    uint32_t height;
    const uint8_t *pixels;  // first byte of the picture's raw BGRA pixels
};

constexpr int img_count = 47;
extern const img_entry img[img_count];

#endif
