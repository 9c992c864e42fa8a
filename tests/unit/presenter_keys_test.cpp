// The presenter keys (PRESENTER_KEYS): the key table of presentation
// programs over the viewer's own keys, and what the real entry point draws
// for a blank screen and while a slide number is typed.
#include <gtest/gtest.h>

#include <vector>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "scaled_oracle.h"

namespace {

EFI_INPUT_KEY ch(CHAR16 character) { return {0, character}; }
EFI_INPUT_KEY sc(uint16_t scan_code) { return {scan_code, 0}; }

TEST(PresenterKeys, KeyTable) {
    constexpr int32_t slides = 20;
    constexpr int none = -1;
    struct row {
        uint32_t presenter_keys;
        int32_t from;
        std::vector<EFI_INPUT_KEY> keys;
        int32_t to;
        uint8_t blank;
        bool typing;  // a go-to number is still being typed
        int listing;  // the listing shown next, or none
        bool quit;
    };
    const row rows[] = {
        // Next, previous, first, last; the ends hold.
        {1, 5, {ch(u'j')}, 6, blank_none, false, none, false},
        {1, 5, {ch(u'n')}, 6, blank_none, false, none, false},
        {1, 5, {sc(SCAN_PAGE_DOWN)}, 6, blank_none, false, none, false},
        {1, 5, {sc(SCAN_RIGHT)}, 6, blank_none, false, none, false},
        {1, 5, {sc(SCAN_DOWN)}, 6, blank_none, false, none, false},
        {1, 5, {ch(u' ')}, 6, blank_none, false, none, false},
        {1, 5, {ch(u'\r')}, 6, blank_none, false, none, false},
        {1, 19, {sc(SCAN_PAGE_DOWN)}, 19, blank_none, false, none, false},
        {1, 5, {ch(u'k')}, 4, blank_none, false, none, false},
        {1, 5, {ch(u'p')}, 4, blank_none, false, none, false},
        {1, 5, {sc(SCAN_PAGE_UP)}, 4, blank_none, false, none, false},
        {1, 5, {sc(SCAN_LEFT)}, 4, blank_none, false, none, false},
        {1, 5, {sc(SCAN_UP)}, 4, blank_none, false, none, false},
        {1, 5, {ch(0x0008)}, 4, blank_none, false, none, false},
        {1, 0, {sc(SCAN_PAGE_UP)}, 0, blank_none, false, none, false},
        {1, 5, {ch(u'h')}, 0, blank_none, false, none, false},
        {1, 5, {sc(SCAN_HOME)}, 0, blank_none, false, none, false},
        {1, 5, {ch(u'l')}, 19, blank_none, false, none, false},
        {1, 5, {sc(SCAN_END)}, 19, blank_none, false, none, false},
        {1, 5, {ch(u'J')}, 15, blank_none, false, none, false},
        {1, 15, {ch(u'K')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'1')}, 5, blank_none, false, 0, false},
        {1, 5, {ch(u'2')}, 5, blank_none, false, 1, false},
        {1, 5, {ch(u'q')}, 5, blank_none, false, none, true},
        // Blanks, and the key that only ends them.
        {1, 5, {ch(u'b')}, 5, blank_black, false, none, false},
        {1, 5, {ch(u'.')}, 5, blank_black, false, none, false},
        {1, 5, {ch(u'w')}, 5, blank_white, false, none, false},
        {1, 5, {ch(u',')}, 5, blank_white, false, none, false},
        {1, 5, {ch(u'b'), sc(SCAN_PAGE_DOWN)}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'w'), ch(u'q')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'b'), ch(u'b')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'.'), ch(u'1')}, 5, blank_none, false, none, false},
        // Go to a slide: counted from 1, clamped, 0 ignored, cancelled.
        {1, 0, {ch(u'g'), ch(u'1'), ch(u'2'), ch(u'\r')}, 11, blank_none, false, none, false},
        {1, 0, {ch(u'g'), ch(u'1'), ch(u'2')}, 0, blank_none, true, none, false},
        {1, 0, {ch(u'g'), ch(u'0'), ch(u'0'), ch(u'0'), ch(u'7'), ch(u'\r')}, 6, blank_none,
         false, none, false},
        {1, 0, {ch(u'g'), ch(u'9'), ch(u'9'), ch(u'9'), ch(u'9'), ch(u'\r')}, 19, blank_none,
         false, none, false},
        {1, 0, {ch(u'g'), ch(u'2'), ch(u'1'), ch(u'\r')}, 19, blank_none, false, none, false},
        {1, 0, {ch(u'g'), ch(u'2'), ch(u'0'), ch(u'\r')}, 19, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'0'), ch(u'\r')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'\r')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'3'), ch(u'x')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'3'), ch(u'j')}, 6, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'3'), sc(SCAN_ESC)}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'3'), sc(SCAN_ESC), ch(u'\r')}, 6, blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'1'), ch(u'2'), ch(u'3'), ch(u'4'), ch(u'5')}, 5, blank_none, false,
         none, false},
        {1, 5, {ch(u'g'), ch(u'1'), ch(u'2'), ch(u'3'), ch(u'4'), ch(u'5'), ch(u'\r')}, 6,
         blank_none, false, none, false},
        {1, 5, {ch(u'g'), ch(u'q')}, 5, blank_none, false, none, true},
        // Keys that only redraw; Esc never ends the talk.
        {1, 5, {sc(SCAN_ESC)}, 5, blank_none, false, none, false},
        {1, 5, {sc(SCAN_F5)}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'\t')}, 5, blank_none, false, none, false},
        {1, 5, {ch(u'x')}, 5, blank_none, false, none, false},
        {1, 5, {sc(0x6A)}, 5, blank_none, false, none, false},
        // The default image: only UnicodeChar, only the viewer's own keys.
        {0, 5, {sc(SCAN_PAGE_DOWN)}, 5, blank_none, false, none, false},
        {0, 5, {sc(SCAN_RIGHT)}, 5, blank_none, false, none, false},
        {0, 5, {ch(u'n')}, 5, blank_none, false, none, false},
        {0, 5, {ch(u'\r')}, 5, blank_none, false, none, false},
        {0, 5, {ch(u'b')}, 5, blank_none, false, none, false},
        {0, 5, {ch(u'g'), ch(u'1')}, 5, blank_none, false, 0, false},
        {0, 5, {ch(u'j')}, 6, blank_none, false, none, false},
    };
    int number = 0;
    for (const row &r : rows) {
        presentation state = {};
        state.current = r.from;
        for (const EFI_INPUT_KEY &k : r.keys) handle_input(&state, k, slides, r.presenter_keys);
        SCOPED_TRACE(testing::Message() << "row " << number++);
        EXPECT_EQ(state.current, r.to);
        EXPECT_EQ(state.blank, r.blank);
        EXPECT_EQ(state.go_to_active != 0, r.typing);
        EXPECT_EQ(state.show_extra ? state.extra_index : none, r.listing);
        EXPECT_EQ(state.quit != 0, r.quit);
    }
}

