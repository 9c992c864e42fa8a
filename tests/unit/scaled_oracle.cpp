#include "scaled_oracle.h"

#include "fake_pictures.h"

rectangle expected_area(scale_mode scale, uint32_t width, uint32_t height) {
    if (scale == scale_off || width < 640 || height < 480 || width > 8192) return {0, 0, 0, 0};
    uint32_t area_width, area_height;
    if (scale == scale_whole) {
        uint32_t factor = 1;
        while (640 * (factor + 1) <= width && 480 * (factor + 1) <= height) ++factor;
        area_width = 640 * factor;
        area_height = 480 * factor;
    } else if ((uint64_t)width * 3 >= (uint64_t)height * 4) {
        area_height = height;
        area_width = (uint32_t)((uint64_t)height * 4 / 3);
    } else {
        area_width = width;
        area_height = (uint32_t)((uint64_t)width * 3 / 4);
    }
    return {(width - area_width) / 2, (height - area_height) / 2, area_width, area_height};
}

void paint_black_border(expected_screen &screen, scale_mode scale) {
    const rectangle area = expected_area(scale, screen.width, screen.height);
    if (area.width == 0) return;
    for (uint32_t y = 0; y < screen.height; ++y)
        for (uint32_t x = 0; x < screen.width; ++x)
            if (x < area.left || x >= area.left + area.width || y < area.top ||
                y >= area.top + area.height)
                screen.pixels[(size_t)y * screen.width + x] = 0;
}

void paint_scaled(expected_screen &screen, scale_mode scale, int number) {
    const rectangle area = expected_area(scale, screen.width, screen.height);
    if (area.width == 0) {
        screen.paint(number);
        return;
    }
    const picture_info picture = fake_picture(number);
    for (uint32_t dy = 0; dy < area.height; ++dy) {
        const uint32_t sy = (uint32_t)((2 * (uint64_t)dy + 1) * 480 / (2 * (uint64_t)area.height));
        if (sy >= picture.height) continue;
        for (uint32_t dx = 0; dx < area.width; ++dx) {
            const uint32_t sx =
                (uint32_t)((2 * (uint64_t)dx + 1) * 640 / (2 * (uint64_t)area.width));
            if (sx >= picture.width) continue;
            screen.pixels[(size_t)(area.top + dy) * screen.width + area.left + dx] =
                fake_pixel(number, sx, sy);
        }
    }
}
