// The overview's keys and its frame.
#include "overview.h"

#include "BOOTX64.h"
#include "pictures.h"

namespace {

int32_t clamped(int32_t value, int32_t last) { return value < 0 ? 0 : value > last ? last : value; }

uint32_t per_page(const overview_grid &grid) { return grid.columns * grid.rows; }

// A page coordinate on the screen, rounded down or up.
uint32_t on_screen(uint32_t x, uint32_t slide, uint32_t area, uint32_t offset, bool up) {
    const uint64_t scaled = (uint64_t)x * area;
    return offset + (uint32_t)(up ? (scaled + slide - 1) / slide : scaled / slide);
}

// The ring between the two rectangles, in four fills.
void fill_ring(const screen_output &out, overview_frame frame, uint32_t colour) {
    const screen_rect o = frame.outer, i = frame.inner;
    if (i.left < o.left || i.top < o.top || i.left + i.width > o.left + o.width ||
        i.top + i.height > o.top + o.height)
        return;
    fill_rect(out, {o.left, o.top, o.width, i.top - o.top}, colour);
    fill_rect(out, {o.left, i.top + i.height, o.width, o.top + o.height - i.top - i.height},
              colour);
    fill_rect(out, {o.left, i.top, i.left - o.left, i.height}, colour);
    fill_rect(out, {i.left + i.width, i.top, o.left + o.width - i.left - i.width, i.height},
              colour);
}

}  // namespace

uint32_t overview_key(overview_state *overview, presentation *state, EFI_INPUT_KEY key,
                      int32_t slide_count, const overview_grid &grid) {
    const CHAR16 character = key.ScanCode == 0 ? key.UnicodeChar : 0;
    const bool toggle = character == u'o' || character == u'\t';
    if (!overview->open) {
        if (!toggle) return overview_not_mine;
        overview->open = true;
        overview->selected = state->current;
        return overview_opened;
    }
    const int32_t last = slide_count - 1;
    const int32_t row = (int32_t)grid.columns, page = (int32_t)per_page(grid);
    int32_t selected = overview->selected;
    switch (key.ScanCode) {
    case SCAN_RIGHT: selected += 1; break;
    case SCAN_LEFT: selected -= 1; break;
    case SCAN_DOWN: selected += row; break;
    case SCAN_UP: selected -= row; break;
    case SCAN_PAGE_DOWN: selected += page; break;
    case SCAN_PAGE_UP: selected -= page; break;
    case SCAN_HOME: selected = 0; break;
    case SCAN_END: selected = last; break;
    case SCAN_ESC:
        overview->open = false;
        return overview_closed;
    default:
        if (toggle) {
            overview->open = false;
            return overview_closed;
        }
        if (character == u'\r') {
            overview->open = false;
            state->current = overview->selected;
            return overview_closed;
        }
        if (character == u'q') {
            state->quit = 1;
            return overview_quit;
        }
        return overview_unchanged;
    }
    selected = clamped(selected, last);
    if (selected == overview->selected) return overview_unchanged;
    overview->selected = selected;
    return overview_moved;
}

overview_frame frame_for(const screen &on, const overview_grid &grid, int32_t slide) {
    const uint32_t index = (uint32_t)slide % per_page(grid);
    const uint32_t x = grid.left + index % grid.columns * grid.step_x;
    const uint32_t y = grid.top + index / grid.columns * grid.step_y;
    const uint32_t near = grid.gutter / 4, far = grid.gutter - grid.gutter / 4;
    // 1:1 from the corner, or scaled into the area.
    const uint32_t sw = on.set.slide_width, sh = on.set.slide_height;
    const uint32_t aw = on.area.width != 0 ? on.area.width : sw;
    const uint32_t ah = on.area.width != 0 ? on.area.height : sh;
    const uint32_t left = on.area.left, top = on.area.top;
    const uint32_t outer_left = on_screen(x - far, sw, aw, left, true);
    const uint32_t outer_top = on_screen(y - far, sh, ah, top, true);
    const uint32_t outer_right = on_screen(x + grid.width + far, sw, aw, left, false);
    const uint32_t outer_bottom = on_screen(y + grid.height + far, sh, ah, top, false);
    const uint32_t inner_left = on_screen(x - near, sw, aw, left, false);
    const uint32_t inner_top = on_screen(y - near, sh, ah, top, false);
    const uint32_t inner_right = on_screen(x + grid.width + near, sw, aw, left, true);
    const uint32_t inner_bottom = on_screen(y + grid.height + near, sh, ah, top, true);
    return {{outer_left, outer_top, outer_right - outer_left, outer_bottom - outer_top},
            {inner_left, inner_top, inner_right - inner_left, inner_bottom - inner_top}};
}

void draw_overview(const screen &on, const image_options &options, const overview_state &view) {
    const overview_pages *pages = on.set.overview;
    if (pages == nullptr) return;
    const uint32_t page = (uint32_t)view.selected / per_page(pages->grid);
    if (page >= pages->page_count) return;
    const uint8_t *pixels = stored_pixels(
        options, pages->pages[page], pages->blocks != nullptr ? &pages->blocks[page] : nullptr);
    if (pixels == nullptr) return;
    draw_picture(on, pixels, pages->pages[page].width, pages->pages[page].height);
    fill_ring(on.output, frame_for(on, pages->grid, view.selected), overview_frame_colour);
}

void move_overview_frame(const screen &on, const overview_grid &grid, int32_t previous,
                         int32_t selected) {
    fill_ring(on.output, frame_for(on, grid, previous), grid.background);
    fill_ring(on.output, frame_for(on, grid, selected), overview_frame_colour);
}
