// Which picture set a screen shows, when the image holds the talk at
// several slide sizes. The rule is at the top of sets.cpp.
#ifndef SETS_H
#define SETS_H

#include "options.h"

// The index into `sets` (count at least 1) of the set for a mode of
// screen_width x screen_height.
uint32_t choose_set(const picture_set *sets, uint32_t count, uint32_t screen_width,
                    uint32_t screen_height);

// Whether a set has exactly the size of a mode of width x height.
bool set_of_size(const picture_set *sets, uint32_t count, uint32_t width, uint32_t height);

// The set a screen of width x height shows: the image's one set, or the
// one choose_set picks among several.
picture_set set_for_screen(const image_options &options, uint32_t screen_width,
                           uint32_t screen_height);

#endif
