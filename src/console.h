// The presenter console (SCREENS=presenter): on the presenter's screen the
// current slide large, the next one smaller (an empty frame after the
// last), the slide number, the talk's timer and the wall clock; a frame
// round the current slide while the audience sees a listing or a blank.
#ifndef CONSOLE_H
#define CONSOLE_H

#include "clock.h"
#include "draw.h"
#include "keys.h"

// Where everything goes on a console of width x height showing slides of
// slide_width x slide_height: m = max(8, width / 64) round the edges and
// between the columns; the current slide fitted into the left three
// fifths, top-left; the next one into the rest's width and half the
// height, top-right; under it, a line apart, the number, the timer and the
// clock, in the largest face whose nine characters fit the column and
// whose four lines fit below the next slide (the smallest otherwise).
struct console_layout {
    screen_rect current;
    screen_rect next;
    uint32_t frame;  // the note's width round the current slide
    uint32_t face;   // index into the image's faces
    screen_rect number, timer, clock;
};

console_layout console_layout_for(uint32_t width, uint32_t height, uint32_t slide_width,
                                  uint32_t slide_height, const glyph_face *faces,
                                  uint32_t face_count);

// What the audience sees, noted round the current slide.
constexpr uint32_t note_none = 0;
constexpr uint32_t note_colour_listing = 0x003399FF;
constexpr uint32_t note_colour_blank = 0x00808080;

// Draws `text` (console characters; others show as spaces) at (left, top)
// in `colour` on black, one face's cells side by side.
void draw_text(const screen_output &out, uint32_t left, uint32_t top, const glyph_face &face,
               const CHAR16 *text, uint32_t colour);

// Draws a picture of a set's slide size scaled into `rect`, the previews'
// way: reduced by area averaging, or enlarged by the nearest pixel.
void draw_preview(const screen &on, screen_rect rect, const uint8_t *pixels, uint32_t width,
                  uint32_t height);

// Paints a ring `width` wide round the outside of `rect`.
void draw_ring(const screen_output &out, screen_rect rect, uint32_t width, uint32_t colour);


// The console's state: which screen shows it, the talk's timer, and the
// time last read and shown.
struct console_state {
    bool shown;          // SCREENS=presenter with two screens or more
    uint32_t screen;     // the index of the console's screen
    bool laid_out;       // the screen cleared and laid out since it became the console
    talk_timer timer;
    bool time_known;     // GetTime answered
    EFI_TIME time;       // the wall clock when last read
    int64_t now;         // the same in seconds (seconds_of)
};

inline bool is_console(const console_state &console, uint32_t screen) {
    return console.shown && console.screen == screen;
}

// Reads the wall clock; true when it has moved on to another second.
bool read_time(EFI_SYSTEM_TABLE *system, console_state *console);

// The console's own keys: s moves the console to the next screen (the
// screen it leaves shows the talk again), t pauses and resumes the timer.
constexpr uint32_t console_key_none = 0;     // not the console's: the talk's key
constexpr uint32_t console_key_swapped = 1;  // every screen to be drawn anew
constexpr uint32_t console_key_timer = 2;    // only the timer to be drawn
uint32_t console_key(console_state *console, EFI_INPUT_KEY key, uint32_t screen_count);

// The whole console for the presentation's state (the first time, and
// after a swap, on a cleared screen), and only its timer and clock.
void draw_console(const screen &on, const image_options &options, const presentation &state,
                  console_state *console);
void draw_console_times(const screen &on, const image_options &options, const console_state &console);

#endif
