// The presentation: the entry point, its key-driven loop, and the copy of
// one picture into the framebuffer. Also the fixed-width number formatters.
#include "BOOTX64.h"

#include "copy.h"
#include "img.h"
#include "lz4_block.h"
#include "options.h"
#include "scale.h"

#define LISTING(name, width, height) extern "C" const uint8_t PICTURE_START(name)[];
#include "pictures.inc"

namespace {

// Watchdog codes up to 0xFFFF belong to the firmware.
constexpr uint64_t watchdog_code = 0x10000;

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

// After a blank, black again everywhere but where the picture goes: the
// scaled area, or in a mode drawn 1:1 the slide's corner.
void clear_around_picture_area(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, scale_mode scale) {
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = gop->Mode->Info;
    const uint32_t width = info->HorizontalResolution, height = info->VerticalResolution;
    const scaled_area area = scaled_area_for(scale, width, height);
    if (area.width != 0)
        clear_around(gop, area.left, area.top, area.width, area.height);
    else
        clear_around(gop, 0, 0, smaller(width, build_options.slide_width),
                     smaller(height, build_options.slide_height));
}

// The raw pixels of PICTURE (numbered as the slides, then the listings):
// its own bytes, or in an image that stores it as an LZ4 block, the block
// decoded into the buffer; nullptr when the block does not decode to
// exactly width x height x 4 bytes.
const uint8_t *picture_pixels(const img_entry *entry, int32_t picture) {
    const compressed_pictures *compressed = build_options.compressed;
    if (compressed == nullptr) return entry->pixels;
    const size_t size = (size_t)entry->width * entry->height * 4;
    const picture_block &block = compressed->blocks[picture];
    if (size > compressed->buffer_size ||
        !lz4_decode(block.start, (size_t)(block.end - block.start), compressed->buffer, size))
        return nullptr;
    return compressed->buffer;
}

}  // namespace

// The listings of the keys 1 and 2, from the build's picture list.
// Initialised data like img, so the built image shows the sizes the
// viewer will hand to blt.
extern const img_entry extra_img[2] = {
#define LISTING(name, width, height) {width, height, PICTURE_START(name)},
#include "pictures.inc"
};

void handle_key(presentation *state, CHAR16 key, int32_t slide_count) {
    const int32_t last_slide = slide_count - 1;
    switch (key) {
    case u'j':
        if (state->current <= last_slide - 1) state->current += 1;
        break;
    case u'k':
        if (state->current > 0) state->current -= 1;
        break;
    case u'J':
        if (state->current <= last_slide - 1) state->current += 10;
        if (state->current > last_slide) state->current = last_slide;
        break;
    case u'K':
        if (state->current > 0) state->current -= 10;
        if (state->current < 0) state->current = 0;
        break;
    case u'h':
        state->current = 0;
        break;
    case u'l':
        state->current = last_slide;
        break;
    case u'1':
        state->show_extra = 1;
        state->extra_index = 0;
        break;
    case u'2':
        state->show_extra = 1;
        state->extra_index = 1;
        break;
    case u'q':
        state->quit = 1;
        break;
    default:
        break;
    }
}

void handle_input(presentation *state, EFI_INPUT_KEY key, int32_t slide_count,
                  uint32_t presenter_keys) {
    const CHAR16 character = key.UnicodeChar;
    if (!presenter_keys) {
        handle_key(state, character, slide_count);
        return;
    }
    // A remote's "next" pressed in the dark must not skip a slide.
    if (state->blank != blank_none) {
        state->blank = blank_none;
        state->blank_ended = 1;
        return;
    }
    const bool digit = key.ScanCode == 0 && character >= u'0' && character <= u'9';
    if (state->go_to_active) {
        if (digit && state->go_to_digits < 4) {
            state->go_to_number = state->go_to_number * 10 + (character - u'0');
            state->go_to_digits += 1;
            return;
        }
        state->go_to_active = 0;
        if (digit) return;  // a fifth digit
        if (key.ScanCode == 0 && character == u'\r') {
            const int32_t number = state->go_to_number;
            if (number > 0) state->current = (number < slide_count ? number : slide_count) - 1;
            return;
        }
    }
    switch (key.ScanCode) {
    case 0:
        break;
    case SCAN_PAGE_DOWN:
    case SCAN_RIGHT:
    case SCAN_DOWN:
        handle_key(state, u'j', slide_count);
        return;
    case SCAN_PAGE_UP:
    case SCAN_LEFT:
    case SCAN_UP:
        handle_key(state, u'k', slide_count);
        return;
    case SCAN_HOME:
        handle_key(state, u'h', slide_count);
        return;
    case SCAN_END:
        handle_key(state, u'l', slide_count);
        return;
    default:
        return;  // Esc and F5 from a remote's slideshow button, and the rest
    }
    switch (character) {
    case u'n':
    case u' ':
    case u'\r':
        handle_key(state, u'j', slide_count);
        break;
    case u'p':
    case 0x0008:  // Backspace
        handle_key(state, u'k', slide_count);
        break;
    case u'b':
    case u'.':
        state->blank = blank_black;
        break;
    case u'w':
    case u',':
        state->blank = blank_white;
        break;
    case u'g':
        state->go_to_active = 1;
        state->go_to_digits = 0;
        state->go_to_number = 0;
        break;
    default:
        handle_key(state, character, slide_count);
        break;
    }
}

