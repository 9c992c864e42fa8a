#include "screen_oracle.h"

#include <string>

#include "fake_firmware.h"
#include "fake_pictures.h"

expected_screen::expected_screen(uint32_t width, uint32_t height)
    : oracle_screen{width, height, std::vector<uint32_t>((size_t)width * height, untouched)} {}

void expected_screen::paint(int number) {
    const picture_info picture = fake_picture(number);
    for (uint32_t y = 0; y < picture.height && y < height; ++y)
        for (uint32_t x = 0; x < picture.width && x < width; ++x)
            pixels[(size_t)y * width + x] = fake_pixel(number, x, y);
}

namespace {

// Names what a screen pixel holds: a fake picture's pixel (and whether it
// sits where that picture puts it), the untouched fill, or something else.
std::string describe(uint32_t pixel, uint32_t x, uint32_t y) {
    if (pixel == untouched) return "untouched";
    const int number = (int)(pixel >> 24) - 1;
    if (number < 0 || number >= picture_count) return "garbage " + std::to_string(pixel);
    std::string name = number == listing_0   ? "listing 0"
                       : number == listing_1 ? "listing 1"
                                             : "slide index " + std::to_string(number);
    if (fake_pixel(number, x, y) != pixel) name += " (misplaced pixel)";
    return name;
}

}  // namespace

::testing::AssertionResult same_screen(const std::vector<uint32_t> &seen,
                                       const expected_screen &expected) {
    if (seen.size() != expected.pixels.size())
        return ::testing::AssertionFailure() << "screen has " << seen.size() << " pixels, expected "
                                             << expected.pixels.size();
    for (size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] == expected.pixels[i]) continue;
        const uint32_t x = (uint32_t)(i % expected.width), y = (uint32_t)(i / expected.width);
        return ::testing::AssertionFailure()
               << "first difference at (" << x << ", " << y << "): expected "
               << describe(expected.pixels[i], x, y) << ", seen " << describe(seen[i], x, y);
    }
    return ::testing::AssertionSuccess();
}