TEST(PresenterKeys, BlanksCoverTheWholeModeAndNothingIsDrawnWhileANumberIsTyped) {
    struct setup {
        scale_mode scale;
        screen_geometry geometry;
    };
    const setup setups[] = {
        {scale_fill, {1366, 768, 1376, PixelBlueGreenRedReserved8BitPerColor}},
        {scale_whole, {1366, 768, 0, PixelBltOnly}},
        {scale_off, {800, 600, 0, PixelRedGreenBlueReserved8BitPerColor}},
    };
    for (const setup &s : setups) {
        const image_options presenter = {s.scale, 1};
        fake_firmware firmware(s.geometry);
        const uint32_t width = s.geometry.width, height = s.geometry.height;
        ASSERT_EQ(firmware.run({key(u'j'), key(u'b'), scan_key(SCAN_PAGE_DOWN), key(u'w'),
                                scan_key(SCAN_ESC), key(u'1'), key(u'g'), key(u'1'), key(u'2'),
                                key(u'\r'), key(u'q')},
                               presenter),
                  EFI_SUCCESS);
        ASSERT_EQ(firmware.screen_at_key.size(), 11u);

        expected_screen first(width, height);
        paint_black_border(first, s.scale);
        paint_scaled(first, s.scale, 0);
        // After a blank: black all round the slide, even in a 1:1 mode.
        auto after_blank = [&](int slide) {
            expected_screen screen(width, height);
            screen.pixels.assign(screen.pixels.size(), 0);
            paint_scaled(screen, s.scale, slide);
            return screen;
        };
        expected_screen black(width, height), white(width, height);
        black.pixels.assign(black.pixels.size(), 0);
        white.pixels.assign(white.pixels.size(), 0x00FFFFFF);
        expected_screen with_listing = after_blank(1);
        paint_scaled(with_listing, s.scale, listing_0);

        const expected_screen *expected[] = {
            &first, nullptr, &black, nullptr, &white, nullptr,
            // g and the digits leave the listing on the screen.
            &with_listing, &with_listing, &with_listing, &with_listing, nullptr};
        const expected_screen slide_1 = after_blank(1), slide_11 = after_blank(11);
        expected[3] = &slide_1;
        expected[5] = &slide_1;
        expected[10] = &slide_11;
        for (size_t i = 0; i < 11; ++i) {
            if (!expected[i]) continue;
            ASSERT_TRUE(same_screen(firmware.screen_at_key[i], *expected[i]))
                << "scale " << s.scale << ", when key " << i << " was read";
        }
    }
}

}  // namespace
