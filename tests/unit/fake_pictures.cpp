#include "fake_pictures.h"

#include <string.h>

#include "img.h"

// Definitions under the link names the slide table and the viewer refer
// to, one for each picture of the build's list.
extern "C" {
#define SLIDE(name, width, height) uint8_t PICTURE_START(name)[width * height * 4];
#define LISTING(name, width, height) uint8_t PICTURE_START(name)[width * height * 4];
#include "pictures.inc"
}

namespace {

// Slides in order, then the listings: the numbering of fake_pictures.h.
const picture_info pictures[] = {
#define SLIDE(name, width, height) {width, height, PICTURE_START(name)},
#define LISTING(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};
static_assert(sizeof pictures / sizeof pictures[0] == picture_count, "one entry a picture");

bool fill_all() {
    for (int number = 0; number < picture_count; ++number) {
        uint8_t *out = const_cast<uint8_t *>(pictures[number].pixels);
        for (uint32_t y = 0; y < pictures[number].height; ++y)
            for (uint32_t x = 0; x < pictures[number].width; ++x) {
                uint32_t value = fake_pixel(number, x, y);
                memcpy(out, &value, 4);
                out += 4;
            }
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
