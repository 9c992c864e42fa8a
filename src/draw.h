// A talk's pictures on one screen: the per-screen record, and drawing a
// slide or listing on it 1:1 or scaled, as the image's options say.
#ifndef DRAW_H
#define DRAW_H

#include "options.h"
#include "screen.h"

// One screen the talk is shown on: its output in the mode the talk uses,
// the picture set that suits it, and where its slides land there.
struct screen {
    screen_output output;
    picture_set set;
    screen_rect area;  // the scaled area; width 0: drawn 1:1 from the corner (blt)
};

// The screen of `gop` in its current mode.
screen screen_for(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const image_options &options);

// Draws a width x height picture of raw BGRA pixels from the slide's
// top-left corner: 1:1 into the screen's corner (blt), or scaled into the
// screen's area.
void draw_picture(const screen &on, const uint8_t *pixels, uint32_t width, uint32_t height);

// Paints the screen black outside the scaled area; nothing when the mode
// is drawn 1:1. Before the first slide, so the firmware's text and logo
// are gone.
void clear_around_area(const screen &on);

// After a blank: black again everywhere but where the picture goes, the
// scaled area, or in a mode drawn 1:1 the slide's corner.
void clear_around_picture(const screen &on);

#endif
