// SCREEN_MODE on a fake graphics output that lists several modes: the
// mode of the slide's size, else the one with the most pixels; modes that
// QueryMode refuses are skipped; when SetMode fails the talk goes on in
// the mode the firmware started in; keep asks nothing. The first slide
// and the next are drawn in whichever mode is current.
#include <gtest/gtest.h>

#include <vector>

#include "fake_firmware.h"
#include "fake_pictures.h"
#include "screen_oracle.h"

namespace {

const EFI_GRAPHICS_PIXEL_FORMAT bgr = PixelBlueGreenRedReserved8BitPerColor;

// OVMF's start mode first, then what it lists besides.
const std::vector<screen_geometry> listed = {
    {1280, 800, 0, bgr},  {640, 480, 0, bgr},  {1920, 1080, 0, bgr}, {2560, 1600, 0, bgr},
    {1024, 768, 0, bgr},  {1920, 1200, 0, bgr}, {800, 600, 0, PixelBltOnly},
};

struct mode_case {
    const char *what;
    screen_mode_choice choice;
    uint32_t slide_width, slide_height;
    std::vector<uint32_t> refused;
    EFI_STATUS set_mode_status;
    std::vector<uint32_t> set_mode_calls;  // the mode asked for, if any
    uint32_t width, height;                // the mode the talk runs in
};

TEST(ScreenMode, ChoosesListedModesAndGoesOnWhenRefused) {
    const mode_case cases[] = {
        {"keep", screen_keep, 640, 480, {}, EFI_SUCCESS, {}, 1280, 800},
        {"slide, listed", screen_slide, 640, 480, {}, EFI_SUCCESS, {1}, 640, 480},
        {"slide, listed through Blt only", screen_slide, 800, 600, {}, EFI_SUCCESS, {6}, 800, 600},
        {"slide, not listed: the most pixels", screen_slide, 1366, 768, {}, EFI_SUCCESS, {3},
         2560, 1600},
        {"slide, its mode refused: the most pixels", screen_slide, 640, 480, {1}, EFI_SUCCESS,
         {3}, 2560, 1600},
        {"max", screen_max, 640, 480, {}, EFI_SUCCESS, {3}, 2560, 1600},
        {"max, the largest refused", screen_max, 640, 480, {3}, EFI_SUCCESS, {5}, 1920, 1200},
        {"max, SetMode fails", screen_max, 640, 480, {}, EFI_DEVICE_ERROR, {3}, 1280, 800},
        {"slide, already current", screen_slide, 1280, 800, {}, EFI_SUCCESS, {}, 1280, 800},
    };
    for (const mode_case &c : cases) {
        const image_options options = {scale_off, 0, c.slide_width, c.slide_height, c.choice};
        fake_firmware firmware(listed[0]);
        firmware.modes = listed;
        firmware.refused_modes = c.refused;
        firmware.set_mode_status = c.set_mode_status;
        ASSERT_EQ(firmware.run({key(u'j')}, options), EFI_SUCCESS) << c.what;

        EXPECT_EQ(firmware.set_mode_calls, c.set_mode_calls) << c.what;
        if (c.choice == screen_keep) EXPECT_TRUE(firmware.query_mode_calls.empty()) << c.what;
        EXPECT_TRUE(firmware.queried_infos.empty()) << c.what << ": a mode record not freed";
        EXPECT_EQ(firmware.bad_free_pool_calls, 0) << c.what;
        EXPECT_EQ(firmware.info.HorizontalResolution, c.width) << c.what;
        EXPECT_EQ(firmware.info.VerticalResolution, c.height) << c.what;
        // The talk runs in that mode: the first slide, then the second.
        ASSERT_EQ(firmware.screen_at_key.size(), 2u) << c.what;
        for (int slide = 0; slide < 2; ++slide) {
            expected_screen expected(c.width, c.height);
            expected.paint(slide);
            EXPECT_TRUE(same_screen(firmware.screen_at_key[slide], expected))
                << c.what << ", slide " << slide;
        }
    }
}

}  // namespace
