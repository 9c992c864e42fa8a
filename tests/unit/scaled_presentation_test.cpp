// The real entry point with the options of an image built with
// SLIDE_SCALE=fill: the firmware's screen is black around the talk before
// the first key, and every picture, listings included, is drawn scaled
// over what the 640x480 area held, whatever the pixel format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"

namespace {

TEST(ScaledPresentation, BlackBorderFromTheFirstSlideAndScaledListings) {
    const EFI_GRAPHICS_PIXEL_FORMAT formats[] = {PixelBlueGreenRedReserved8BitPerColor,
                                                 PixelRedGreenBlueReserved8BitPerColor,
                                                 PixelBltOnly};
    const image_options fill = {scale_fill};
    for (EFI_GRAPHICS_PIXEL_FORMAT format : formats) {
        fake_firmware firmware({1366, 768, 1376, format});
        // Each key and the picture it brings over the previous screen.
        const std::vector<std::pair<CHAR16, int>> steps = {
            {u'j', 1}, {u'1', listing_0}, {u'2', listing_1}, {u'l', last_slide}};
        std::vector<scripted_read> script;
        for (const auto &step : steps) script.push_back(key(step.first));
        script.push_back(key(u'q'));
        ASSERT_EQ(firmware.run(script, fill), EFI_SUCCESS);
        ASSERT_EQ(firmware.screen_at_key.size(), steps.size() + 1);

        expected_screen expected(1366, 768);
        paint_black_border(expected, scale_fill);
        paint_scaled(expected, scale_fill, 0);
        for (size_t i = 0; i <= steps.size(); ++i) {
            ASSERT_TRUE(same_screen(firmware.screen_at_key[i], expected))
                << "format " << format << ", when key " << i << " was read";
            if (i < steps.size()) paint_scaled(expected, scale_fill, steps[i].second);
        }
    }
}

}  // namespace
