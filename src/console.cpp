// Laying out and drawing the presenter console.
#include "console.h"

#include "BOOTX64.h"
#include "pictures.h"
#include "scale.h"

namespace {

uint32_t larger(uint32_t a, uint32_t b) { return a > b ? a : b; }

// The slide's shape fitted into a region, at its top-left corner.
screen_rect fitted(uint32_t left, uint32_t top, uint32_t width, uint32_t height,
                   uint32_t slide_width, uint32_t slide_height) {
    const screen_rect area = scaled_area_for(scale_fill, slide_width, slide_height, width, height);
    return {left, top, area.width, area.height};
}

struct rect_writer {
    const screen_output *out;
    screen_rect rect;
};

void write_to_rect(void *context, uint32_t first, const uint8_t *rows, uint32_t columns,
                   uint32_t count, size_t stride) {
    const rect_writer &writer = *(rect_writer *)context;
    write_rows(*writer.out, writer.rect.left, writer.rect.top + first, rows, columns, count,
               stride);
}

uint32_t character_index(CHAR16 character) {
    for (uint32_t i = 0; i < console_character_count; ++i)
        if (console_characters[i] == character) return i;
    return console_character_count - 1;  // the space
}

// One colour byte of `colour` at coverage `ink` over black, rounded.
uint32_t blend(uint32_t colour, uint32_t shift, uint32_t ink) {
    return ((colour >> shift & 0xFF) * ink + 127) / 255 << shift;
}

}  // namespace

console_layout console_layout_for(uint32_t width, uint32_t height, uint32_t slide_width,
                                  uint32_t slide_height, const glyph_face *faces,
                                  uint32_t face_count) {
    console_layout layout = {};
    const uint32_t margin = larger(8, width / 64);
    if (width < 4 * margin || height < 4 * margin) return layout;
    const uint32_t left_width = (width - 3 * margin) * 3 / 5;
    const uint32_t right_left = 2 * margin + left_width;
    const uint32_t right_width = width - 3 * margin - left_width;
    layout.current =
        fitted(margin, margin, left_width, height - 2 * margin, slide_width, slide_height);
    layout.next = fitted(right_left, margin, right_width, (height - 2 * margin) / 2, slide_width,
                         slide_height);
    layout.frame = larger(3, width / 256);
    if (layout.frame >= margin) layout.frame = margin - 1;

    const uint32_t text_top = layout.next.top + layout.next.height + margin;
    const uint32_t room = height > text_top + margin ? height - text_top - margin : 0;
    layout.face = 0;
    for (uint32_t i = 0; i < face_count; ++i)
        if (faces[i].cell_width * number_field <= right_width &&
            faces[i].cell_height * 4 <= room)
            layout.face = i;
    if (face_count == 0) return layout;
    const glyph_face &face = faces[layout.face];
    const uint32_t line = face.cell_height + face.cell_height / 4;
    layout.number = {right_left, text_top, face.cell_width * number_field, face.cell_height};
    layout.timer = {right_left, text_top + line, face.cell_width * time_field, face.cell_height};
    layout.clock = {right_left, text_top + 2 * line, face.cell_width * time_field,
                    face.cell_height};
    return layout;
}

void draw_text(const screen_output &out, uint32_t left, uint32_t top, const glyph_face &face,
               const CHAR16 *text, uint32_t colour) {
    uint32_t length = 0;
    while (text[length] != 0) ++length;
    const uint32_t row_pixels = face.cell_width * length;
    if (row_pixels == 0 || left + row_pixels > out.width || top + face.cell_height > out.height ||
        row_pixels > band_pixels)
        return;
    const size_t cell_bytes = (size_t)face.cell_width * face.cell_height;
    // A band of whole text rows at a time: as many as the band holds.
    const uint32_t rows_a_write = band_pixels / row_pixels;
    for (uint32_t first = 0; first < face.cell_height; first += rows_a_write) {
        const uint32_t rows =
            face.cell_height - first < rows_a_write ? face.cell_height - first : rows_a_write;
        for (uint32_t r = 0; r < rows; ++r) {
            uint32_t *out_row = band + (size_t)r * row_pixels;
            for (uint32_t c = 0; c < length; ++c) {
                const uint8_t *cell_row = face.coverage +
                                          character_index(text[c]) * cell_bytes +
                                          (size_t)(first + r) * face.cell_width;
                for (uint32_t x = 0; x < face.cell_width; ++x) {
                    const uint32_t ink = cell_row[x];
                    out_row[c * face.cell_width + x] =
                        blend(colour, 0, ink) | blend(colour, 8, ink) | blend(colour, 16, ink);
                }
            }
        }
        write_rows(out, left, top + first, (const uint8_t *)band, row_pixels, rows,
                   (size_t)row_pixels * 4);
    }
}

