// What one image was built to do beyond its plain 1:1 presentation: a
// record of its build options. Every image links the same viewer; the
// build generates a one-line unit for each image that defines this record
// (build_options.cpp beside the image), so adding an option adds a field
// here, not another compiled viewer.
#ifndef OPTIONS_H
#define OPTIONS_H

#include "scale.h"

struct image_options {
    scale_mode slide_scale;   // SLIDE_SCALE: off, whole or fill
    uint32_t presenter_keys;  // PRESENTER_KEYS: 1 reads the keys of presentation programs
};

// The image's own options. Not const: the host tests run one viewer under
// every option by setting it per test; the image never writes it.
extern image_options build_options;

#endif
