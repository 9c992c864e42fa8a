// What a scaled build must show, worked out from the rules alone (the
// opening comment of src/scale.cpp), without the viewer's code: the slide
// as a centred rectangle (the largest whole factor, or the largest one of
// the slide's shape), each screen pixel the picture pixel whose centre is
// nearest when enlarging, the exact mean of the area it covers when
// reducing, black around it. Free of the test framework: the unit tests
// and the firmware suites' expected_screen program share it.
#ifndef SCALED_ORACLE_CORE_H
#define SCALED_ORACLE_CORE_H

#include <stdint.h>

#include <vector>

#include "scale.h"

struct rectangle {
    uint32_t left, top, width, height;
};

// A picture as the oracle reads it: width x height BGRA pixels, row by row.
struct oracle_picture {
    uint32_t width, height;
    const uint32_t *pixels;
};

// A screen: width x height BGRA pixels, row by row.
struct oracle_screen {
    uint32_t width;
    uint32_t height;
    std::vector<uint32_t> pixels;
};

// The rectangle a slide_width x slide_height slide covers on a mode;
// width 0 when the mode is drawn 1:1 (off, or wider than 8192).
rectangle expected_area(scale_mode scale, uint32_t slide_width, uint32_t slide_height,
                        uint32_t width, uint32_t height);

// Black everywhere outside the rectangle (nothing for a 1:1 mode).
void paint_black_border(oracle_screen &screen, scale_mode scale, uint32_t slide_width,
                        uint32_t slide_height);

// The picture drawn from the slide's top-left corner: scaled into the
// rectangle, or 1:1 in the screen's corner.
void paint_scaled(oracle_screen &screen, scale_mode scale, uint32_t slide_width,
                  uint32_t slide_height, oracle_picture picture);

// The picture scaled from a slide_width x slide_height slide into `area`,
// by the same rules: 1:1, enlarged or reduced.
void paint_into(oracle_screen &screen, rectangle area, uint32_t slide_width,
                uint32_t slide_height, oracle_picture picture);

#endif
