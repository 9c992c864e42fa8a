// The one way pixels reach a graphics output. A blue-green-red linear
// framebuffer is only written, never read, in aligned 8-byte stores
// (copy.h); any other pixel format, or no framebuffer at all, gets the same
// pixels through the firmware's Blt (EfiBltBufferToVideo), whose pixel is
// exactly the stored one. Everything drawn, pictures, fills and borders,
// goes through here.
#ifndef SCREEN_H
#define SCREEN_H

#include "efi.h"

// A graphics output in its current mode, as the writer needs it.
struct screen_output {
    EFI_GRAPHICS_OUTPUT_PROTOCOL *gop;
    uint32_t width;        // visible columns
    uint32_t height;       // visible rows
    uint8_t *framebuffer;  // the top-left pixel, or null: drawn through Blt
    size_t pitch;          // bytes from one framebuffer row to the next
};

// The output's current mode, read now.
screen_output output_of(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop);

// A rectangle on the screen.
struct screen_rect {
    uint32_t left;
    uint32_t top;
    uint32_t width;
    uint32_t height;
};

// Writes `rows` rows of `columns` BGRA pixels to the screen at (left, top);
// row y of the source starts y * stride bytes after `pixels`. The caller
// keeps the rectangle within the mode.
void write_rows(const screen_output &out, uint32_t left, uint32_t top, const uint8_t *pixels,
                uint32_t columns, uint32_t rows, size_t stride);

// The scratch band that rows are built in before they are written: eight
// rows of the widest mode drawn scaled, more of narrower ones. In .bss:
// the firmware promises only 128 KiB of stack and the image has no heap.
constexpr uint32_t widest_scaled_mode = 8192;
constexpr uint32_t band_pixels = widest_scaled_mode * 8;
extern uint32_t band[band_pixels];

// Paints a rectangle within the mode one colour, a blue-green-red-reserved
// pixel (0x00RRGGBB). Uses the band.
void fill_rect(const screen_output &out, screen_rect rect, uint32_t colour);

// Paints the whole mode one colour.
void fill_screen(const screen_output &out, uint32_t colour);

// Paints the screen black outside `area`, which lies within the mode.
void clear_around(const screen_output &out, screen_rect area);

#endif
