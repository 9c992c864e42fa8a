// The overview of a one-size image with the presenter keys: its grid and
// its pages, each a picture of the slide size linked in from
// overview/overview_NN.bgra (or its LZ4 block), one for each OVERVIEW line
// of the build's generated pictures.inc. Linked into the images built with
// PRESENTER_KEYS only, whose options record points to it.
#include "img.h"
#include "options.h"

#define OVERVIEW(name, width, height) \
    extern "C" const uint8_t PICTURE_START(name)[], PICTURE_END(name)[];
#include "pictures.inc"

namespace {

const img_entry pages[] = {
#define OVERVIEW(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

// Used only when the image stores its pictures compressed.
const picture_block blocks[] = {
#define OVERVIEW(name, width, height) {PICTURE_START(name), PICTURE_END(name)},
#include "pictures.inc"
};

}  // namespace

extern const overview_pages deck_overview = {
#define OVERVIEW_GRID(columns, rows, left, top, step_x, step_y, width, height, gutter, \
                      background)                                                      \
    {columns, rows, left, top, step_x, step_y, width, height, gutter, background},
#include "pictures.inc"
    pages, blocks, sizeof pages / sizeof pages[0]};
