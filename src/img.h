// The pictures linked into the image: the record that describes one, the
// link name of a picture's bytes, and the slide table of the deck.
//
// Built with PICTURE_COMPRESSION=lz4 (PICTURE_LZ4 set to 1 for every unit
// of the image), each picture is stored as one LZ4 block, and the viewer
// decodes the one it shows into a buffer of the image (picture_pixels).
// The build's pictures are all stored one way, so this is decided for the
// whole build, not for one image of it.
#ifndef IMG_H
#define IMG_H

#include <stddef.h>
#include <stdint.h>

#ifndef PICTURE_LZ4
#define PICTURE_LZ4 0
#endif

struct img_entry {
    uint32_t width;
    uint32_t height;
    const uint8_t *pixels;  // first byte of the picture's raw BGRA pixels, or of its LZ4 block
#if PICTURE_LZ4
    const uint8_t *block_end;  // one past the block's last byte: its length is block_end - pixels
#endif
};

#if PICTURE_LZ4
// The first byte of picture NAME's block, and one past its last, linked
// in from the block the build made of bgra/NAME.bgra.
#define PICTURE_START(name) _binary_lz4_##name##_lz4_start
#define PICTURE_END(name) _binary_lz4_##name##_lz4_end
#define PICTURE_ENTRY(name, width, height) {width, height, PICTURE_START(name), PICTURE_END(name)}
#else
// The first byte of picture NAME, linked in from bgra/NAME.bgra.
#define PICTURE_START(name) _binary_bgra_##name##_bgra_start
#define PICTURE_ENTRY(name, width, height) {width, height, PICTURE_START(name)}
#endif

// The deck's slides in order, as many as the build's picture list holds
// (the generated pictures.inc): 47 for the default deck.
extern const img_entry img[];
extern const int32_t img_count;

#if PICTURE_LZ4
// Where a picture is decoded: room for the largest picture of the build,
// in uninitialised data. Each image defines it (picture_buffer.cpp beside
// the image, written by the build).
extern uint8_t picture_buffer[];
extern const size_t picture_buffer_size;

// The raw pixels of the picture, decoded from its block into
// picture_buffer; nullptr when the block does not decode to exactly
// width x height x 4 bytes, or the picture does not fit the buffer.
const uint8_t *picture_pixels(const img_entry *entry);
#endif

#endif
