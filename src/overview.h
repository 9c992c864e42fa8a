// The overview (with the presenter keys): every slide as a thumbnail on
// pages the build renders, a frame round the selected one, to pick a
// slide during questions.
#ifndef OVERVIEW_H
#define OVERVIEW_H

#include "draw.h"
#include "keys.h"

struct overview_state {
    bool open;
    int32_t selected;  // the slide the frame is round
};

// What a key did to the overview.
constexpr uint32_t overview_unchanged = 0;  // nothing to draw
constexpr uint32_t overview_opened = 1;     // draw its page and frame
constexpr uint32_t overview_moved = 2;      // the selection moved
constexpr uint32_t overview_closed = 3;     // closed: the talk again (Enter moved it on)
constexpr uint32_t overview_quit = 4;       // q: the talk ends
constexpr uint32_t overview_not_mine = 5;   // not open, and not a key that opens it

// o or Tab opens it on the current slide. While it is open: Right and
// Left move the selection by one, Down and Up by a row, Page Down and Page
// Up by a page, Home and End to the first and last slide, stopping at the
// ends; Enter closes it on the selected slide, Esc, o or Tab on the slide
// that was current; q quits; every other key does nothing.
uint32_t overview_key(overview_state *overview, presentation *state, EFI_INPUT_KEY key,
                      int32_t slide_count, const overview_grid &grid);

// Where the frame round thumbnail `slide` goes on a screen: a ring between
// two rectangles, each within the page's background round the thumbnail,
// g = the grid's gutter: outside the thumbnail grown by g / 4 and inside
// it grown by g - g / 4, in the page's pixels, mapped onto the screen
// (x to area.left + x AW / SW) rounded towards the thumbnail's edge on the
// outer side and away from it on the inner, so that the screen pixels the
// ring takes show nothing but background.
struct overview_frame {
    screen_rect outer;
    screen_rect inner;
};
overview_frame frame_for(const screen &on, const overview_grid &grid, int32_t slide);

// Draws the page that holds the selection and its frame, or moves the
// frame from `previous` to the selection on the same page.
void draw_overview(const screen &on, const image_options &options, const overview_state &view);
void move_overview_frame(const screen &on, const overview_grid &grid, int32_t previous,
                         int32_t selected);

// The frame's colour.
constexpr uint32_t overview_frame_colour = 0x00FFB000;

#endif
