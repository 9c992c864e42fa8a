// The keys: what the presenter has asked for so far, and how one
// keystroke changes it. Pure, so the host tests drive it directly.
#ifndef KEYS_H
#define KEYS_H

#include "efi.h"

// What the presenter has asked for so far. Lives in efi_main's frame.
struct presentation {
    int32_t current;      // index into img of the slide on show, 0..img_count - 1
    uint8_t quit;         // set by the quit key
    uint8_t show_extra;   // draw extra_img[extra_index] once, on the next pass
    int32_t extra_index;  // which listing: 0 or 1; read only while show_extra is set
    // The presenter keys only (handle_input):
    uint8_t blank;           // blank_none, or the colour the whole screen shows
    uint8_t blank_ended;     // the next draw repaints the border around the slide too
    uint8_t go_to_active;    // after g: digits are collected and nothing is drawn
    uint8_t go_to_digits;    // how many, 0..4
    int32_t go_to_number;    // the slide typed so far, counted from 1
};

constexpr uint8_t blank_none = 0;
constexpr uint8_t blank_black = 1;
constexpr uint8_t blank_white = 2;

// Updates the state for one keystroke's UnicodeChar in a deck of
// slide_count slides (at least 1); unlisted keys do nothing.
void handle_key(presentation *state, CHAR16 key, int32_t slide_count);

// Updates the state for one whole keystroke. Without presenter_keys only
// its UnicodeChar counts, as handle_key. With them, the keys of
// presentation programs as well: Page Down, Right, Down, n, Space and
// Enter go on, Page Up, Left, Up, p and Backspace go back, Home and End go
// to the first and last slide, b or . blanks the screen black, w or , white
// (the next key only ends the blank), and g, up to four digits and Enter go
// to that slide, counted from 1 (past the end: the last; 0: nowhere). Any
// other key after g cancels it and then does what it does; a fifth digit
// only cancels. Esc, F5 and other keys without a meaning do nothing.
void handle_input(presentation *state, EFI_INPUT_KEY key, int32_t slide_count,
                  uint32_t presenter_keys);

#endif
