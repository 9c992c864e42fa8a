// SCREENS=mirror: every screen the firmware drives shows the talk, each in
// its own mode and scaling, and the console splitter's virtual output,
// which copies to the devices itself, is never drawn on.
#include <gtest/gtest.h>

#include <vector>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"

namespace {

constexpr screen_geometry panel = {1280, 800, 0, PixelBlueGreenRedReserved8BitPerColor};
constexpr screen_geometry projector = {1024, 768, 0, PixelBltOnly};

expected_screen black(screen_geometry geometry) {
    expected_screen screen(geometry.width, geometry.height);
    screen.pixels.assign(screen.pixels.size(), 0);
    return screen;
}

TEST(Screens, MirrorDrawsEveryDeviceScreenAndNotTheVirtualOne) {
    fake_firmware firmware(panel);
    fake_firmware splitter(panel);
    splitter.has_device_path = false;
    fake_firmware second(projector);
    firmware.more_outputs = {&splitter, &second};

    image_options mirror = {scale_fill, 1};
    mirror.screens = screens_mirror;
    // j, a listing, a blank and the key that ends it.
    ASSERT_EQ(firmware.run({key(u'j'), key(u'1'), key(u'b'), scan_key(SCAN_PAGE_DOWN)}, mirror),
              EFI_SUCCESS);
    EXPECT_TRUE(firmware.handle_buffers.empty()) << "the handle buffer was not freed";

    for (fake_firmware *screen : {&firmware, &second}) {
        const screen_geometry geometry = screen == &firmware ? panel : projector;
        ASSERT_EQ(screen->screen_at_key.size(), 5u);
        expected_screen expected(geometry.width, geometry.height);
        paint_black_border(expected, scale_fill);
        paint_scaled(expected, scale_fill, 0);
        EXPECT_TRUE(same_screen(screen->screen_at_key[0], expected)) << geometry.width;
        paint_scaled(expected, scale_fill, 1);
        EXPECT_TRUE(same_screen(screen->screen_at_key[1], expected)) << geometry.width;
        paint_scaled(expected, scale_fill, listing_0);
        EXPECT_TRUE(same_screen(screen->screen_at_key[2], expected)) << geometry.width;
        EXPECT_TRUE(same_screen(screen->screen_at_key[3], black(geometry))) << geometry.width;
        expected = black(geometry);
        paint_scaled(expected, scale_fill, 1);
        EXPECT_TRUE(same_screen(screen->screen_at_key[4], expected)) << geometry.width;
    }
    EXPECT_TRUE(splitter.blt_calls.empty());
    EXPECT_TRUE(same_screen(splitter.screen(), expected_screen(panel.width, panel.height)));
}

// The default keeps to the located output, and mirror falls back to it
// when the firmware cannot list the outputs.
TEST(Screens, FirstOrAnUnlistableFirmwareDrawsTheLocatedOutputOnly) {
    struct case_ {
        screens_choice screens;
        EFI_STATUS listing;
        int listing_calls;
    };
    for (const case_ &c : {case_{screens_first, EFI_SUCCESS, 0},
                           case_{screens_mirror, EFI_NOT_FOUND, 1}}) {
        fake_firmware firmware(panel);
        fake_firmware second(projector);
        firmware.more_outputs = {&second};
        firmware.locate_handle_buffer_status = c.listing;
        image_options options = {scale_off};
        options.screens = c.screens;
        ASSERT_EQ(firmware.run({key(u'j')}, options), EFI_SUCCESS);
        EXPECT_EQ(firmware.locate_handle_buffer_calls, c.listing_calls);
        expected_screen expected(panel.width, panel.height);
        expected.paint(1);
        EXPECT_TRUE(same_screen(firmware.screen(), expected));
        EXPECT_TRUE(second.blt_calls.empty());
    }
}

}  // namespace
