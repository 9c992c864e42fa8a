// The pictures linked into the image: the record that describes one, the
// link name of a picture's bytes, and the slide table of the deck.
#ifndef IMG_H
#define IMG_H

#include <stdint.h>

struct img_entry {
    uint32_t width;
    uint32_t height;
    const uint8_t *pixels;  // first byte of the picture's raw BGRA pixels
};

// The first byte of picture NAME, linked in from bgra/NAME.bgra (or from
// its LZ4 block, in an image that stores the pictures compressed), and
// one past its last.
#define PICTURE_START(name) _binary_bgra_##name##_bgra_start
#define PICTURE_END(name) _binary_bgra_##name##_bgra_end

// The deck's slides in order, as many as the build's picture list holds
// (the generated pictures.inc): 47 for the default deck.
extern const img_entry img[];
extern const int32_t img_count;

#endif
