#include "scaled_oracle_core.h"

#include <vector>

rectangle expected_area(scale_mode scale, uint32_t slide_width, uint32_t slide_height,
                        uint32_t width, uint32_t height) {
    if (scale == scale_off || width > 8192) return {0, 0, 0, 0};
    uint32_t area_width = 0, area_height = 0;
    if (scale == scale_whole) {
        for (uint32_t factor = 1; slide_width * factor <= width && slide_height * factor <= height;
             ++factor) {
            area_width = slide_width * factor;
            area_height = slide_height * factor;
        }
    }
    if (area_width == 0) {  // fill, or whole where the slide does not fit 1:1
        if ((uint64_t)width * slide_height >= (uint64_t)height * slide_width) {
            area_height = height;
            area_width = (uint32_t)((uint64_t)height * slide_width / slide_height);
        } else {
            area_width = width;
            area_height = (uint32_t)((uint64_t)width * slide_height / slide_width);
        }
    }
    return {(width - area_width) / 2, (height - area_height) / 2, area_width, area_height};
}

void paint_black_border(oracle_screen &screen, scale_mode scale, uint32_t slide_width,
                        uint32_t slide_height) {
    const rectangle area =
        expected_area(scale, slide_width, slide_height, screen.width, screen.height);
    if (area.width == 0) return;
    for (uint32_t y = 0; y < screen.height; ++y)
        for (uint32_t x = 0; x < screen.width; ++x)
            if (x < area.left || x >= area.left + area.width || y < area.top ||
                y >= area.top + area.height)
                screen.pixels[(size_t)y * screen.width + x] = 0;
}

namespace {

// The overlap of [a, a + a_length) and [b, b + b_length).
uint64_t overlap(uint64_t a, uint64_t a_length, uint64_t b, uint64_t b_length) {
    const uint64_t from = a > b ? a : b;
    const uint64_t to = a + a_length < b + b_length ? a + a_length : b + b_length;
    return to > from ? to - from : 0;
}

// The mean of the slide area screen pixel (dx, dy) of the area covers,
// byte by byte, rounded to nearest with halves up.
uint32_t area_mean(oracle_picture picture, uint32_t slide_width, uint32_t slide_height,
                   rectangle area, uint32_t dx, uint32_t dy) {
    uint64_t sums[4] = {0, 0, 0, 0};
    const uint32_t first_x = (uint32_t)((uint64_t)dx * slide_width / area.width);
    const uint32_t first_y = (uint32_t)((uint64_t)dy * slide_height / area.height);
    for (uint32_t sy = first_y; (uint64_t)sy * area.height < (uint64_t)(dy + 1) * slide_height;
         ++sy) {
        const uint64_t wy = overlap((uint64_t)sy * area.height, area.height,
                                    (uint64_t)dy * slide_height, slide_height);
        for (uint32_t sx = first_x; (uint64_t)sx * area.width < (uint64_t)(dx + 1) * slide_width;
             ++sx) {
            const uint64_t wx = overlap((uint64_t)sx * area.width, area.width,
                                        (uint64_t)dx * slide_width, slide_width);
            const uint32_t pixel = picture.pixels[(size_t)sy * picture.width + sx];
            for (int byte = 0; byte < 4; ++byte)
                sums[byte] += wx * wy * (pixel >> (8 * byte) & 0xFF);
        }
    }
    const uint64_t total = (uint64_t)slide_width * slide_height;
    uint32_t mean = 0;
    for (int byte = 0; byte < 4; ++byte)
        mean |= (uint32_t)((2 * sums[byte] + total) / (2 * total)) << (8 * byte);
    return mean;
}

}  // namespace

void paint_scaled(oracle_screen &screen, scale_mode scale, uint32_t slide_width,
                  uint32_t slide_height, oracle_picture picture) {
    const rectangle area =
        expected_area(scale, slide_width, slide_height, screen.width, screen.height);
    if (area.width == 0) {
        for (uint32_t y = 0; y < picture.height && y < screen.height; ++y)
            for (uint32_t x = 0; x < picture.width && x < screen.width; ++x)
                screen.pixels[(size_t)y * screen.width + x] =
                    picture.pixels[(size_t)y * picture.width + x];
        return;
    }
    paint_into(screen, area, slide_width, slide_height, picture);
}

void paint_into(oracle_screen &screen, rectangle area, uint32_t slide_width,
                uint32_t slide_height, oracle_picture picture) {
    const bool reducing = area.width < slide_width;
    // Enlarging: the nearest picture column of each screen column.
    std::vector<uint32_t> nearest_column(area.width);
    for (uint32_t dx = 0; dx < area.width; ++dx)
        nearest_column[dx] =
            (uint32_t)((2 * (uint64_t)dx + 1) * slide_width / (2 * (uint64_t)area.width));
    for (uint32_t dy = 0; dy < area.height; ++dy) {
        for (uint32_t dx = 0; dx < area.width; ++dx) {
            uint32_t &out = screen.pixels[(size_t)(area.top + dy) * screen.width + area.left + dx];
            if (reducing) {
                // Only where the whole area covered lies in the picture.
                if ((uint64_t)(dx + 1) * slide_width > (uint64_t)picture.width * area.width ||
                    (uint64_t)(dy + 1) * slide_height > (uint64_t)picture.height * area.height)
                    continue;
                out = area_mean(picture, slide_width, slide_height, area, dx, dy);
                continue;
            }
            const uint32_t sy =
                (uint32_t)((2 * (uint64_t)dy + 1) * slide_height / (2 * (uint64_t)area.height));
            const uint32_t sx = nearest_column[dx];
            if (sx < picture.width && sy < picture.height)
                out = picture.pixels[(size_t)sy * picture.width + sx];
        }
    }
}