void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
         uint32_t height) {
    const scale_mode scale = build_options.slide_scale;
    if (scale != scale_off && scaled_blt(gop, pixels, width, height, scale)) return;
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *mode = gop->Mode;
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = mode->Info;
    const uint32_t rows = smaller(height, info->VerticalResolution);
    const uint32_t columns = smaller(width, info->HorizontalResolution);
    if (rows == 0 || columns == 0) return;

    const size_t source_stride = (size_t)width * 4;
    if (info->PixelFormat == PixelBlueGreenRedReserved8BitPerColor && mode->FrameBufferBase != 0) {
        // The stored pixel order is the screen's: copy the rows straight in.
        uint8_t *screen_row = (uint8_t *)(uintptr_t)mode->FrameBufferBase;
        const size_t screen_stride = (size_t)info->PixelsPerScanLine * 4;
        for (uint32_t y = 0; y < rows; ++y) {
            copy_bytes(screen_row, pixels, (size_t)columns * 4);
            screen_row += screen_stride;
            pixels += source_stride;
        }
        return;
    }
    // Any other layout, or no linear framebuffer at all: the stored pixel is
    // exactly the protocol's blt pixel, so the firmware converts it for us.
    gop->Blt(gop, (EFI_GRAPHICS_OUTPUT_BLT_PIXEL *)pixels, EfiBltBufferToVideo, 0, 0, 0, 0,
             columns, rows, source_stride);
}

bool better_mode(screen_mode_choice choice, uint32_t width, uint32_t height, uint32_t best_width,
                 uint32_t best_height) {
    if (choice == screen_slide) {
        const uint32_t slide_width = build_options.slide_width;
        const uint32_t slide_height = build_options.slide_height;
        const bool fits = width == slide_width && height == slide_height;
        const bool best_fits = best_width == slide_width && best_height == slide_height;
        if (fits != best_fits) return fits;
        if (fits) return false;
    }
    return (uint64_t)width * height > (uint64_t)best_width * best_height;
}

void set_screen_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, EFI_BOOT_SERVICES *boot,
                     screen_mode_choice choice) {
    if (choice == screen_keep || gop->QueryMode == nullptr || gop->SetMode == nullptr) return;
    bool found = false;
    uint32_t best = 0, best_width = 0, best_height = 0;
    for (uint32_t number = 0; number < gop->Mode->MaxMode; ++number) {
        UINTN size = 0;
        EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = nullptr;
        if (EFI_ERROR(gop->QueryMode(gop, number, &size, &info)) || info == nullptr) continue;
        // A record too short to hold the resolution is not read.
        const bool described = size >= offsetof(EFI_GRAPHICS_OUTPUT_MODE_INFORMATION, PixelFormat);
        const uint32_t width = described ? info->HorizontalResolution : 0;
        const uint32_t height = described ? info->VerticalResolution : 0;
        if (boot->FreePool) boot->FreePool(info);
        if (!described) continue;
        if (!found || better_mode(choice, width, height, best_width, best_height)) {
            found = true;
            best = number, best_width = width, best_height = height;
        }
    }
    if (found && best != gop->Mode->Mode) gop->SetMode(gop, best);
}

// Nothing in the viewer calls the formatters; `used` tells the linker to
// keep them in the image all the same.
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

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable) {
    (void)ImageHandle;
    EFI_GUID gop_guid = EFI_GRAPHICS_OUTPUT_PROTOCOL_GUID;
    presentation state = {};

    // Without a keyboard, a screen or its geometry there is nothing to show
    // on: hand the firmware an error before touching anything.
    if (SystemTable == nullptr || SystemTable->BootServices == nullptr ||
        SystemTable->ConIn == nullptr)
        return EFI_UNSUPPORTED;
    EFI_BOOT_SERVICES *boot = SystemTable->BootServices;
    EFI_SIMPLE_TEXT_INPUT_PROTOCOL *input = SystemTable->ConIn;

    EFI_GRAPHICS_OUTPUT_PROTOCOL *gop = nullptr;
    EFI_STATUS status = boot->LocateProtocol(&gop_guid, nullptr, (void **)&gop);
    if (EFI_ERROR(status)) return status;
    if (gop == nullptr || gop->Mode == nullptr || gop->Mode->Info == nullptr)
        return EFI_UNSUPPORTED;

    // The boot manager arms a five-minute watchdog before it starts a boot
    // option; a talk lasts longer. If the call fails the talk goes on anyway.
    boot->SetWatchdogTimer(0, watchdog_code, 0, nullptr);
    set_screen_mode(gop, boot, build_options.screen_mode);
    if (gop->Mode == nullptr || gop->Mode->Info == nullptr) return EFI_DEVICE_ERROR;
    if (build_options.slide_scale != scale_off)
        clear_around_scaled_area(gop, build_options.slide_scale);

    while (!state.quit) {
        if (state.blank != blank_none) {
            fill_screen(gop, state.blank == blank_white ? 0x00FFFFFF : 0);
        } else if (!state.go_to_active) {
            // While a slide number is typed the audience sees no change.
            if (state.blank_ended) {
                // The blank covered the border too: black again around the
                // slide, which covers the rest.
                state.blank_ended = 0;
                clear_around_picture_area(gop, build_options.slide_scale);
            }
            const img_entry *shown = &img[state.current];
            int32_t picture = state.current;
            if (state.show_extra) {
                state.show_extra = 0;
                shown = &extra_img[state.extra_index];
                picture = img_count + state.extra_index;
            }
            // Decoded afresh for each key; a block that fails to decode is
            // not drawn, and the screen keeps what it showed.
            const uint8_t *pixels = picture_pixels(shown, picture);
            if (pixels != nullptr) blt(gop, pixels, shown->width, shown->height);
        }

        EFI_INPUT_KEY key;
        while (input->ReadKeyStroke(input, &key) != EFI_SUCCESS) {
            // No key yet, or a device error: ask again at once.
        }
        handle_input(&state, key, img_count, build_options.presenter_keys);
    }
    return EFI_SUCCESS;
}
