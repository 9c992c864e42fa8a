#include "fake_pictures.h"

#include <string.h>

#include <algorithm>

#include "img.h"

// Definitions under the link names the slide table and the viewer refer
// to, one for each picture of the build's list, and apart from them the
// same picture as a block of literals only (a token, its length bytes,
// the raw pixels), whose length is known from the size alone.
#define BLOCK_BYTES(width, height) \
    ((width) * (height) * 4 + 2 + ((width) * (height) * 4 - 15) / 255)
#define PICTURE(name, width, height)                   \
    uint8_t PICTURE_START(name)[width * height * 4];   \
    uint8_t block_##name[BLOCK_BYTES(width, height)];

// The viewer's decode buffer, as the build sizes it: the largest picture.
constexpr size_t largest_picture = std::max({(size_t)0
#define SLIDE(name, width, height) , (size_t)width * height * 4
#define LISTING(name, width, height) , (size_t)width * height * 4
#include "pictures.inc"
});
extern "C" {
#define SLIDE PICTURE
#define LISTING PICTURE
#include "pictures.inc"
}

namespace {

// Slides in order, then the listings: the numbering of fake_pictures.h.
const picture_info pictures[] = {
#define SLIDE(name, width, height) {width, height, PICTURE_START(name)},
#define LISTING SLIDE
#include "pictures.inc"
};
static_assert(sizeof pictures / sizeof pictures[0] == picture_count, "one entry a picture");

const picture_block blocks[] = {
#define SLIDE(name, width, height) {block_##name, block_##name + BLOCK_BYTES(width, height)},
#define LISTING SLIDE
#include "pictures.inc"
};

alignas(16) uint8_t decode_buffer[largest_picture];

// A block of literals only holding the picture's raw bytes.
void store_block(int number) {
    const size_t size = (size_t)pictures[number].width * pictures[number].height * 4;
    uint8_t *out = const_cast<uint8_t *>(blocks[number].start);
    *out++ = 0xF0;
    size_t extra = size - 15;
    for (; extra >= 255; extra -= 255) *out++ = 255;
    *out++ = (uint8_t)extra;
    memcpy(out, pictures[number].pixels, size);
}

bool fill_all() {
    for (int number = 0; number < picture_count; ++number) {
        uint8_t *out = const_cast<uint8_t *>(pictures[number].pixels);
        for (uint32_t y = 0; y < pictures[number].height; ++y)
            for (uint32_t x = 0; x < pictures[number].width; ++x) {
                uint32_t value = fake_pixel(number, x, y);
                memcpy(out, &value, 4);
                out += 4;
            }
        store_block(number);
    }
    return true;
}

// Filled before any test runs, since the viewer reads them through the
// slide table without asking.
[[maybe_unused]] const bool filled = fill_all();

}  // namespace

uint32_t fake_pixel(int number, uint32_t x, uint32_t y) {
    // Picture number in the top byte, position below it: unique per picture
    // and per (x, y) within the 640 columns and 480 rows.
    return (uint32_t)(number + 1) << 24 | y << 10 | x;
}

picture_info fake_picture(int number) { return pictures[number]; }

const compressed_pictures fake_lz4_pictures = {blocks, decode_buffer, sizeof decode_buffer};

uint8_t *fake_block(int number) { return const_cast<uint8_t *>(blocks[number].start); }
