// Slides drawn to the screen at any slide size and mode: 1:1, or scaled
// into a centred rectangle as large as the mode allows, enlarged by the
// nearest pixel or reduced by area averaging, black around it. The exact
// rules are at the top of scale.cpp. Chosen when the image is built
// (cmake -DSLIDE_SCALE=off|whole|fill); `off` leaves blt's plain 1:1 copy
// into the top-left corner. The slide size is the options record's.
#ifndef SCALE_H
#define SCALE_H

#include "efi.h"

typedef uint32_t scale_mode;
constexpr scale_mode scale_off = 0;    // 1:1 in the top-left corner, nothing cleared
constexpr scale_mode scale_whole = 1;  // the largest whole factor: sharp square pixels
constexpr scale_mode scale_fill = 2;   // the largest rectangle of the slide's shape

// The widest mode, and the widest slide, drawn scaled: one scaled row fits
// the row buffer. Wider modes are drawn 1:1.
constexpr uint32_t widest_scaled_mode = 8192;

// Where the slide lands on a mode of width x height: left, top and size
// on the screen. A width of 0 means the mode is drawn 1:1 from its corner.
struct scaled_area {
    uint32_t left;
    uint32_t top;
    uint32_t width;
    uint32_t height;
};

scaled_area scaled_area_for(scale_mode scale, uint32_t screen_width, uint32_t screen_height);

// Paints the screen black outside the scaled area; nothing when the mode
// is drawn 1:1. Called before the first slide, so the firmware's text
// and logo are gone, and after a blank screen.
void clear_around_scaled_area(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, scale_mode scale);

// Paints the screen black outside the given rectangle, which must lie
// within the mode.
void clear_around(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, uint32_t left, uint32_t top, uint32_t width,
                  uint32_t height);

// Paints the whole mode one colour, a blue-green-red-reserved pixel
// (0x00RRGGBB), in the same aligned stores or through Blt.
void fill_screen(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, uint32_t colour);

// Draws a width x height picture of raw BGRA pixels, placed at the slide's
// top-left corner and clipped to it, scaled into the current mode's
// scaled area. Returns false, drawing nothing, when the mode is drawn 1:1.
bool scaled_blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
                uint32_t height, scale_mode scale);

#endif
