// A talk rendered at several slide sizes: the set each screen gets, and a
// run that draws from the set the rule picks for each of two screens.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"
#include "sets.h"

namespace {

picture_set sized(uint32_t width, uint32_t height) {
    return {width, height, nullptr, nullptr, nullptr};
}

TEST(Sets, TheSetThatFitsTheMode) {
    // Listed the way auto imports them: by how common, not by size.
    const picture_set sets[] = {sized(1920, 1080), sized(1280, 800), sized(1920, 1200),
                                sized(1366, 768), sized(1024, 768), sized(2560, 1440)};
    struct mode_case {
        uint32_t width, height;
        uint32_t chosen;
        const char *why;
    };
    const mode_case cases[] = {
        {1280, 800, 1, "exact: 1:1"},
        {1366, 768, 3, "exact, though near 16:9"},
        {1600, 900, 0, "16:9, unlisted: the smallest 16:9 set at least 1600x900"},
        {1280, 720, 3, "16:9, unlisted: 1366x768 counts as 16:9 and is the smallest"},
        {3840, 2160, 5, "16:9, larger than every 16:9 set: the largest, enlarged"},
        {1680, 1050, 2, "16:10, unlisted: 1920x1200, not the smaller 1280x800"},
        {1280, 1024, 1, "5:4, no set of it: the smallest at least as large as fill's area"},
        {640, 480, 4, "4:3, smaller than the 4:3 set: reduced from it"},
        {7680, 4320, 5, "16:9, far larger than every set: the largest"},
    };
    for (const mode_case &c : cases)
        EXPECT_EQ(choose_set(sets, 6, c.width, c.height), c.chosen)
            << c.width << "x" << c.height << ": " << c.why;
}

// A second set at twice the default deck's size, made of the fake
// pictures enlarged 2x2, so that its pixels differ from the first set's
// reduced ones only where the rule picks the wrong set.
struct doubled_set {
    std::vector<std::vector<uint32_t>> pixels;
    std::vector<img_entry> slides, listings;

    doubled_set() {
        for (int number = 0; number < picture_count; ++number) {
            const picture_info picture = fake_picture(number);
            std::vector<uint32_t> doubled((size_t)picture.width * picture.height * 4);
            for (uint32_t y = 0; y < picture.height * 2; ++y)
                for (uint32_t x = 0; x < picture.width * 2; ++x)
                    doubled[(size_t)y * picture.width * 2 + x] =
                        fake_pixel(number, x / 2, y / 2) ^ (x % 2 + y % 2 * 2) << 8;
            pixels.push_back(std::move(doubled));
        }
        for (int number = 0; number < picture_count; ++number) {
            const picture_info picture = fake_picture(number);
            const img_entry entry = {picture.width * 2, picture.height * 2,
                                     (const uint8_t *)pixels[number].data()};
            (number < slide_count ? slides : listings).push_back(entry);
        }
    }
    oracle_picture picture(int number) const {
        const img_entry &entry =
            number < slide_count ? slides[number] : listings[number - slide_count];
        return {entry.width, entry.height, pixels[number].data()};
    }
};

TEST(Sets, EachScreenDrawsFromTheSetThatFitsIt) {
    const doubled_set large;
    const picture_set sets[] = {
        {1280, 960, large.slides.data(), large.listings.data(), nullptr},
        {640, 480, img, extra_img, nullptr},
    };
    image_options options = {scale_fill};
    options.screens = screens_mirror;
    options.sets = sets;
    options.set_count = 2;
    // 1280x960 shows the large set 1:1; 800x600 the large set reduced,
    // the smallest 4:3 set at least as large as the screen; 640x480 the
    // small set 1:1.
    fake_firmware firmware({1280, 960, 0, PixelBlueGreenRedReserved8BitPerColor});
    fake_firmware second({800, 600, 0, PixelBltOnly});
    fake_firmware third({640, 480, 0, PixelBlueGreenRedReserved8BitPerColor});
    firmware.more_outputs = {&second, &third};
    ASSERT_EQ(firmware.run({key(u'j'), key(u'2')}, options), EFI_SUCCESS);

    for (fake_firmware *screen : {&firmware, &second, &third}) {
        const uint32_t width = screen->info.HorizontalResolution;
        const uint32_t height = screen->info.VerticalResolution;
        const std::string where = std::to_string(width) + "x" + std::to_string(height);
        ASSERT_EQ(screen->screen_at_key.size(), 3u);
        expected_screen expected(width, height);
        const bool small = screen == &third;
        paint_black_border(expected, scale_fill, small ? 640 : 1280, small ? 480 : 960);
        const int shown[] = {0, 1, listing_1};
        for (int i = 0; i < 3; ++i) {
            if (small)
                expected.paint(shown[i]);
            else
                paint_scaled(expected, scale_fill, 1280, 960, large.picture(shown[i]));
            EXPECT_TRUE(same_screen(screen->screen_at_key[i], expected)) << where << " key " << i;
        }
    }
}

}  // namespace
