#include "scaled_oracle.h"

#include <string.h>

#include "fake_pictures.h"

rectangle expected_area(scale_mode scale, uint32_t width, uint32_t height) {
    return expected_area(scale, 640, 480, width, height);
}

void paint_black_border(expected_screen &screen, scale_mode scale) {
    paint_black_border(screen, scale, 640, 480);
}

void paint_scaled(expected_screen &screen, scale_mode scale, int number) {
    const picture_info picture = fake_picture(number);
    // Fake pictures are linked-in BGRA bytes; read them as 32-bit pixels.
    std::vector<uint32_t> pixels((size_t)picture.width * picture.height);
    memcpy(pixels.data(), picture.pixels, pixels.size() * 4);
    paint_scaled(screen, scale, 640, 480, {picture.width, picture.height, pixels.data()});
}
