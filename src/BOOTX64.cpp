// The presentation: the entry point, its key-driven loop, and the copy of
// one picture into the framebuffer. Also the fixed-width number formatters.
#include "BOOTX64.h"

#include "console.h"
#include "draw.h"
#include "img.h"
#include "outputs.h"
#include "overview.h"
#include "pictures.h"
#include "screen.h"
#include "screen_mode.h"

#define LISTING(name, width, height) extern "C" const uint8_t PICTURE_START(name)[];
#include "pictures.inc"

namespace {

// Watchdog codes up to 0xFFFF belong to the firmware.
constexpr uint64_t watchdog_code = 0x10000;

// How often a console's wait for a key wakes to look at the clock, in the
// timer's 100 ns units.
constexpr uint64_t quarter_second = 2500000;

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

// One pass of the talk on every screen but the console: the blank, or
// the slide or listing the state asks for.
void draw_talk(const screen *screens, uint32_t screen_count, const console_state &console,
               const image_options &options, const presentation &state) {
    if (state.blank != blank_none) {
        for (uint32_t i = 0; i < screen_count; ++i)
            if (!is_console(console, i))
                fill_screen(screens[i].output, state.blank == blank_white ? 0x00FFFFFF : 0);
        return;
    }
    // While a slide number is typed the audience sees no change.
    if (state.go_to_active) return;
    if (state.blank_ended) {
        // The blank covered the border too: black again around the slide,
        // which covers the rest.
        for (uint32_t i = 0; i < screen_count; ++i)
            if (!is_console(console, i)) clear_around_picture(screens[i]);
    }
    const int32_t picture = state.show_extra ? img_count + state.extra_index : state.current;
    // Decoded afresh for each key, once for the screens that show the same
    // set; a block that fails to decode is not drawn, and the screen keeps
    // what it showed.
    const uint8_t *pixels = nullptr;
    const picture_set *decoded = nullptr;
    for (uint32_t i = 0; i < screen_count; ++i) {
        if (is_console(console, i)) continue;
        const picture_set &set = screens[i].set;
        if (decoded == nullptr || set.slides != decoded->slides) {
            pixels = picture_pixels(options, set, picture);
            decoded = &set;
        }
        const img_entry *shown = picture_entry(set, picture);
        if (pixels != nullptr) draw_picture(screens[i], pixels, shown->width, shown->height);
    }
}

}  // namespace

// The listings of the keys 1 and 2, from the build's picture list.
// Initialised data like img, so the built image shows the sizes the
// viewer will hand to blt.
extern const img_entry extra_img[2] = {
#define LISTING(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
         uint32_t height) {
    const screen_output out = output_of(gop);
    const uint32_t rows = smaller(height, out.height);
    const uint32_t columns = smaller(width, out.width);
    write_rows(out, 0, 0, pixels, columns, rows, (size_t)width * 4);
}

// Only the presenter console calls int_to_ascii, and nothing calls
// int_to_ascii_hex; `used` tells the linker to keep both in every image.
__attribute__((used)) CHAR16 *int_to_ascii(int64_t value, uint8_t digits, CHAR16 *buffer) {
    // Work on the unsigned magnitude: negating the most negative value
    // would overflow, while 0 - (uint64_t)value is its exact magnitude.
    uint64_t magnitude = (uint64_t)value;
    CHAR16 *out = buffer;
    if (value < 0) {
        *out++ = u'-';
        magnitude = 0 - magnitude;
    }
    for (int position = digits - 1; position >= 0; --position) {
        out[position] = (CHAR16)(u'0' + magnitude % 10);
        magnitude /= 10;
    }
    out[digits] = 0;
    return buffer;
}

__attribute__((used)) CHAR16 *int_to_ascii_hex(uint64_t value, uint8_t digits, CHAR16 *buffer) {
    for (int position = digits - 1; position >= 0; --position) {
        const unsigned nibble = value & 0xF;
        buffer[position] = (CHAR16)(nibble <= 9 ? u'0' + nibble : u'A' + (nibble - 10));
        value >>= 4;
    }
    buffer[digits] = 0;
    return buffer;
}

