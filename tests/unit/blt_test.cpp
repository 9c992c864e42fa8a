// The copy of one picture onto screens of every shape: clipped, never
// sheared, nothing outside the picture's rectangle written, and the right
// colours whatever the mode's pixel format.
#include <gtest/gtest.h>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "screen_oracle.h"

namespace {

void draw(fake_firmware &firmware, int number) {
    const picture_info picture = fake_picture(number);
    blt(&firmware.gop, picture.pixels, picture.width, picture.height);
}

void expect_picture_alone(screen_geometry geometry, int number) {
    fake_firmware firmware(geometry);
    draw(firmware, number);
    expected_screen expected(geometry.width, geometry.height);
    expected.paint(number);
    EXPECT_TRUE(same_screen(firmware.screen(), expected))
        << geometry.width << "x" << geometry.height << " format " << geometry.format;
}

TEST(Blt, SlideFillsAModeOfItsOwnSize) {
    fake_firmware firmware({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor});
    draw(firmware, 7);
    for (uint32_t pixel : firmware.video) ASSERT_NE(pixel, untouched);
    expect_picture_alone({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor}, 7);
}

TEST(Blt, LargerModesKeepEverythingRightOfAndBelowThePicture) {
    expect_picture_alone({800, 600, 0, PixelBlueGreenRedReserved8BitPerColor}, 3);
    expect_picture_alone({1280, 800, 0, PixelBlueGreenRedReserved8BitPerColor}, last_slide);
    expect_picture_alone({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor}, listing_0);
}

TEST(Blt, SmallerModesCutThePictureWithoutShearing) {
    expect_picture_alone({320, 200, 0, PixelBlueGreenRedReserved8BitPerColor}, 5);
    expect_picture_alone({632, 480, 0, PixelBlueGreenRedReserved8BitPerColor}, 5);
    expect_picture_alone({1, 1, 0, PixelBlueGreenRedReserved8BitPerColor}, 5);
    expect_picture_alone({640, 300, 0, PixelBlueGreenRedReserved8BitPerColor}, listing_1);
}

TEST(Blt, PaddedRowsLineUpAndThePaddingStaysUntouched) {
    const screen_geometry padded = {640, 480, 704, PixelBlueGreenRedReserved8BitPerColor};
    expect_picture_alone(padded, 9);

    fake_firmware firmware(padded);
    draw(firmware, 9);
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 640; x < 704; ++x) ASSERT_EQ(firmware.video[y * 704 + x], untouched);

    // Narrower than the picture and padded at once.
    expect_picture_alone({600, 400, 608, PixelBlueGreenRedReserved8BitPerColor}, 9);
}

TEST(Blt, EmptyPictureCopiesNothing) {
    fake_firmware firmware({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor});
    const picture_info picture = fake_picture(1);
    blt(&firmware.gop, picture.pixels, 0, 480);
    blt(&firmware.gop, picture.pixels, 640, 0);
    for (uint32_t pixel : firmware.video) ASSERT_EQ(pixel, untouched);

    // One empty side is enough: the firmware refuses an empty rectangle.
    fake_firmware blt_only({640, 480, 0, PixelBltOnly});
    blt(&blt_only.gop, picture.pixels, 0, 480);
    blt(&blt_only.gop, picture.pixels, 640, 0);
    EXPECT_TRUE(blt_only.blt_calls.empty());
}

TEST(Blt, OtherPixelFormatsGoThroughTheFirmwaresBlt) {
    for (EFI_GRAPHICS_PIXEL_FORMAT format :
         {PixelRedGreenBlueReserved8BitPerColor, PixelBitMask, PixelBltOnly, 7u}) {
        expect_picture_alone({800, 600, 0, format}, 12);
        expect_picture_alone({320, 200, 0, format}, listing_0);

        fake_firmware firmware({320, 200, 0, format});
        draw(firmware, 12);
        ASSERT_EQ(firmware.blt_calls.size(), 1u);
        const blt_call &call = firmware.blt_calls[0];
        EXPECT_EQ(call.result, EFI_SUCCESS);
        EXPECT_EQ(call.operation, EfiBltBufferToVideo);
        EXPECT_EQ(call.width, 320u);
        EXPECT_EQ(call.height, 200u);
        EXPECT_EQ(call.delta, 640u * 4) << "a source row is the whole picture's row";
    }
}

TEST(Blt, BlueGreenRedModeWithoutFramebufferGoesThroughTheFirmware) {
    fake_firmware firmware({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor});
    firmware.mode.FrameBufferBase = 0;
    draw(firmware, 2);
    ASSERT_EQ(firmware.blt_calls.size(), 1u);
    EXPECT_EQ(firmware.blt_calls[0].result, EFI_SUCCESS);
    expected_screen expected(640, 480);
    expected.paint(2);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

TEST(Blt, ReadsTheModeAfreshAtEachCall) {
    fake_firmware firmware({800, 600, 0, PixelBlueGreenRedReserved8BitPerColor});
    firmware.info.HorizontalResolution = 320;
    firmware.info.VerticalResolution = 240;
    draw(firmware, 4);
    EXPECT_EQ(firmware.video[0], fake_pixel(4, 0, 0));
    EXPECT_EQ(firmware.video[319], fake_pixel(4, 319, 0));
    EXPECT_EQ(firmware.video[320], untouched);
    EXPECT_EQ(firmware.video[240 * 800], untouched);
}

}  // namespace
