#include "fake_pictures.h"

#include <string.h>

// Definitions under the link names the slide table and the viewer refer to.
#define SLIDE(nn) uint8_t _binary_bgra_brov_##nn##_bgra_start[640 * 480 * 4];
#define SLIDES(X)                                                                           \
    X(01) X(02) X(03) X(04) X(05) X(06) X(07) X(08) X(09) X(10) X(11) X(12) X(13) X(14)    \
    X(15) X(16) X(17) X(18) X(19) X(20) X(21) X(22) X(23) X(24) X(25) X(26) X(27) X(28)    \
    X(29) X(30) X(31) X(32) X(33) X(34) X(35) X(36) X(37) X(38) X(39) X(40) X(41) X(42)    \
    X(43) X(44) X(45) X(46) X(47)
extern "C" {
SLIDES(SLIDE)
uint8_t _binary_bgra_a_012_efiversion_src_bgra_start[640 * 389 * 4];
uint8_t _binary_bgra_a_043_graphic_image_blt_src_bgra_start[640 * 295 * 4];
}
#undef SLIDE

namespace {

#define SLIDE(nn) _binary_bgra_brov_##nn##_bgra_start,
uint8_t *const storage[picture_count] = {
    SLIDES(SLIDE) _binary_bgra_a_012_efiversion_src_bgra_start,
    _binary_bgra_a_043_graphic_image_blt_src_bgra_start,
};
#undef SLIDE

uint32_t height_of(int number) {
    if (number == listing_0) return 389;
    if (number == listing_1) return 295;
    return 480;
}

bool fill_all() {
    for (int number = 0; number < picture_count; ++number) {
        uint8_t *out = storage[number];
        for (uint32_t y = 0; y < height_of(number); ++y)
            for (uint32_t x = 0; x < 640; ++x) {
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

picture_info fake_picture(int number) {
    return {640, height_of(number), storage[number]};
}
