// The viewer: the entry point the firmware calls, the key handling of the
// presentation and the copy of one picture onto the screen; and the number
// formatters for text output, which the viewer itself does not call.
#ifndef BOOTX64_H
#define BOOTX64_H

#include "efi.h"
#include "options.h"
#include "img.h"

// The listings that the keys 1 and 2 call up over the slide.
extern const img_entry extra_img[2];

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

// Copies a width x height picture of raw BGRA pixels into the top-left
// corner of the current mode, clipped to the screen; in an image built
// with SLIDE_SCALE=whole or fill (build_options), scaled into the centre
// instead (scale.h).
void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
         uint32_t height);

// SCREEN_MODE's choice between two listed modes: whether a mode of
// width x height is better than the best one found so far. `slide` prefers
// the first mode of the slide's own size, and among the others the one
// with the most pixels; `max` the most pixels; ties keep the earlier mode.
bool better_mode(screen_mode_choice choice, uint32_t width, uint32_t height, uint32_t best_width,
                 uint32_t best_height);

// Sets the mode SCREEN_MODE asks for among the modes the firmware lists,
// skipping those QueryMode refuses; nothing for `keep`, or when the best
// mode is the current one. When SetMode fails the talk goes on in the
// current mode.
void set_screen_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, EFI_BOOT_SERVICES *boot,
                     screen_mode_choice choice);

// Fixed-width, zero-padded numbers as 0-terminated UCS-2 strings, the form
// the firmware's text output takes. Exactly `digits` digit positions are
// written, the lowest digits of the value when it has more; int_to_ascii
// puts a '-' before them for a negative value. The buffer needs room for
// digits + 2 characters (negative) or digits + 1. Both return `buffer`.
CHAR16 *int_to_ascii(int64_t value, uint8_t digits, CHAR16 *buffer);
CHAR16 *int_to_ascii_hex(uint64_t value, uint8_t digits, CHAR16 *buffer);

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

#endif
