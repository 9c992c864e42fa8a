// The real entry point run against the fake firmware: what the presenter
// sees after each keystroke, and how the application treats the firmware.
#include <gtest/gtest.h>

#include <vector>

#include "BOOTX64.h"
#include "fake_firmware.h"
#include "fake_pictures.h"
#include "screen_oracle.h"

namespace {

constexpr screen_geometry vga_640x480 = {640, 480, 0, PixelBlueGreenRedReserved8BitPerColor};

// A keystroke and the picture it must bring to the screen.
struct step {
    CHAR16 key;
    int drawn;
};

// Steps that walk from slide 0 to slide `target` with j.
std::vector<step> walk_to(int target) {
    std::vector<step> steps;
    for (int index = 1; index <= target; ++index) steps.push_back({u'j', index});
    return steps;
}

std::vector<step> then(std::vector<step> steps, std::vector<step> more) {
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

// Runs the viewer through the steps, then q, and checks the screen at
// every keystroke: slide 0 first, then each step's picture drawn over what
// was there. The screen after q must be the one the last step left.
void expect_presentation(const std::vector<step> &steps, screen_geometry geometry = vga_640x480) {
    fake_firmware firmware(geometry);
    std::vector<scripted_read> script;
    for (const step &s : steps) script.push_back(key(s.key));
    script.push_back(key(u'q'));

    ASSERT_EQ(firmware.run(script), EFI_SUCCESS);
    ASSERT_FALSE(firmware.script_ran_out) << "the viewer read past q";
    ASSERT_EQ(firmware.screen_at_key.size(), steps.size() + 1);

    expected_screen expected(geometry.width, geometry.height);
    expected.paint(0);
    for (size_t i = 0; i <= steps.size(); ++i) {
        ASSERT_TRUE(same_screen(firmware.screen_at_key[i], expected))
            << "when key " << i << " was read";
        if (i < steps.size()) expected.paint(steps[i].drawn);
    }
    EXPECT_TRUE(same_screen(firmware.screen(), expected)) << "after q";
}

TEST(Navigation, OneStepStopsAtBothEnds) {
    expect_presentation({{u'k', 0}, {u'j', 1}, {u'k', 0}, {u'k', 0}});
    constexpr int last = last_slide;
    expect_presentation({{u'l', last}, {u'j', last}, {u'k', last - 1}, {u'j', last}, {u'j', last}});
}

TEST(Navigation, TenForwardClampsToTheLastSlide) {
    constexpr int last = last_slide;
    expect_presentation(then(walk_to(last - 11), {{u'J', last - 1}}));
    expect_presentation(then(walk_to(last - 10), {{u'J', last}}));
    expect_presentation({{u'l', last}, {u'J', last}});
    // From the first slide in tens, the last step short of ten.
    std::vector<step> tens;
    for (int index = 10; index < last; index += 10) tens.push_back({u'J', index});
    expect_presentation(then(tens, {{u'J', last}, {u'J', last}}));
}

TEST(Navigation, TenBackClampsToTheFirstSlide) {
    expect_presentation(then(walk_to(15), {{u'K', 5}, {u'K', 0}, {u'K', 0}}));
    expect_presentation(then(walk_to(10), {{u'K', 0}}));
    expect_presentation({{u'K', 0}});
    std::vector<step> tens = {{u'l', last_slide}};
    for (int index = last_slide - 10; index > 0; index -= 10) tens.push_back({u'K', index});
    expect_presentation(then(tens, {{u'K', 0}}));
}

TEST(Navigation, FirstAndLastSlide) {
    constexpr int last = last_slide;
    expect_presentation({{u'l', last}, {u'l', last}, {u'h', 0}, {u'h', 0}, {u'j', 1}, {u'l', last}});
}

TEST(Navigation, UnlistedKeysOnlyRedraw) {
    // Case matters, the whole 16-bit character counts, and keys without a
    // character (arrows, function keys) are ignored.
    expect_presentation({{u'j', 1}, {u'H', 1}, {u'L', 1}, {u'Q', 1}, {u'x', 1}, {0x016A, 1},
                         {0x0171, 1}, {u'3', 1}, {u' ', 1}, {u'\r', 1}, {0, 1}});

    fake_firmware firmware(vga_640x480);
    // 0x6A and 0x71 are the codes of j and q: only UnicodeChar may count.
    const uint16_t SCAN_UP = 0x01, SCAN_RIGHT = 0x03;
    ASSERT_EQ(firmware.run({scan_key(SCAN_UP), scan_key(SCAN_RIGHT), scan_key(0x6A),
                            scan_key(0x71), key(u'q')}),
              EFI_SUCCESS);
    EXPECT_EQ(firmware.next_read, 5u) << "a scan code was taken for q";
    expected_screen expected(640, 480);
    expected.paint(0);
    for (const auto &seen : firmware.screen_at_key) EXPECT_TRUE(same_screen(seen, expected));
}

TEST(Navigation, KeyRulesHoldForEveryDeckLength) {
    // The last index is the deck's count less one; with one slide every
    // navigation key stays on it. MAX_SLIDE_COUNT is the largest deck.
    constexpr int32_t max = MAX_SLIDE_COUNT;
    struct rule {
        int32_t slides, from;
        CHAR16 key;
        int32_t to;
    };
    const rule rules[] = {
        {1, 0, u'j', 0},   {1, 0, u'k', 0},   {1, 0, u'J', 0},    {1, 0, u'K', 0},
        {1, 0, u'h', 0},   {1, 0, u'l', 0},
        {2, 0, u'j', 1},   {2, 1, u'j', 1},   {2, 1, u'k', 0},    {2, 0, u'J', 1},
        {2, 1, u'J', 1},   {2, 1, u'K', 0},   {2, 0, u'l', 1},    {2, 1, u'h', 0},
        {11, 0, u'J', 10}, {11, 9, u'J', 10}, {11, 10, u'J', 10}, {11, 10, u'j', 10},
        {11, 10, u'K', 0}, {11, 0, u'l', 10},
        {12, 0, u'J', 10}, {12, 1, u'J', 11}, {12, 2, u'J', 11},  {12, 11, u'J', 11},
        {12, 11, u'K', 1}, {12, 1, u'K', 0},  {12, 11, u'j', 11}, {12, 0, u'l', 11},
        {max, 238, u'J', 248},     {max, 239, u'J', max - 1},     {max, max - 1, u'J', max - 1},
        {max, max - 2, u'j', max - 1}, {max, max - 1, u'j', max - 1},
        {max, max - 1, u'K', max - 11}, {max, 0, u'l', max - 1},  {max, max - 1, u'h', 0},
    };
    static_assert(max == 250, "the rows for the largest deck count from 250");
    for (const rule &r : rules) {
        presentation state = {};
        state.current = r.from;
        handle_key(&state, r.key, r.slides);
        EXPECT_EQ(state.current, r.to) << (char)r.key << " from " << r.from << " of "
                                       << r.slides << " slides";
        EXPECT_FALSE(state.quit || state.show_extra);
    }
}

TEST(Listings, ShowOnceOverTheSlide) {
    expect_presentation({{u'j', 1}, {u'1', listing_0}, {u'x', 1}});
    expect_presentation({{u'2', listing_1}, {u'j', 1}, {u'2', listing_1}, {u'k', 0}});
    // A navigation key that changes nothing still takes the listing away.
    expect_presentation({{u'1', listing_0}, {u'k', 0}});
    expect_presentation({{u'l', last_slide}, {u'2', listing_1}, {u'j', last_slide}});
}

TEST(Listings, SecondOverFirstLeavesBandsOfBoth) {
    expect_presentation({{u'1', listing_0}, {u'2', listing_1}});
    expect_presentation({{u'2', listing_1}, {u'1', listing_0}});

    // The bands spelled out: listing 1 on rows 0-294, listing 0 on
    // 295-388, the slide on 389-479.
    fake_firmware firmware(vga_640x480);
    ASSERT_EQ(firmware.run({key(u'j'), key(u'1'), key(u'2'), key(u'q')}), EFI_SUCCESS);
    EXPECT_EQ(firmware.screen_pixel(5, 0), fake_pixel(listing_1, 5, 0));
    EXPECT_EQ(firmware.screen_pixel(5, 294), fake_pixel(listing_1, 5, 294));
    EXPECT_EQ(firmware.screen_pixel(5, 295), fake_pixel(listing_0, 5, 295));
    EXPECT_EQ(firmware.screen_pixel(5, 388), fake_pixel(listing_0, 5, 388));
    EXPECT_EQ(firmware.screen_pixel(5, 389), fake_pixel(1, 5, 389));
    EXPECT_EQ(firmware.screen_pixel(639, 479), fake_pixel(1, 639, 479));
}

TEST(Listings, QuitLeavesTheListingOnScreen) {
    fake_firmware firmware(vga_640x480);
    ASSERT_EQ(firmware.run({key(u'l'), key(u'1'), key(u'q')}), EFI_SUCCESS);
    expected_screen expected(640, 480);
    expected.paint(last_slide);
    expected.paint(listing_0);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

TEST(Presentation, LargerModeKeepsTheRestOfTheScreen) {
    expect_presentation({{u'j', 1}, {u'1', listing_0}, {u'l', last_slide}},
                        {1280, 800, 0, PixelBlueGreenRedReserved8BitPerColor});
}

TEST(Presentation, RedBlueModeShowsTheRightColours) {
    expect_presentation({{u'j', 1}, {u'2', listing_1}, {u'k', 0}},
                        {800, 600, 0, PixelRedGreenBlueReserved8BitPerColor});
}

TEST(Presentation, ModeWithoutFramebufferStillShowsTheDeck) {
    expect_presentation({{u'j', 1}, {u'1', listing_0}, {u'J', 11}},
                        {1024, 768, 0, PixelBltOnly});
}

TEST(KeyWait, RetriesUntilAKeyArrives) {
    fake_firmware firmware(vga_640x480);
    const EFI_STATUS result = firmware.run({no_key_yet(), no_key_yet(), device_error(), key(u'j'),
                                            device_error(), no_key_yet(), key(u'j'), key(u'q')});
    EXPECT_EQ(result, EFI_SUCCESS);
    EXPECT_EQ(firmware.next_read, 8u) << "every scripted read must be consumed, in order";
    EXPECT_FALSE(firmware.script_ran_out);
    ASSERT_EQ(firmware.screen_at_key.size(), 3u);
    expected_screen expected(640, 480);
    expected.paint(2);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

TEST(KeyWait, KeysWaitingAtStartAreReadAsKeys) {
    // The fake has no Reset service: the viewer must not clear the input.
    fake_firmware firmware(vga_640x480);
    ASSERT_EQ(firmware.run({key(u'l'), key(u'q')}), EFI_SUCCESS);
    expected_screen expected(640, 480);
    expected.paint(last_slide);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

TEST(Firmware, LocatesTheGraphicsOutputOnceAndDisablesTheWatchdog) {
    fake_firmware firmware(vga_640x480);
    ASSERT_EQ(firmware.run({key(u'j'), key(u'j'), key(u'q')}), EFI_SUCCESS);
    EXPECT_EQ(firmware.locate_calls, 1);
    EXPECT_TRUE(firmware.locate_asked_for_gop);
    EXPECT_TRUE(firmware.locate_registration_null);
    EXPECT_EQ(firmware.watchdog_calls, 1);
    EXPECT_EQ(firmware.watchdog_timeout, 0u);
    EXPECT_GT(firmware.watchdog_code, 0xFFFFu) << "codes up to 0xFFFF belong to the firmware";
    EXPECT_TRUE(firmware.blt_calls.empty()) << "a linear BGR framebuffer is written directly";
    // Nothing that only the other screens' options need: no listing of the
    // outputs, no timer, no clock; the wait for a key is a plain poll.
    EXPECT_EQ(firmware.locate_handle_buffer_calls, 0);
    EXPECT_EQ(firmware.timer_events, 0);
    EXPECT_EQ(firmware.wait_calls, 0);
    EXPECT_EQ(firmware.get_time_calls, 0);
}

TEST(Firmware, AFailingWatchdogCallDoesNotStopTheTalk) {
    fake_firmware firmware(vga_640x480);
    firmware.watchdog_status = EFI_UNSUPPORTED;
    ASSERT_EQ(firmware.run({key(u'j'), key(u'q')}), EFI_SUCCESS);
    expected_screen expected(640, 480);
    expected.paint(1);
    EXPECT_TRUE(same_screen(firmware.screen(), expected));
}

// The cases where there is nothing to present on: the application hands
// an error back at once and leaves the screen and the keyboard alone.
void expect_refused(fake_firmware &firmware, EFI_STATUS status) {
    EXPECT_EQ(firmware.run({key(u'j'), key(u'q')}), status);
    EXPECT_EQ(firmware.next_read, 0u) << "no key may be read";
    EXPECT_EQ(firmware.watchdog_calls, 0);
    EXPECT_TRUE(firmware.blt_calls.empty());
    for (uint32_t pixel : firmware.video) ASSERT_EQ(pixel, untouched);
}

TEST(Firmware, NoGraphicsOutputReturnsTheLocateError) {
    for (EFI_STATUS status : {EFI_NOT_FOUND, EFI_DEVICE_ERROR}) {
        fake_firmware firmware(vga_640x480);
        firmware.locate_status = status;
        expect_refused(firmware, status);
    }
    // Success with no instance handed back is no graphics output either.
    fake_firmware firmware(vga_640x480);
    firmware.locate_hands_back_null = true;
    expect_refused(firmware, EFI_UNSUPPORTED);
}

TEST(Firmware, NoConsoleInputOrBootServicesIsUnsupported) {
    fake_firmware firmware(vga_640x480);
    firmware.system.ConIn = nullptr;
    expect_refused(firmware, EFI_UNSUPPORTED);

    fake_firmware without_boot_services(vga_640x480);
    without_boot_services.system.BootServices = nullptr;
    expect_refused(without_boot_services, EFI_UNSUPPORTED);
}

TEST(Firmware, GraphicsOutputWithoutModeInformationIsUnsupported) {
    fake_firmware firmware(vga_640x480);
    firmware.mode.Info = nullptr;
    expect_refused(firmware, EFI_UNSUPPORTED);

    fake_firmware without_mode(vga_640x480);
    without_mode.gop.Mode = nullptr;
    expect_refused(without_mode, EFI_UNSUPPORTED);
}

}  // namespace
