// The real entry point under the options of an image built with
// PICTURE_COMPRESSION=lz4:
// every picture is decoded from its block before it is drawn, 1:1 and
// scaled alike, and a block that does not decode is not drawn: the screen
// keeps what it showed, and the talk goes on to the next picture.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"

namespace {

using steps = std::vector<std::pair<CHAR16, int>>;

// Runs the keys, then q, and checks the screen at each key: slide 0 first,
// then each step's picture (or, for -1, nothing new) over what was there.
void expect_screens(scale_mode scale, screen_geometry geometry, const steps &keys) {
    image_options compressed{scale, 0};
    compressed.compressed = &fake_lz4_pictures;
    fake_firmware firmware(geometry);
    std::vector<scripted_read> script;
    for (const auto &step : keys) script.push_back(key(step.first));
    script.push_back(key(u'q'));
    ASSERT_EQ(firmware.run(script, compressed), EFI_SUCCESS);
    ASSERT_EQ(firmware.screen_at_key.size(), keys.size() + 1);

    expected_screen expected(geometry.width, geometry.height);
    paint_black_border(expected, scale);
    paint_scaled(expected, scale, 0);
    for (size_t i = 0; i <= keys.size(); ++i) {
        ASSERT_TRUE(same_screen(firmware.screen_at_key[i], expected)) << "when key " << i << " was read";
        if (i < keys.size() && keys[i].second >= 0) paint_scaled(expected, scale, keys[i].second);
    }
}

TEST(CompressedPresentation, DecodesEachPictureItShows) {
    const steps keys = {{u'j', 1}, {u'J', 11}, {u'1', listing_0}, {u'2', listing_1},
                        {u'l', last_slide}, {u'k', last_slide - 1}, {u'h', 0}};
    expect_screens(scale_off, {800, 600, 832, PixelBlueGreenRedReserved8BitPerColor}, keys);
    expect_screens(scale_fill, {1366, 768, 1376, PixelBltOnly}, keys);
}

TEST(CompressedPresentation, ACorruptBlockIsNotDrawnAndTheTalkGoesOn) {
    // Slide 2's block claims 255 literals too few (a byte is left over),
    // listing 1's one more than the block holds: neither decodes to its
    // picture's size. Both blocks are literals only (fake_pictures.cpp):
    // a token, then the length bytes, 255 but the last.
    uint8_t *slide = fake_block(2) + 1;
    const picture_info listing_picture = fake_picture(listing_1);
    uint8_t *listing = fake_block(listing_1) + 1 +
                       ((size_t)listing_picture.width * listing_picture.height * 4 - 15) / 255;
    const uint8_t slide_byte = *slide, listing_byte = *listing;
    ASSERT_EQ(slide_byte, 255);
    ASSERT_LT(listing_byte, 254);
    *slide = 254;
    *listing = listing_byte + 1;
    expect_screens(scale_off, {640, 480, 0, PixelBlueGreenRedReserved8BitPerColor},
                   {{u'j', 1}, {u'j', -1}, {u'j', 3}, {u'k', -1}, {u'2', -1}, {u'1', listing_0},
                    {u'k', 1}});
    *slide = slide_byte;
    *listing = listing_byte;
}

}  // namespace
