// The overview: how the selection moves over decks of several lengths,
// and a run that opens it, moves the frame within a page and across
// pages, closes it with Esc and with Enter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "overview.h"
#include "scaled_oracle.h"

namespace {

// 640x480 pages of 4 x 4 thumbnails of 136 x 96, 12 pixels of background
// round each.
constexpr overview_grid grid = {4, 4, 24, 20, 152, 114, 136, 96, 12, 0x00203040};

EFI_INPUT_KEY scan(uint16_t code) { return {code, 0}; }
EFI_INPUT_KEY character(CHAR16 c) { return {0, c}; }

TEST(Overview, SelectionMovesAndStopsAtTheEnds) {
    struct move_case {
        int32_t slides, current;
        std::vector<EFI_INPUT_KEY> keys;
        int32_t selected;
        const char *what;
    };
    const move_case cases[] = {
        {1, 0, {scan(SCAN_RIGHT), scan(SCAN_DOWN), scan(SCAN_PAGE_DOWN), scan(SCAN_END)}, 0,
         "one slide: nowhere to go"},
        {16, 3, {scan(SCAN_RIGHT)}, 4, "right from the end of a row: the next row's first"},
        {16, 14, {scan(SCAN_DOWN)}, 15, "down from the last row: the last slide"},
        {16, 5, {scan(SCAN_UP), scan(SCAN_UP)}, 0, "up past the first row: the first slide"},
        {17, 15, {scan(SCAN_RIGHT)}, 16, "right across a page"},
        {17, 2, {scan(SCAN_PAGE_DOWN)}, 16, "a page down onto the short last page"},
        {17, 16, {scan(SCAN_PAGE_UP), scan(SCAN_LEFT)}, 0, "a page up, then left at the start"},
        {47, 20, {scan(SCAN_PAGE_DOWN), scan(SCAN_PAGE_DOWN)}, 46, "pages down, to the last"},
        {47, 40, {scan(SCAN_HOME), scan(SCAN_DOWN), scan(SCAN_END), scan(SCAN_UP)}, 42,
         "home, down a row, end, up a row"},
        {47, 9, {character(u'x'), character(u'b'), character(u'1')}, 9, "other keys: nothing"},
    };
    for (const move_case &c : cases) {
        presentation state = {};
        state.current = c.current;
        overview_state overview = {};
        ASSERT_EQ(overview_key(&overview, &state, character(u'o'), c.slides, grid),
                  overview_opened);
        for (const EFI_INPUT_KEY &k : c.keys) overview_key(&overview, &state, k, c.slides, grid);
        EXPECT_EQ(overview.selected, c.selected) << c.what;
        EXPECT_EQ(state.blank, blank_none) << c.what;
        EXPECT_EQ(state.current, c.current) << c.what << ": the talk moved while it was open";
    }
}

// The frame's ring computed from the grid alone, by the rule in
// overview.h: outer edges rounded towards the thumbnail, inner away.
struct ring {
    uint32_t outer_left, outer_top, outer_right, outer_bottom;
    uint32_t inner_left, inner_top, inner_right, inner_bottom;
    bool holds(uint32_t x, uint32_t y) const {
        const bool in_outer = x >= outer_left && x < outer_right && y >= outer_top &&
                              y < outer_bottom;
        const bool in_inner = x >= inner_left && x < inner_right && y >= inner_top &&
                              y < inner_bottom;
        return in_outer && !in_inner;
    }
};

ring expected_ring(rectangle area, int slide) {
    const uint32_t i = (uint32_t)slide % 16;
    const uint64_t x = grid.left + i % 4 * grid.step_x, y = grid.top + i / 4 * grid.step_y;
    const uint64_t near = 3, far = 9;  // a quarter of the gutter, and the rest
    auto down_x = [&](uint64_t v) { return area.left + (uint32_t)(v * area.width / 640); };
    auto up_x = [&](uint64_t v) { return area.left + (uint32_t)((v * area.width + 639) / 640); };
    auto down_y = [&](uint64_t v) { return area.top + (uint32_t)(v * area.height / 480); };
    auto up_y = [&](uint64_t v) { return area.top + (uint32_t)((v * area.height + 479) / 480); };
    return {up_x(x - far),          up_y(y - far),           down_x(x + 136 + far),
            down_y(y + 96 + far),   down_x(x - near),        down_y(y - near),
            up_x(x + 136 + near),   up_y(y + 96 + near)};
}

// A page: background, with each thumbnail a shade of its own.
std::vector<uint32_t> page_picture(int page) {
    std::vector<uint32_t> pixels(640 * 480, grid.background);
    for (uint32_t i = 0; i < 16; ++i)
        for (uint32_t y = 0; y < grid.height; ++y)
            for (uint32_t x = 0; x < grid.width; ++x)
                pixels[(grid.top + i / 4 * grid.step_y + y) * 640 + grid.left +
                       i % 4 * grid.step_x + x] = 0xFF000000u | (page * 16 + i) * 0x030507u | x;
    return pixels;
}

expected_screen overview_screen(uint32_t width, uint32_t height, rectangle area,
                                const std::vector<uint32_t> &page, int selected) {
    expected_screen expected(width, height);
    paint_black_border(expected, scale_fill);
    paint_scaled(expected, scale_fill, 640, 480, {640, 480, page.data()});
    const ring r = expected_ring(area, selected);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (r.holds(x, y)) expected.pixels[(size_t)y * width + x] = overview_frame_colour;
    return expected;
}

TEST(Overview, FrameWhereTheGridSaysMovedAloneEscAndEnter) {
    const std::vector<uint32_t> pages[] = {page_picture(0), page_picture(1), page_picture(2)};
    const img_entry page_entries[] = {{640, 480, (const uint8_t *)pages[0].data()},
                                      {640, 480, (const uint8_t *)pages[1].data()},
                                      {640, 480, (const uint8_t *)pages[2].data()}};
    const overview_pages overview = {grid, page_entries, nullptr, 3};
    image_options options = {scale_fill, 1};
    options.overview = &overview;

    // 1366 x 768: the page reduced, at no whole factor.
    constexpr uint32_t width = 1366, height = 768;
    fake_firmware firmware({width, height, 0, PixelBltOnly});
    const rectangle area = expected_area(scale_fill, width, height);
    ASSERT_EQ(firmware.run({key(u'j'), key(u'j'), key(u'o'), scan_key(SCAN_RIGHT),
                            scan_key(SCAN_DOWN), scan_key(SCAN_ESC), key(u'o'),
                            scan_key(SCAN_PAGE_DOWN), key(u'\r')},
                           options),
              EFI_SUCCESS);
    ASSERT_EQ(firmware.screen_at_key.size(), 10u);

    EXPECT_TRUE(same_screen(firmware.screen_at_key[3],
                            overview_screen(width, height, area, pages[0], 2)))
        << "opened on slide 3";
    EXPECT_TRUE(same_screen(firmware.screen_at_key[4],
                            overview_screen(width, height, area, pages[0], 3)))
        << "after Right";
    EXPECT_TRUE(same_screen(firmware.screen_at_key[5],
                            overview_screen(width, height, area, pages[0], 7)))
        << "after Down";
    // Down redrew the two rings and nothing else.
    const ring old_ring = expected_ring(area, 3), new_ring = expected_ring(area, 7);
    for (size_t i = firmware.blt_calls_at_key[4]; i < firmware.blt_calls_at_key[5]; ++i) {
        const blt_call &call = firmware.blt_calls[i];
        for (uint32_t y = 0; y < call.height; ++y)
            for (uint32_t x = 0; x < call.width; ++x) {
                const uint32_t sx = (uint32_t)call.destination_x + x;
                const uint32_t sy = (uint32_t)call.destination_y + y;
                ASSERT_TRUE(old_ring.holds(sx, sy) || new_ring.holds(sx, sy))
                    << "a write off the frames at (" << sx << ", " << sy << ")";
            }
    }

    // Esc: slide 3, as it was.
    expected_screen slide(width, height);
    paint_black_border(slide, scale_fill);
    paint_scaled(slide, scale_fill, 2);
    EXPECT_TRUE(same_screen(firmware.screen_at_key[6], slide)) << "after Esc";
    // o and Page Down: the second page, the frame on slide 19.
    EXPECT_TRUE(same_screen(firmware.screen_at_key[8],
                            overview_screen(width, height, area, pages[1], 18)))
        << "after Page Down";
    // Enter: slide 19.
    paint_scaled(slide, scale_fill, 18);
    EXPECT_TRUE(same_screen(firmware.screen_at_key[9], slide)) << "after Enter";
}

}  // namespace
