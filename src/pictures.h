// The pixels of a picture as the image stores it: raw, or as an LZ4 block
// decoded on the way.
#ifndef PICTURES_H
#define PICTURES_H

#include "img.h"
#include "options.h"

// Picture number `picture` of a set: its slides in order, then its two
// listings.
const img_entry *picture_entry(const picture_set &set, int32_t picture);

// The raw pixels of that picture: its own bytes, or in an image that
// stores it as an LZ4 block, the block decoded into the buffer; nullptr
// when the block does not decode to exactly width x height x 4 bytes.
const uint8_t *picture_pixels(const image_options &options, const picture_set &set,
                              int32_t picture);

#endif