void draw_preview(const screen &on, screen_rect rect, const uint8_t *pixels, uint32_t width,
                  uint32_t height) {
    rect_writer writer = {&on.output, rect};
    const uint32_t rows_a_write = on.output.framebuffer != nullptr ? 1 : band_pixels;
    const row_sink sink = {write_to_rect, &writer, rows_a_write, band, band_pixels};
    scale_picture(sink, {pixels, width, height}, on.set.slide_width, on.set.slide_height,
                  rect.width, rect.height);
}

void draw_ring(const screen_output &out, screen_rect rect, uint32_t width, uint32_t colour) {
    if (rect.left < width || rect.top < width) return;
    const uint32_t outer_left = rect.left - width, outer_top = rect.top - width;
    const uint32_t outer_width = rect.width + 2 * width;
    fill_rect(out, {outer_left, outer_top, outer_width, width}, colour);
    fill_rect(out, {outer_left, rect.top + rect.height, outer_width, width}, colour);
    fill_rect(out, {outer_left, rect.top, width, rect.height}, colour);
    fill_rect(out, {rect.left + rect.width, rect.top, width, rect.height}, colour);
}

bool read_time(EFI_SYSTEM_TABLE *system, console_state *console) {
    EFI_RUNTIME_SERVICES *runtime = system->RuntimeServices;
    EFI_TIME time = {};
    if (runtime == nullptr || runtime->GetTime == nullptr ||
        EFI_ERROR(runtime->GetTime(&time, nullptr)))
        return false;
    const int64_t now = seconds_of(time);
    const bool moved = !console->time_known || now != console->now;
    console->time = time;
    console->now = now;
    console->time_known = true;
    return moved;
}

uint32_t console_key(console_state *console, EFI_INPUT_KEY key, uint32_t screen_count) {
    if (key.ScanCode != 0) return console_key_none;
    if (key.UnicodeChar == u's') {
        console->screen = (console->screen + 1) % screen_count;
        console->laid_out = false;
        return console_key_swapped;
    }
    if (key.UnicodeChar == u't') {
        toggle_timer_pause(&console->timer, console->now);
        return console_key_timer;
    }
    return console_key_none;
}

namespace {

const console_layout layout_of(const screen &on, const image_options &options) {
    return console_layout_for(on.output.width, on.output.height, on.set.slide_width,
                              on.set.slide_height, options.faces, options.face_count);
}

// A slide of the screen's set in a preview rectangle; false when it cannot
// be decoded.
bool preview(const screen &on, const image_options &options, screen_rect rect, int32_t slide) {
    const uint8_t *pixels = picture_pixels(options, on.set, slide);
    if (pixels == nullptr) return false;
    const img_entry *entry = picture_entry(on.set, slide);
    draw_preview(on, rect, pixels, entry->width, entry->height);
    return true;
}

}  // namespace

void draw_console(const screen &on, const image_options &options, const presentation &state,
                  console_state *console) {
    const console_layout layout = layout_of(on, options);
    if (!console->laid_out) {
        fill_screen(on.output, 0);
        console->laid_out = true;
    }
    // The audience's picture, when it is not the current slide, noted
    // round it.
    const uint32_t note = state.blank != blank_none ? note_colour_blank
                          : state.show_extra       ? note_colour_listing
                                                   : 0;
    draw_ring(on.output, layout.current, layout.frame, note);
    preview(on, options, layout.current, state.current);
    if (state.current + 1 < img_count) {
        preview(on, options, layout.next, state.current + 1);
    } else {
        // After the last slide: an empty frame.
        fill_rect(on.output, layout.next, 0);
        draw_ring(on.output, {layout.next.left + 1, layout.next.top + 1,
                              layout.next.width > 2 ? layout.next.width - 2 : 0,
                              layout.next.height > 2 ? layout.next.height - 2 : 0},
                  1, note_colour_blank);
    }
    CHAR16 text[number_field + 1];
    format_slide_number(state.current + 1, img_count, text);
    draw_text(on.output, layout.number.left, layout.number.top, options.faces[layout.face], text,
              timer_white);
    draw_console_times(on, options, *console);
}

void draw_console_times(const screen &on, const image_options &options, const console_state &console) {
    const console_layout layout = layout_of(on, options);
    const glyph_face &face = options.faces[layout.face];
    CHAR16 text[time_field + 1];
    const int64_t elapsed = timer_elapsed(console.timer, console.now);
    format_timer(timer_reading(elapsed, options.talk_minutes), text);
    draw_text(on.output, layout.timer.left, layout.timer.top, face, text,
              timer_colour(elapsed, options.talk_minutes));
    if (console.time_known) {
        format_clock(console.time, text);
    } else {
        for (uint32_t i = 0; i < time_field; ++i) text[i] = u'-';
        text[time_field] = 0;
    }
    draw_text(on.output, layout.clock.left, layout.clock.top, face, text, timer_white);
}
