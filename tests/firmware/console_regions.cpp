// Where the presenter console puts things on a screen, and what a preview
// there must hold, for the console's firmware session (console_suite.py):
// the rectangles from the viewer's own layout (console_layout_for, with
// the glyph faces the presenter images link), the previews' pixels from
// the scaling oracle of the host tests (paint_into), which works them out
// from the rules alone.
//
//   console_regions SCREEN SLIDE
//       prints "NAME LEFT TOP WIDTH HEIGHT" for current, next, number,
//       timer and clock, a line each; SCREEN and SLIDE are WIDTHxHEIGHT
//   console_regions SCREEN SLIDE NAME PICTURE.bgra OUT.rgb
//       writes the picture, a raw slide of SLIDE's size, as it must show in
//       the rectangle NAME: its RGB bytes, rows top to bottom
#include <stdio.h>
#include <string.h>

#include <vector>

#include "console.h"
#include "options.h"
#include "scaled_oracle.h"

namespace {

bool parse_size(const char *text, uint32_t *width, uint32_t *height) {
    char extra = 0;
    return sscanf(text, "%ux%u%c", width, height, &extra) == 2 && *width > 0 && *height > 0;
}

int usage() {
    fprintf(stderr,
            "usage: console_regions SCREEN SLIDE [NAME PICTURE.bgra OUT.rgb]\n"
            "  SCREEN, SLIDE: WIDTHxHEIGHT; NAME: current or next\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    uint32_t width, height, slide_width, slide_height;
    if ((argc != 3 && argc != 6) || !parse_size(argv[1], &width, &height) ||
        !parse_size(argv[2], &slide_width, &slide_height))
        return usage();
    const console_layout layout = console_layout_for(width, height, slide_width, slide_height,
                                                     console_faces, FACE_COUNT);
    const struct {
        const char *name;
        screen_rect rect;
    } regions[] = {{"current", layout.current}, {"next", layout.next},
                   {"number", layout.number},   {"timer", layout.timer},
                   {"clock", layout.clock}};
    if (argc == 3) {
        for (const auto &region : regions)
            printf("%s %u %u %u %u\n", region.name, region.rect.left, region.rect.top,
                   region.rect.width, region.rect.height);
        return 0;
    }

    const screen_rect *rect = nullptr;
    if (strcmp(argv[3], "current") == 0) rect = &layout.current;
    if (strcmp(argv[3], "next") == 0) rect = &layout.next;
    if (rect == nullptr) return usage();
    std::vector<uint32_t> pixels((size_t)slide_width * slide_height);
    FILE *in = fopen(argv[4], "rb");
    if (in == nullptr) {
        perror(argv[4]);
        return 1;
    }
    const size_t read = fread(pixels.data(), 4, pixels.size(), in);
    const bool longer = fgetc(in) != EOF;
    fclose(in);
    if (read != pixels.size() || longer) {
        fprintf(stderr, "%s: not a raw %ux%u picture\n", argv[4], slide_width, slide_height);
        return 1;
    }
    expected_screen screen(width, height);
    paint_into(screen, {rect->left, rect->top, rect->width, rect->height}, slide_width,
               slide_height, {slide_width, slide_height, pixels.data()});
    std::vector<uint8_t> rgb;
    rgb.reserve((size_t)rect->width * rect->height * 3);
    for (uint32_t y = rect->top; y < rect->top + rect->height; ++y)
        for (uint32_t x = rect->left; x < rect->left + rect->width; ++x) {
            const uint32_t pixel = screen.pixels[(size_t)y * width + x];
            rgb.push_back((uint8_t)(pixel >> 16));
            rgb.push_back((uint8_t)(pixel >> 8));
            rgb.push_back((uint8_t)pixel);
        }
    FILE *out = fopen(argv[5], "wb");
    if (out == nullptr || fwrite(rgb.data(), 1, rgb.size(), out) != rgb.size() ||
        fclose(out) != 0) {
        perror(argv[5]);
        return 1;
    }
    return 0;
}