EFI_STATUS present(EFI_SYSTEM_TABLE *system, const image_options &options) {
    EFI_GUID gop_guid = EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID;
    presentation state = {};

    // Without a keyboard, a screen or its geometry there is nothing to show
    // on: hand the firmware an error before touching anything.
    if (system == nullptr || system->BootServices == nullptr || system->ConIn == nullptr)
        return EFI_UNSUPPORTED;
    EFI_BOOT_SERVICES *boot = system->BootServices;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL *input = system->ConIn;

    EFI_GRAPHICS_OUTPUT_PROTOCOL *gop = nullptr;
    EFI_STATUS status = boot->LocateProtocol(&gop_guid, nullptr, (void **)&gop);
    if (EFI_ERROR(status)) return status;
    if (gop == nullptr || gop->Mode == nullptr || gop->Mode->Info == nullptr)
        return EFI_UNSUPPORTED;

    // The boot manager arms a five-minute watchdog before it starts a boot
    // option; a talk lasts longer. If the call fails the talk goes on anyway.
    boot->SetWatchdogTimer(0, watchdog_code, 0, nullptr);

    // Each screen in its own mode, with its own scaling; one whose mode
    // cannot be used is left out, and the talk goes on on the others.
    EFI_GRAPHICS_OUTPUT_PROTOCOL *outputs[max_screens];
    const uint32_t output_count = find_outputs(boot, gop, options, outputs);
    screen screens[max_screens];
    uint32_t screen_count = 0;
    for (uint32_t i = 0; i < output_count; ++i) {
        EFI_GRAPHICS_OUTPUT_PROTOCOL *output = outputs[i];
        if (output->Mode == nullptr || output->Mode->Info == nullptr) continue;
        set_screen_mode(output, boot, options);
        if (output->Mode == nullptr || output->Mode->Info == nullptr) continue;
        screens[screen_count++] = screen_for(output, options);
    }
    if (screen_count == 0) return EFI_DEVICE_ERROR;

    // With a console, the first screen shows it, and the wait for a key
    // wakes each quarter second to keep its timer and clock current.
    console_state console = {};
    console.shown = options.screens == screens_presenter && screen_count >= 2 &&
                    options.faces != nullptr && options.face_count > 0;
    // Without the timer the console still shows, its times drawn at keys.
    EFI_EVENT tick = nullptr;
    if (console.shown && input->WaitForKey != nullptr && boot->CreateEvent != nullptr &&
        boot->SetTimer != nullptr && boot->WaitForEvent != nullptr) {
        if (EFI_ERROR(boot->CreateEvent(EVT_TIMER, 0, nullptr, nullptr, &tick))) {
            tick = nullptr;
        } else if (EFI_ERROR(boot->SetTimer(tick, TimerPeriodic, quarter_second))) {
            if (boot->CloseEvent) boot->CloseEvent(tick);
            tick = nullptr;
        }
    }
    if (console.shown) read_time(system, &console);

    for (uint32_t i = 0; i < screen_count; ++i)
        if (!is_console(console, i)) clear_around_area(screens[i]);

    overview_state overview = {};
    bool redraw = true;
    while (!state.quit) {
        if (redraw) {
            draw_talk(screens, screen_count, console, options, state);
            if (console.shown) draw_console(screens[console.screen], options, state, &console);
            state.show_extra = 0;
            state.blank_ended = 0;
        }
        redraw = true;

        EFI_INPUT_KEY key;
        while (input->ReadKeyStroke(input, &key) != EFI_SUCCESS) {
            // No key yet, or a device error: ask again at once; with a
            // console, wait for the key or the next tick.
            if (tick == nullptr) continue;
            EFI_EVENT events[2] = {input->WaitForKey, tick};
            UINTN index = 0;
            if (EFI_ERROR(boot->WaitForEvent(2, events, &index)) || index != 1) continue;
            if (read_time(system, &console) && !overview.open)
                draw_console_times(screens[console.screen], options, console);
        }
        const int32_t before = state.current;
        // The console's own keys; not while the overview is open on it.
        const uint32_t console_action =
            console.shown && !overview.open ? console_key(&console, key, screen_count)
                                            : console_key_none;
        if (console_action == console_key_timer) {
            draw_console_times(screens[console.screen], options, console);
            redraw = false;
            continue;
        }
        if (console_action == console_key_swapped) {
            // The screen the console left shows the talk again, black
            // round the slide.
            for (uint32_t i = 0; i < screen_count; ++i)
                if (!is_console(console, i)) clear_around_picture(screens[i]);
            continue;
        }
        // The overview, on the console alone or on every screen; not while
        // the screen is blank or a slide number is typed.
        const screen &first_overview_screen = screens[console.shown ? console.screen : 0];
        const overview_pages *pages = first_overview_screen.set.overview;
        const int32_t selected = overview.selected;
        const uint32_t overview_action =
            options.presenter_keys && pages != nullptr && state.blank == blank_none &&
                    !state.go_to_active
                ? overview_key(&overview, &state, key, img_count, pages->grid)
                : overview_not_mine;
        if (overview_action == overview_not_mine) {
            handle_input(&state, key, img_count, options.presenter_keys);
        } else if (overview_action == overview_opened || overview_action == overview_moved) {
            for (uint32_t i = 0; i < screen_count; ++i) {
                if (console.shown && !is_console(console, i)) continue;
                const overview_pages *own = screens[i].set.overview;
                if (own == nullptr) continue;
                const uint32_t page = own->grid.columns * own->grid.rows;
                if (overview_action == overview_moved &&
                    selected / (int32_t)page == overview.selected / (int32_t)page)
                    move_overview_frame(screens[i], own->grid, selected, overview.selected);
                else
                    draw_overview(screens[i], options, overview);
            }
            redraw = false;
        } else if (overview_action == overview_unchanged) {
            redraw = false;
        } else if (overview_action == overview_closed) {
            console.laid_out = false;  // the console is drawn anew over the overview
        }
        if (console.shown && state.current != before) start_timer(&console.timer, console.now);
    }
    if (tick != nullptr && boot->CloseEvent) boot->CloseEvent(tick);
    return EFI_SUCCESS;
}

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
    (void)ImageHandle;
    return present(SystemTable, build_options);
}
