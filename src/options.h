// What one image was built to do beyond its plain 1:1 presentation: a
// record of its build options. Every image links the same viewer; the
// build generates a one-line unit for each image that defines this record
// (build_options.cpp beside the image), so adding an option adds a field
// here, not another compiled viewer.
#ifndef OPTIONS_H
#define OPTIONS_H

#include "scale.h"

// SCREEN_MODE: which graphics mode the viewer asks the firmware for.
typedef uint32_t screen_mode_choice;
constexpr screen_mode_choice screen_keep = 0;   // the mode the firmware started in
constexpr screen_mode_choice screen_slide = 1;  // the listed mode of the slide's size, else max
constexpr screen_mode_choice screen_max = 2;    // the listed mode with the most pixels

struct image_options {
    scale_mode slide_scale;   // SLIDE_SCALE: off, whole or fill
    uint32_t presenter_keys;  // PRESENTER_KEYS: 1 reads the keys of presentation programs
    // SLIDE_SIZE: every slide is slide_width x slide_height; the listings
    // are as wide and shorter (the picture table holds each one's size).
    uint32_t slide_width = 640;
    uint32_t slide_height = 480;
    screen_mode_choice screen_mode = screen_keep;  // SCREEN_MODE: keep, slide or max
};

// The image's own options. Not const: the host tests run one viewer under
// every option by setting it per test; the image never writes it.
extern image_options build_options;

#endif
