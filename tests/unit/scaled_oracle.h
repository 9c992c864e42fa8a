// What a scaled build must show, worked out from the rules alone: the
// picture area as a centred rectangle (the largest whole factor, or the
// largest 4:3 rectangle), each screen pixel showing the picture pixel
// whose centre is nearest, black around it.
#ifndef SCALED_ORACLE_H
#define SCALED_ORACLE_H

#include <stdint.h>

#include "scale.h"
#include "screen_oracle.h"

struct rectangle {
    uint32_t left, top, width, height;
};

// The rectangle the 640x480 picture area covers; width 0 when the mode
// is drawn 1:1 (off, smaller than 640x480, or wider than 8192).
rectangle expected_area(scale_mode scale, uint32_t width, uint32_t height);

// Black everywhere outside the rectangle (nothing for a 1:1 mode).
void paint_black_border(expected_screen &screen, scale_mode scale);

// Fake picture `number` drawn from the picture area's top-left corner:
// scaled into the rectangle, or 1:1 in the screen's corner.
void paint_scaled(expected_screen &screen, scale_mode scale, int number);

#endif
