// Slides scaled to any mode: where the slide lands, and the scaled rows of
// a picture, enlarged by the nearest pixel or reduced by area averaging.
// Pure: sizes come in as arguments and rows go out to a sink; nothing here
// knows the firmware. The exact rules are at the top of scale.cpp. Chosen
// when the image is built (SLIDE_SCALE=off|whole|fill).
#ifndef SCALE_H
#define SCALE_H

#include "screen.h"

// scale_mode: scale_off (1:1 in the top-left corner, nothing cleared),
// scale_whole (the largest whole factor: sharp square pixels) or
// scale_fill (the largest rectangle of the slide's shape), from facts.py.
#include "option_values.h"

// Where a slide_width x slide_height slide lands on a mode of
// screen_width x screen_height. A width of 0 means the mode is drawn 1:1
// from its corner (off, or a mode or slide wider than widest_scaled_mode).
screen_rect scaled_area_for(scale_mode scale, uint32_t slide_width, uint32_t slide_height,
                            uint32_t screen_width, uint32_t screen_height);

// Where the scaled rows of a picture go: `count` rows of the area's
// scaled width starting at `first` (counted from the area's top), row i
// at rows + i * stride bytes. The producers build up to `rows_a_write`
// rows at once in `band` (band_size pixels, 8-byte aligned) and hand them
// over; with 1, each screen row is handed over on its own, also a row
// that repeats the one before.
struct row_sink {
    void (*write)(void *context, uint32_t first, const uint8_t *rows, uint32_t columns,
                  uint32_t count, size_t stride);
    void *context;
    uint32_t rows_a_write;
    uint32_t *band;
    uint32_t band_size;
};

// A picture as stored: width x height BGRA pixels, rows 4-byte aligned.
struct picture_view {
    const uint8_t *pixels;
    uint32_t width;
    uint32_t height;
};

// Draws `picture`, placed at the slide's top-left corner and clipped to
// it, scaled from slide_width x slide_height into an area of
// area_width x area_height: 1:1 when they are equal, enlarged when the
// area is wider, reduced otherwise. Only the rows and columns the picture
// covers are handed over.
void scale_picture(const row_sink &sink, picture_view picture, uint32_t slide_width,
                   uint32_t slide_height, uint32_t area_width, uint32_t area_height);

#endif
