// The pixels of a picture as the image stores it: raw, or as an LZ4 block
// decoded on the way.
#ifndef PICTURES_H
#define PICTURES_H

#include "img.h"
#include "options.h"

// Picture number `picture` of a set: its slides in order, then its two
// listings.
const img_entry *picture_entry(const picture_set &set, int32_t picture);

// The raw pixels of a picture stored as `entry` and, in an image that
// stores its pictures compressed, as `block` (null: raw): its own bytes,
// or the block decoded into the buffer; nullptr when the block does not
// decode to exactly width x height x 4 bytes.
const uint8_t *stored_pixels(const image_options &options, const img_entry &entry,
                             const picture_block *block);

// The raw pixels of picture number `picture` of a set, as stored_pixels
// gives them.
const uint8_t *picture_pixels(const image_options &options, const picture_set &set,
                              int32_t picture);

#endif
