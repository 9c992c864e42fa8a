// Drawing a talk's pictures on one screen: the scaled rows from scale.cpp
// handed to the screen writer, or blt's 1:1 copy.
#include "draw.h"

#include "BOOTX64.h"
#include "scale.h"
#include "sets.h"

namespace {

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

// Where the scaled rows go: the screen's area.
struct area_writer {
    const screen *on;
};

void write_to_area(void *context, uint32_t first, const uint8_t *rows, uint32_t columns,
                   uint32_t count, size_t stride) {
    const screen &on = *((area_writer *)context)->on;
    write_rows(on.output, on.area.left, on.area.top + first, rows, columns, count, stride);
}

}  // namespace

screen screen_for(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const image_options &options) {
    const screen_output output = output_of(gop);
    const picture_set set = set_for_screen(options, output.width, output.height);
    return {output, set,
            scaled_area_for(options.slide_scale, set.slide_width, set.slide_height, output.width,
                            output.height)};
}

void draw_picture(const screen &on, const uint8_t *pixels, uint32_t width, uint32_t height) {
    if (on.area.width == 0) {
        blt(on.output.gop, pixels, width, height);
        return;
    }
    area_writer writer = {&on};
    // A linear framebuffer takes one row at a time, each as soon as it is
    // built; Blt a band of rows a call.
    const uint32_t rows_a_write = on.output.framebuffer != nullptr ? 1 : band_pixels;
    const row_sink sink = {write_to_area, &writer, rows_a_write, band, band_pixels};
    scale_picture(sink, {pixels, width, height}, on.set.slide_width, on.set.slide_height,
                  on.area.width, on.area.height);
}

void clear_around_area(const screen &on) {
    if (on.area.width != 0) clear_around(on.output, on.area);
}

void clear_around_picture(const screen &on) {
    if (on.area.width != 0)
        clear_around(on.output, on.area);
    else
        clear_around(on.output, {0, 0, smaller(on.output.width, on.set.slide_width),
                                 smaller(on.output.height, on.set.slide_height)});
}
