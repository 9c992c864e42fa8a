// Slides of other sizes than 640x480 on modes equal to, larger and smaller
// than the slide, and on padded rows, for every SLIDE_SCALE and for a
// linear framebuffer and Blt alone: the border, a slide and a listing over
// it, every screen pixel compared with what the rules give (the oracle
// computes them on its own), nothing written into the padding, and a
// linear framebuffer written without Blt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw.h"
#include "fake_firmware.h"
#include "scale.h"
#include "scaled_oracle.h"

namespace {

struct size_case {
    uint32_t width, height;
};

struct mode_case {
    uint32_t width, height, pitch;
};

struct slide_case {
    size_case slide;
    // Equal to the slide, larger (twice as large for 1280x720), smaller,
    // and one with padded rows.
    mode_case modes[4];
};

const slide_case cases[] = {
    {{640, 480}, {{640, 480, 0}, {1366, 768, 0}, {400, 300, 0}, {1024, 768, 1040}}},
    {{1280, 720}, {{1280, 720, 0}, {2560, 1600, 0}, {1024, 768, 0}, {800, 600, 808}}},
    {{1920, 1080}, {{1920, 1080, 0}, {2560, 1600, 0}, {1280, 720, 0}, {1366, 768, 1376}}},
    {{1024, 768}, {{1024, 768, 0}, {1920, 1080, 0}, {800, 600, 0}, {1280, 800, 1288}}},
};

// Bytes that differ from pixel to pixel and between pictures, so that a
// wrong weight, a misplaced or a sheared pixel shows in the mean.
std::vector<uint32_t> picture(uint32_t width, uint32_t height, uint32_t salt,
                              uint32_t bright = 0) {
    std::vector<uint32_t> pixels((size_t)width * height);
    uint32_t state = salt * 2654435761u + 1;
    for (uint32_t &pixel : pixels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        pixel = state | bright;
    }
    return pixels;
}

uint32_t listing_height(uint32_t slide_height) { return (389 * slide_height + 240) / 480; }

void expect_padding_untouched(const fake_firmware &firmware, const std::string &where) {
    for (uint32_t y = 0; y < firmware.info.VerticalResolution; ++y)
        for (uint32_t x = firmware.info.HorizontalResolution; x < firmware.pitch(); ++x)
            ASSERT_EQ(firmware.video[(size_t)y * firmware.pitch() + x], untouched)
                << where << ": padding pixel (" << x << ", " << y << ") written";
}

TEST(SlideSize, EverySizeModeScaleAndFormatShowsWhatTheRulesSay) {
    const scale_mode scales[] = {scale_off, scale_whole, scale_fill};
    const EFI_GRAPHICS_PIXEL_FORMAT formats[] = {PixelBlueGreenRedReserved8BitPerColor,
                                                 PixelBltOnly};
    for (const slide_case &c : cases) {
        const uint32_t sw = c.slide.width, sh = c.slide.height, lh = listing_height(sh);
        const std::vector<uint32_t> slide = picture(sw, sh, sw + sh);
        const std::vector<uint32_t> listing = picture(sw, lh, sw + lh);
        for (const mode_case &mode : c.modes)
            for (scale_mode scale : scales)
                for (EFI_GRAPHICS_PIXEL_FORMAT format : formats) {
                    const std::string where =
                        "slide " + std::to_string(sw) + "x" + std::to_string(sh) + " on " +
                        std::to_string(mode.width) + "x" + std::to_string(mode.height) +
                        " pitch " + std::to_string(mode.pitch) + " scale " +
                        std::to_string(scale) + " format " + std::to_string(format);
                    const image_options options = {scale, 0, sw, sh};
                    fake_firmware firmware({mode.width, mode.height, mode.pitch, format});
                    const screen on = screen_for(&firmware.gop, options);
                    expected_screen expected(mode.width, mode.height);

                    clear_around_area(on);
                    paint_black_border(expected, scale, sw, sh);
                    draw_picture(on, (const uint8_t *)slide.data(), sw, sh);
                    paint_scaled(expected, scale, sw, sh, {sw, sh, slide.data()});
                    ASSERT_TRUE(same_screen(firmware.screen(), expected)) << where << ", slide";

                    draw_picture(on, (const uint8_t *)listing.data(), sw, lh);
                    paint_scaled(expected, scale, sw, sh, {sw, lh, listing.data()});
                    ASSERT_TRUE(same_screen(firmware.screen(), expected))
                        << where << ", listing";
                    expect_padding_untouched(firmware, where);

                    for (const blt_call &call : firmware.blt_calls)
                        ASSERT_EQ(call.result, EFI_SUCCESS) << where;
                    if (format == PixelBlueGreenRedReserved8BitPerColor)
                        EXPECT_TRUE(firmware.blt_calls.empty())
                            << where << ": a linear framebuffer is written directly";
                }
    }
}

// A bright slide of more than 16.8 million pixels whose size shares no
// factor with the area's: the sums outgrow 32 bits and take the wide path.
TEST(SlideSize, HugeReductionSumsExactly) {
    const uint32_t sw = 4201, sh = 4099;
    const std::vector<uint32_t> slide = picture(sw, sh, 7, 0xFCFCFCFC);
    const image_options options = {scale_fill, 0, sw, sh};
    fake_firmware firmware({1000, 1000, 0, PixelBlueGreenRedReserved8BitPerColor});
    draw_picture(screen_for(&firmware.gop, options), (const uint8_t *)slide.data(), sw,
                 sh);
    expected_screen expected(1000, 1000);
    paint_scaled(expected, scale_fill, sw, sh, {sw, sh, slide.data()});
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

}  // namespace
