// The slide table: the slides of the deck in order, each a 640x480 picture
// linked in from bgra/brov_NN.bgra (or from its LZ4 block), one entry for
// each SLIDE line of the build's generated pictures.inc. Initialised data,
// complete at link time; nothing writes it.
#include "img.h"

#if PICTURE_LZ4
#include "lz4_block.h"
#define SLIDE(name, width, height) \
    extern "C" const uint8_t PICTURE_START(name)[], PICTURE_END(name)[];
#else
#define SLIDE(name, width, height) extern "C" const uint8_t PICTURE_START(name)[];
#endif
#include "pictures.inc"

const img_entry img[] = {
#define SLIDE(name, width, height) PICTURE_ENTRY(name, width, height),
#include "pictures.inc"
};

const int32_t img_count = sizeof img / sizeof img[0];

#if PICTURE_LZ4
const uint8_t *picture_pixels(const img_entry *entry) {
    const size_t size = (size_t)entry->width * entry->height * 4;
    if (size > picture_buffer_size) return nullptr;
    if (!lz4_decode(entry->pixels, (size_t)(entry->block_end - entry->pixels), picture_buffer, size))
        return nullptr;
    return picture_buffer;
}
#endif
