// SCREENS=presenter with two screens: the audience sees the talk, the
// presenter a console with the current and next slide reduced, the slide
// number, the timer and the clock; s swaps them, and a second passing
// redraws the times alone.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "BOOTX64.h"
#include "clock.h"
#include "console.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"

namespace {

// A face whose every character is a pattern of its own, so that any
// change of text shows in the pixels.
struct test_face {
    static constexpr uint32_t width = 6, height = 10;
    std::vector<uint8_t> coverage;
    test_face() : coverage((size_t)width * height * console_character_count) {
        for (size_t i = 0; i < coverage.size(); ++i)
            coverage[i] = (uint8_t)((i * 37 + i / (width * height) * 101) & 0xFF);
    }
    glyph_face face() const { return {width, height, coverage.data()}; }
};

oracle_picture slide_picture(int number, std::vector<uint32_t> &storage) {
    const picture_info picture = fake_picture(number);
    storage.resize((size_t)picture.width * picture.height);
    memcpy(storage.data(), picture.pixels, storage.size() * 4);
    return {picture.width, picture.height, storage.data()};
}

// The screen's pixels within a rectangle, row by row.
std::vector<uint32_t> region(const std::vector<uint32_t> &screen, uint32_t screen_width,
                             screen_rect rect) {
    std::vector<uint32_t> pixels;
    for (uint32_t y = rect.top; y < rect.top + rect.height; ++y)
        for (uint32_t x = rect.left; x < rect.left + rect.width; ++x)
            pixels.push_back(screen[(size_t)y * screen_width + x]);
    return pixels;
}

// The console's previews: the current and the next slide, each reduced
// into its rectangle by the oracle.
void expect_previews(const std::vector<uint32_t> &seen, uint32_t width, uint32_t height,
                     const console_layout &layout, int current, const std::string &where) {
    expected_screen expected(width, height);
    std::vector<uint32_t> storage;
    const screen_rect rects[] = {layout.current, layout.next};
    for (int i = 0; i < 2; ++i) {
        const screen_rect r = rects[i];
        paint_into(expected, {r.left, r.top, r.width, r.height}, 640, 480,
                   slide_picture(current + i, storage));
        EXPECT_EQ(region(seen, width, r), region(expected.pixels, width, r))
            << where << (i == 0 ? ": current" : ": next") << " preview";
    }
}

bool inside(const blt_call &call, screen_rect r) {
    return call.destination_x >= r.left && call.destination_y >= r.top &&
           call.destination_x + call.width <= r.left + r.width &&
           call.destination_y + call.height <= r.top + r.height;
}

TEST(Console, TalkOnOneScreenConsoleOnTheOtherSwappedByS) {
    const test_face glyphs;
    const glyph_face faces[] = {glyphs.face()};
    image_options options = {scale_fill, 1};
    options.screens = screens_presenter;
    options.faces = faces;
    options.face_count = 1;

    // The console first, through Blt only, so that every write is seen.
    constexpr screen_geometry panel = {1280, 800, 0, PixelBltOnly};
    constexpr screen_geometry projector = {1024, 768, 0, PixelBlueGreenRedReserved8BitPerColor};
    fake_firmware firmware(panel);
    fake_firmware audience(projector);
    firmware.more_outputs = {&audience};
    ASSERT_EQ(firmware.run({key(u'j'), tick(1), key(u's')}, options), EFI_SUCCESS);
    ASSERT_EQ(firmware.screen_at_key.size(), 3u);  // j, s and the q that ends the script
    EXPECT_EQ(firmware.timer_events, 0) << "the timer event was not closed";

    const console_layout layout =
        console_layout_for(panel.width, panel.height, 640, 480, faces, 1);
    // Before j: slide 0 for the audience, 1 and 2 on the console.
    expected_screen talk(projector.width, projector.height);
    paint_black_border(talk, scale_fill);
    paint_scaled(talk, scale_fill, 0);
    EXPECT_TRUE(same_screen(audience.screen_at_key[0], talk));
    expect_previews(firmware.screen_at_key[0], panel.width, panel.height, layout, 0, "at start");

    // After j: the next slide everywhere, and another number.
    paint_scaled(talk, scale_fill, 1);
    EXPECT_TRUE(same_screen(audience.screen_at_key[1], talk));
    expect_previews(firmware.screen_at_key[1], panel.width, panel.height, layout, 1, "after j");
    EXPECT_NE(region(firmware.screen_at_key[0], panel.width, layout.number),
              region(firmware.screen_at_key[1], panel.width, layout.number));

    // The second after j: the timer and the clock redrawn, nothing else.
    ASSERT_EQ(firmware.blt_calls_at_tick.size(), 1u);
    ASSERT_GT(firmware.blt_calls_at_key[1], firmware.blt_calls_at_tick[0]);
    for (size_t i = firmware.blt_calls_at_tick[0]; i < firmware.blt_calls_at_key[1]; ++i)
        EXPECT_TRUE(inside(firmware.blt_calls[i], layout.timer) ||
                    inside(firmware.blt_calls[i], layout.clock))
            << "a write outside the times at (" << firmware.blt_calls[i].destination_x << ", "
            << firmware.blt_calls[i].destination_y << ")";
    // The timer started at j and reads a second more than it did then.
    CHAR16 text[time_field + 1];
    format_timer(1, text);
    std::vector<uint32_t> timer_now = region(firmware.screen_at_key[1], panel.width, layout.timer);
    fake_firmware blank({layout.timer.width, layout.timer.height, 0, PixelBltOnly});
    draw_text(output_of(&blank.gop), 0, 0, faces[0], text, timer_white);
    EXPECT_EQ(timer_now, blank.screen());

    // After s: the talk on the first screen, the console on the second.
    expected_screen swapped(panel.width, panel.height);
    paint_black_border(swapped, scale_fill);
    paint_scaled(swapped, scale_fill, 1);
    EXPECT_TRUE(same_screen(firmware.screen_at_key[2], swapped));
    const console_layout moved =
        console_layout_for(projector.width, projector.height, 640, 480, faces, 1);
    expect_previews(audience.screen_at_key[2], projector.width, projector.height, moved, 1,
                    "after s");
}

TEST(Console, TimerCountsFromTheFirstChangeAndDownToTheEnd) {
    talk_timer timer = {};
    EXPECT_EQ(timer_elapsed(timer, 100), 0);
    start_timer(&timer, 100);
    start_timer(&timer, 150);  // a later change does not restart it
    EXPECT_EQ(timer_elapsed(timer, 160), 60);
    toggle_timer_pause(&timer, 160);
    EXPECT_EQ(timer_elapsed(timer, 1000), 60);
    toggle_timer_pause(&timer, 1000);
    EXPECT_EQ(timer_elapsed(timer, 1010), 70);

    // A 20-minute talk: white, amber in the last five minutes, red after.
    EXPECT_EQ(timer_colour(14 * 60 + 59, 20), timer_white);
    EXPECT_EQ(timer_colour(15 * 60, 20), timer_amber);
    EXPECT_EQ(timer_colour(20 * 60 + 1, 20), timer_red);
    EXPECT_EQ(timer_reading(20 * 60 + 61, 20), -61);

    const struct {
        int64_t seconds;
        const char16_t *text;
    } readings[] = {{0, u"00:00   "}, {61, u"01:01   "}, {3599, u"59:59   "},
                    {3600, u"1:00:00 "}, {-61, u"-01:01  "}, {-3601, u"-1:00:01"}};
    for (const auto &r : readings) {
        CHAR16 text[time_field + 1];
        format_timer(r.seconds, text);
        EXPECT_EQ(std::u16string(text), std::u16string(r.text)) << r.seconds;
    }
    CHAR16 number[number_field + 1];
    format_slide_number(7, 47, number);
    EXPECT_EQ(std::u16string(number), std::u16string(u"7 / 47   "));
    // Across a midnight and a month's end, the seconds still count on.
    const EFI_TIME before = {2027, 2, 28, 23, 59, 59, 0, 0, 0, 0, 0};
    const EFI_TIME after = {2027, 3, 1, 0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(seconds_of(after) - seconds_of(before), 2);
    const EFI_TIME leap_before = {2028, 2, 28, 12, 0, 0, 0, 0, 0, 0, 0};
    const EFI_TIME leap_after = {2028, 3, 1, 12, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(seconds_of(leap_after) - seconds_of(leap_before), 2 * 86400);
}

}  // namespace
