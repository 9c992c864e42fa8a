// Reaching a picture's pixels, raw or compressed.
#include "pictures.h"

#include "lz4_block.h"

const img_entry *picture_entry(const picture_set &set, int32_t picture) {
    return picture < img_count ? &set.slides[picture] : &set.listings[picture - img_count];
}

const uint8_t *stored_pixels(const image_options &options, const img_entry &entry,
                             const picture_block *block) {
    const compressed_pictures *compressed = options.compressed;
    if (compressed == nullptr || block == nullptr) return entry.pixels;
    const size_t size = (size_t)entry.width * entry.height * 4;
    if (size > compressed->buffer_size ||
        !lz4_decode(block->start, (size_t)(block->end - block->start), compressed->buffer, size))
        return nullptr;
    return compressed->buffer;
}

const uint8_t *picture_pixels(const image_options &options, const picture_set &set,
                              int32_t picture) {
    return stored_pixels(options, *picture_entry(set, picture),
                         set.blocks != nullptr ? &set.blocks[picture] : nullptr);
}
