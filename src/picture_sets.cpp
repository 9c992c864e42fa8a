// The picture sets of an image built with several slide sizes: for each
// SET line of the generated pictures.inc, in order, its size, its slides
// and listings (the SET_PICTURE lines after it) and where their LZ4 blocks
// lie, and its overview (with its pages, which these images always link).
// Linked only into those images, whose pictures are always compressed;
// initialised data, complete at link time.
#include "img.h"
#include "options.h"

#define SET_PICTURE(name, width, height) \
    extern "C" const uint8_t PICTURE_START(name)[], PICTURE_END(name)[];
#define SET_OVERVIEW SET_PICTURE
#include "pictures.inc"

namespace {

// Every set's pictures one after the other, each set its slides in order
// and then its two listings.
const img_entry entries[] = {
#define SET_PICTURE(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

const picture_block blocks[] = {
#define SET_PICTURE(name, width, height) {PICTURE_START(name), PICTURE_END(name)},
#include "pictures.inc"
};

// Each set's overview: its grid and its pages, all the sets' pages one
// after the other.
const img_entry pages[] = {
#define SET_OVERVIEW(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

const picture_block page_blocks[] = {
#define SET_OVERVIEW(name, width, height) {PICTURE_START(name), PICTURE_END(name)},
#include "pictures.inc"
};

const overview_pages overviews[] = {
#define SET_OVERVIEW_GRID(first, count, columns, rows, left, top, step_x, step_y, width, height, \
                          gutter, background)                                                  \
    {{columns, rows, left, top, step_x, step_y, width, height, gutter, background},            \
     pages + (first), page_blocks + (first), count},
#include "pictures.inc"
};

constexpr size_t slide_count = 0
#define SLIDE(name, width, height) +1
#include "pictures.inc"
    ;
constexpr size_t set_count = 0
#define SET(width, height) +1
#include "pictures.inc"
    ;
constexpr size_t per_set = slide_count + 2;
static_assert(sizeof entries / sizeof entries[0] == set_count * per_set,
              "every set holds the deck's slides and its two listings");

constexpr picture_set set_at(uint32_t width, uint32_t height, size_t index) {
    return {width, height, entries + index * per_set, entries + index * per_set + slide_count,
            blocks + index * per_set, &overviews[index]};
}

constexpr int first_counter = __COUNTER__;

}  // namespace

extern const picture_set deck_sets[] = {
#define SET(width, height) set_at(width, height, __COUNTER__ - first_counter - 1),
#include "pictures.inc"
};
