// Scaled drawing on the modes presenters meet, for every way of scaling
// and every kind of pixel format: the border cleared to black, a slide,
// then a listing over it, each screen compared pixel for pixel with what
// the rules give, and nothing written outside the mode's visible pixels
// or read back from the screen.
#include <gtest/gtest.h>

#include <string>

#include "draw.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scale.h"
#include "scaled_oracle.h"

namespace {

struct mode_case {
    uint32_t width, height, pitch;
};

const mode_case modes[] = {
    {1920, 1080, 0}, {1366, 768, 0}, {3840, 2160, 0}, {1280, 800, 0}, {640, 480, 0},
    {1366, 768, 1376},                 // padded rows
    {1400, 1024, 0},                   // fill 1365 wide: an odd row
    {800, 400, 0},                     // too low: reduced
    {8200, 600, 0},                    // too wide: drawn 1:1
};
const scale_mode scales[] = {scale_off, scale_whole, scale_fill};
const EFI_GRAPHICS_PIXEL_FORMAT formats[] = {PixelBlueGreenRedReserved8BitPerColor,
                                             PixelRedGreenBlueReserved8BitPerColor, PixelBltOnly};

// What the viewer does for one picture in a build with this scaling.
void draw(fake_firmware &firmware, scale_mode scale, int number) {
    const image_options options = {scale};
    const picture_info picture = fake_picture(number);
    draw_picture(screen_for(&firmware.gop, options), picture.pixels, picture.width,
                 picture.height);
}

void clear_border(fake_firmware &firmware, scale_mode scale) {
    const image_options options = {scale};
    clear_around_area(screen_for(&firmware.gop, options));
}

void expect_padding_untouched(const fake_firmware &firmware) {
    for (uint32_t y = 0; y < firmware.info.VerticalResolution; ++y)
        for (uint32_t x = firmware.info.HorizontalResolution; x < firmware.pitch(); ++x)
            ASSERT_EQ(firmware.video[(size_t)y * firmware.pitch() + x], untouched)
                << "padding pixel (" << x << ", " << y << ") written";
}

TEST(Scale, EveryModeScaleAndFormatShowsWhatTheRulesSay) {
    for (const mode_case &mode : modes)
        for (scale_mode scale : scales)
            for (EFI_GRAPHICS_PIXEL_FORMAT format : formats) {
                const std::string where = std::to_string(mode.width) + "x" +
                                          std::to_string(mode.height) + " pitch " +
                                          std::to_string(mode.pitch) + " scale " +
                                          std::to_string(scale) + " format " +
                                          std::to_string(format);
                fake_firmware firmware({mode.width, mode.height, mode.pitch, format});
                expected_screen expected(mode.width, mode.height);

                clear_border(firmware, scale);
                paint_black_border(expected, scale);
                draw(firmware, scale, 5);
                paint_scaled(expected, scale, 5);
                ASSERT_TRUE(same_screen(firmware.screen(), expected)) << where << ", slide";

                draw(firmware, scale, listing_0);
                paint_scaled(expected, scale, listing_0);
                ASSERT_TRUE(same_screen(firmware.screen(), expected)) << where << ", listing";
                expect_padding_untouched(firmware);

                for (const blt_call &call : firmware.blt_calls) {
                    ASSERT_EQ(call.operation, EfiBltBufferToVideo) << where;
                    ASSERT_EQ(call.result, EFI_SUCCESS) << where;
                }
                if (format == PixelBlueGreenRedReserved8BitPerColor)
                    EXPECT_TRUE(firmware.blt_calls.empty())
                        << where << ": a linear BGR framebuffer is written directly";
            }
}

TEST(Scale, WidestModeGoesThroughBltInBands) {
    // 8192 pixels wide and 4:3: a scaled row fills the buffer's row.
    fake_firmware firmware({8192, 6144, 0, PixelBltOnly});
    clear_border(firmware, scale_fill);
    draw(firmware, scale_fill, 9);
    expected_screen expected(8192, 6144);
    paint_scaled(expected, scale_fill, 9);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
    EXPECT_GT(firmware.blt_calls.size(), 1u);
}

}  // namespace
