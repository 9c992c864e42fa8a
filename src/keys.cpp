// The keys of the viewer, and with PRESENTER_KEYS those of presentation
// programs and remotes.
#include "keys.h"

void handle_key(presentation *state, CHAR16 key, int32_t slide_count) {
    const int32_t last_slide = slide_count - 1;
    switch (key) {
    case u'j':
        if (state->current <= last_slide - 1) state->current += 1;
        break;
    case u'k':
        if (state->current > 0) state->current -= 1;
        break;
    case u'J':
        if (state->current <= last_slide - 1) state->current += 10;
        if (state->current > last_slide) state->current = last_slide;
        break;
    case u'K':
        if (state->current > 0) state->current -= 10;
        if (state->current < 0) state->current = 0;
        break;
    case u'h':
        state->current = 0;
        break;
    case u'l':
        state->current = last_slide;
        break;
    case u'1':
        state->show_extra = 1;
        state->extra_index = 0;
        break;
    case u'2':
        state->show_extra = 1;
        state->extra_index = 1;
        break;
    case u'q':
        state->quit = 1;
        break;
    default:
        break;
    }
}

void handle_input(presentation *state, EFI_INPUT_KEY key, int32_t slide_count,
                  uint32_t presenter_keys) {
    const CHAR16 character = key.UnicodeChar;
    if (!presenter_keys) {
        handle_key(state, character, slide_count);
        return;
    }
    // A remote's "next" pressed in the dark must not skip a slide.
    if (state->blank != blank_none) {
        state->blank = blank_none;
        state->blank_ended = 1;
        return;
    }
    const bool digit = key.ScanCode == 0 && character >= u'0' && character <= u'9';
    if (state->go_to_active) {
        if (digit && state->go_to_digits < 4) {
            state->go_to_number = state->go_to_number * 10 + (character - u'0');
            state->go_to_digits += 1;
            return;
        }
        state->go_to_active = 0;
        if (digit) return;  // a fifth digit
        if (key.ScanCode == 0 && character == u'\r') {
            const int32_t number = state->go_to_number;
            if (number > 0) state->current = (number < slide_count ? number : slide_count) - 1;
            return;
        }
    }
    switch (key.ScanCode) {
    case 0:
        break;
    case SCAN_PAGE_DOWN:
    case SCAN_RIGHT:
    case SCAN_DOWN:
        handle_key(state, u'j', slide_count);
        return;
    case SCAN_PAGE_UP:
    case SCAN_LEFT:
    case SCAN_UP:
        handle_key(state, u'k', slide_count);
        return;
    case SCAN_HOME:
        handle_key(state, u'h', slide_count);
        return;
    case SCAN_END:
        handle_key(state, u'l', slide_count);
        return;
    default:
        return;  // Esc and F5 from a remote's slideshow button, and the rest
    }
    switch (character) {
    case u'n':
    case u' ':
    case u'\r':
        handle_key(state, u'j', slide_count);
        break;
    case u'p':
    case 0x0008:  // Backspace
        handle_key(state, u'k', slide_count);
        break;
    case u'b':
    case u'.':
        state->blank = blank_black;
        break;
    case u'w':
    case u',':
        state->blank = blank_white;
        break;
    case u'g':
        state->go_to_active = 1;
        state->go_to_digits = 0;
        state->go_to_number = 0;
        break;
    default:
        handle_key(state, character, slide_count);
        break;
    }
}
