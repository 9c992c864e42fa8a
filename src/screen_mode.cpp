// The graphics mode the talk is shown in: kept, or chosen among the modes
// the firmware lists.
#include "screen_mode.h"

#include "sets.h"

namespace {

// Whether a mode of width x height has the size of a slide the image holds.
bool slide_sized(const image_options &options, uint32_t width, uint32_t height) {
    if (options.sets != nullptr) return set_of_size(options.sets, options.set_count, width, height);
    return width == options.slide_width && height == options.slide_height;
}

}  // namespace

bool better_mode(const image_options &options, uint32_t width, uint32_t height,
                 uint32_t best_width, uint32_t best_height) {
    if (options.screen_mode == screen_slide) {
        // Of the modes of a slide's size, the largest (with one slide size,
        // the first).
        const bool fits = slide_sized(options, width, height);
        const bool best_fits = slide_sized(options, best_width, best_height);
        if (fits != best_fits) return fits;
    }
    return (uint64_t)width * height > (uint64_t)best_width * best_height;
}

void set_screen_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, EFI_BOOT_SERVICES *boot,
                     const image_options &options) {
    if (options.screen_mode == screen_keep || gop->QueryMode == nullptr || gop->SetMode == nullptr) return;
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
        if (!found || better_mode(options, width, height, best_width, best_height)) {
            found = true;
            best = number, best_width = width, best_height = height;
        }
    }
    if (found && best != gop->Mode->Mode) gop->SetMode(gop, best);
}
