// The pixels of a picture as the image stores it: raw, or as an LZ4 block
// decoded on the way.
#ifndef PICTURES_H
#define PICTURES_H

#include "img.h"
#include "options.h"

// The raw pixels of picture number `picture` (the slides in order, then
// the listings), described by `entry`: its own bytes, or in an image that
// stores it as an LZ4 block, the block decoded into the buffer; nullptr
// when the block does not decode to exactly width x height x 4 bytes.
const uint8_t *picture_pixels(const image_options &options, const img_entry *entry,
                              int32_t picture);

#endif
