// The screen writer: rows, fills and borders onto one graphics output.
#include "screen.h"

#include "copy.h"

alignas(8) uint32_t band[band_pixels];

namespace {

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace

screen_output output_of(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop) {
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *mode = gop->Mode;
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = mode->Info;
    // The stored pixel order is the screen's only in this format.
    const bool direct =
        info->PixelFormat == PixelBlueGreenRedReserved8BitPerColor && mode->FrameBufferBase != 0;
    return {gop, info->HorizontalResolution, info->VerticalResolution,
            direct ? (uint8_t *)(uintptr_t)mode->FrameBufferBase : nullptr,
            (size_t)info->PixelsPerScanLine * 4};
}

void write_rows(const screen_output &out, uint32_t left, uint32_t top, const uint8_t *pixels,
                uint32_t columns, uint32_t rows, size_t stride) {
    if (columns == 0 || rows == 0) return;
    if (out.framebuffer != nullptr) {
        uint8_t *screen_row = out.framebuffer + top * out.pitch + (size_t)left * 4;
        for (uint32_t y = 0; y < rows; ++y, screen_row += out.pitch, pixels += stride)
            copy_bytes(screen_row, pixels, (size_t)columns * 4);
        return;
    }
    out.gop->Blt(out.gop, (EFI_GRAPHICS_OUTPUT_BLT_PIXEL *)pixels, EfiBltBufferToVideo, 0, 0, left,
                 top, columns, rows, stride);
}

void fill_rect(const screen_output &out, screen_rect rect, uint32_t colour) {
    if (rect.width == 0 || rect.height == 0) return;
    // Wider than the band (only a mode drawn 1:1 can be): in strips of its
    // width. Directly every row comes from the band's first; through Blt
    // a call takes as many rows as the band holds.
    const bool direct = out.framebuffer != nullptr;
    const uint32_t widest_strip = smaller(band_pixels, rect.width);
    const uint32_t rows_a_call = direct ? 1 : band_pixels / widest_strip;
    for (uint32_t i = 0; i < widest_strip * rows_a_call; ++i) band[i] = colour;
    for (uint32_t done = 0; done < rect.width; done += band_pixels) {
        const uint32_t strip = smaller(band_pixels, rect.width - done);
        for (uint32_t y = 0; y < rect.height; y += rows_a_call)
            write_rows(out, rect.left + done, rect.top + y, (const uint8_t *)band, strip,
                       smaller(rows_a_call, rect.height - y), direct ? 0 : (size_t)strip * 4);
    }
}

void fill_screen(const screen_output &out, uint32_t colour) {
    fill_rect(out, {0, 0, out.width, out.height}, colour);
}

void clear_around(const screen_output &out, screen_rect area) {
    const uint32_t right = area.left + area.width, bottom = area.top + area.height;
    fill_rect(out, {0, 0, out.width, area.top}, 0);
    fill_rect(out, {0, area.top, area.left, area.height}, 0);
    fill_rect(out, {right, area.top, out.width - right, area.height}, 0);
    fill_rect(out, {0, bottom, out.width, out.height - bottom}, 0);
}
