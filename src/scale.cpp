// Scaled drawing. Each scaled row is built once in a buffer in ordinary
// memory and written whole to every screen row it covers (the first one
// while it is built, when that row is 8-byte aligned), so the framebuffer
// is only ever written, in aligned 8-byte stores, and never read back (on
// real machines it is often uncached). Modes
// without a blue-green-red linear framebuffer get the same rows through
// the firmware's Blt, a band of rows per call.
#include "scale.h"

#include "copy.h"

namespace {

// The row buffer: one scaled row for the direct path, a band of rows for
// Blt, and one colour for clearing and blanking. 256 KiB in .bss: eight
// rows of the widest mode, more of narrower ones. Static because the firmware promises only
// 128 KiB of stack and the image has no heap.
constexpr uint32_t buffer_pixels = widest_scaled_mode * 8;
alignas(8) uint32_t row_buffer[buffer_pixels];

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

bool writes_directly(const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *mode) {
    return mode->Info->PixelFormat == PixelBlueGreenRedReserved8BitPerColor &&
           mode->FrameBufferBase != 0;
}

// Walks screen positions d = 0, 1, 2, ... of an area `area` long and gives
// the picture position floor((2d + 1) * source / (2 * area)) each shows:
// the nearest by pixel centres. With area >= source the index moves by at
// most one per step, so a running remainder replaces the division.
struct nearest_walk {
    uint32_t index;
    uint32_t remainder;  // (2d + 1) * source mod (2 * area)
    uint32_t step;       // 2 * source
    uint32_t limit;      // 2 * area
};

nearest_walk start_walk(uint32_t source, uint32_t area) {
    return {0, source, 2 * source, 2 * area};
}

void advance(nearest_walk *walk) {
    walk->remainder += walk->step;
    if (walk->remainder >= walk->limit) {
        walk->remainder -= walk->limit;
        walk->index += 1;
    }
}

// How many screen positions of an area `area` long show one of the first
// `count` of `source` picture positions: the d with (2d + 1) * source <
// 2 * count * area.
uint32_t covered(uint32_t count, uint32_t source, uint32_t area) {
    if (count == 0) return 0;
    const uint64_t odd_limit = ((uint64_t)2 * count * area - 1) / source;  // largest 2d + 1
    return smaller((uint32_t)((odd_limit + 1) / 2), area);
}

// The picture columns each pair of screen columns of the scaled area
// shows, the left one in the low 16 bits: worked out once per picture
// drawn, so a row costs one table load per two pixels. 16 KiB in .bss.
uint32_t column_pairs[widest_scaled_mode / 2];

void map_columns(uint32_t columns, uint32_t area_width) {
    nearest_walk walk = start_walk(picture_area_width, area_width);
    for (uint32_t x = 0; x < columns; ++x, advance(&walk)) {
        if (x % 2 == 0)
            column_pairs[x / 2] = walk.index;
        else
            column_pairs[x / 2] |= walk.index << 16;
    }
}

// Picture rows start 4-byte aligned (pictures are linked in 16-byte
// aligned, pixels are 4 bytes), so a pixel is one aligned load, even where
// the compiler may make no unaligned access.
uint64_t picture_pixel(const uint8_t *row, uint32_t column) {
    return *(const aligned_u32 *)(row + (size_t)column * 4);
}

// Builds `columns` screen pixels of one scaled row from a picture row, two
// pixels to a store, into `out` and, when `screen` is not null, into that
// 8-byte aligned framebuffer row as well: the first screen row a picture
// row covers is written while the row is built.
void scale_row(uint32_t *out, const uint8_t *row, uint32_t columns, uint8_t *screen) {
    aligned_u64 *pairs = (aligned_u64 *)out;
    const uint32_t pair_count = columns / 2;
    if (screen) {
        aligned_u64 *screen_pairs = (aligned_u64 *)screen;
        for (uint32_t i = 0; i < pair_count; ++i) {
            const uint32_t source = column_pairs[i];
            const uint64_t pair =
                picture_pixel(row, source & 0xFFFF) | picture_pixel(row, source >> 16) << 32;
            pairs[i] = pair;
            screen_pairs[i] = pair;
        }
    } else {
        for (uint32_t i = 0; i < pair_count; ++i) {
            const uint32_t source = column_pairs[i];
            pairs[i] = picture_pixel(row, source & 0xFFFF) | picture_pixel(row, source >> 16) << 32;
        }
    }
    if (columns % 2) {
        out[columns - 1] = (uint32_t)picture_pixel(row, column_pairs[pair_count]);
        if (screen) *(aligned_u32 *)(screen + (size_t)(columns - 1) * 4) = out[columns - 1];
    }
}

// Fills a screen rectangle with one colour from rows of the buffer filled
// with it: straight into a linear framebuffer, or through Blt. The buffer
// must hold `colour` in its first min(width, buffer_pixels) pixels.
void fill_from_buffer(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, uint32_t left, uint32_t top,
                      uint32_t width, uint32_t height) {
    if (width == 0 || height == 0) return;
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *mode = gop->Mode;
    // Wider than the buffer (only a 1:1 mode can be): in strips of its width.
    for (uint32_t done = 0; done < width; done += buffer_pixels) {
        const uint32_t strip = smaller(buffer_pixels, width - done);
        if (writes_directly(mode)) {
            const size_t pitch = (size_t)mode->Info->PixelsPerScanLine * 4;
            uint8_t *row = (uint8_t *)(uintptr_t)mode->FrameBufferBase + top * pitch +
                           (size_t)(left + done) * 4;
            for (uint32_t y = 0; y < height; ++y, row += pitch)
                copy_bytes(row, row_buffer, (size_t)strip * 4);
            continue;
        }
        const uint32_t band = buffer_pixels / strip;
        for (uint32_t rows = 0; rows < height; rows += band)
            gop->Blt(gop, (EFI_GRAPHICS_OUTPUT_BLT_PIXEL *)row_buffer, EfiBltBufferToVideo, 0, 0,
                     left + done, top + rows, strip, smaller(band, height - rows),
                     (UINTN)strip * 4);
    }
}

void fill_buffer(uint32_t colour) {
    for (uint32_t i = 0; i < buffer_pixels; ++i) row_buffer[i] = colour;
}

}  // namespace

scaled_area scaled_area_for(scale_mode scale, uint32_t screen_width, uint32_t screen_height) {
    const scaled_area one_to_one = {0, 0, 0, 0};
    if (scale != scale_whole && scale != scale_fill) return one_to_one;
    if (screen_width < picture_area_width || screen_height < picture_area_height ||
        screen_width > widest_scaled_mode)
        return one_to_one;
    uint32_t width, height;
    if (scale == scale_whole) {
        const uint32_t factor = smaller(screen_width / picture_area_width,
                                        screen_height / picture_area_height);
        width = picture_area_width * factor;
        height = picture_area_height * factor;
    } else if ((uint64_t)screen_width * 3 >= (uint64_t)screen_height * 4) {
        height = screen_height;
        width = (uint32_t)((uint64_t)screen_height * 4 / 3);
    } else {
        width = screen_width;
        height = (uint32_t)((uint64_t)screen_width * 3 / 4);
    }
    return {(screen_width - width) / 2, (screen_height - height) / 2, width, height};
}

void clear_around_scaled_area(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, scale_mode scale) {
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = gop->Mode->Info;
    const uint32_t width = info->HorizontalResolution, height = info->VerticalResolution;
    const scaled_area area = scaled_area_for(scale, width, height);
    if (area.width == 0) return;
    clear_around(gop, area.left, area.top, area.width, area.height);
}

void clear_around(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, uint32_t left, uint32_t top, uint32_t width,
                  uint32_t height) {
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = gop->Mode->Info;
    const uint32_t screen_width = info->HorizontalResolution;
    const uint32_t screen_height = info->VerticalResolution;
    fill_buffer(0);
    const uint32_t right = left + width, bottom = top + height;
    fill_from_buffer(gop, 0, 0, screen_width, top);
    fill_from_buffer(gop, 0, top, left, height);
    fill_from_buffer(gop, right, top, screen_width - right, height);
    fill_from_buffer(gop, 0, bottom, screen_width, screen_height - bottom);
}

void fill_screen(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, uint32_t colour) {
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = gop->Mode->Info;
    fill_buffer(colour);
    fill_from_buffer(gop, 0, 0, info->HorizontalResolution, info->VerticalResolution);
}

bool scaled_blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
                uint32_t height, scale_mode scale) {
    const EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE *mode = gop->Mode;
    const EFI_GRAPHICS_OUTPUT_MODE_INFORMATION *info = mode->Info;
    const scaled_area area =
        scaled_area_for(scale, info->HorizontalResolution, info->VerticalResolution);
    if (area.width == 0) return false;
    // The screen rows and columns that show the picture; below and right
    // of them the screen keeps what the picture area had.
    const uint32_t columns =
        covered(smaller(width, picture_area_width), picture_area_width, area.width);
    const uint32_t rows =
        covered(smaller(height, picture_area_height), picture_area_height, area.height);
    if (rows == 0 || columns == 0) return true;

    const size_t source_stride = (size_t)width * 4;
    const size_t row_bytes = (size_t)columns * 4;
    map_columns(columns, area.width);
    nearest_walk walk = start_walk(picture_area_height, area.height);
    uint32_t built = ~0u;  // the picture row the buffer holds scaled

    if (writes_directly(mode)) {
        const size_t pitch = (size_t)info->PixelsPerScanLine * 4;
        uint8_t *screen_row = (uint8_t *)(uintptr_t)mode->FrameBufferBase + area.top * pitch +
                              (size_t)area.left * 4;
        for (uint32_t y = 0; y < rows; ++y, advance(&walk), screen_row += pitch) {
            if (walk.index == built) {
                copy_bytes(screen_row, row_buffer, row_bytes);
                continue;
            }
            // An aligned screen row is written as the row is built; any
            // other goes through the copy, which aligns its stores.
            const bool aligned = ((uintptr_t)screen_row & 7) == 0;
            scale_row(row_buffer, pixels + walk.index * source_stride, columns,
                      aligned ? screen_row : nullptr);
            if (!aligned) copy_bytes(screen_row, row_buffer, row_bytes);
            built = walk.index;
        }
        return true;
    }

    // Through Blt: fill a band of rows, each built once per picture row and
    // copied within the buffer for the screen rows that repeat it.
    // Rows in the band start 8-byte aligned, for the stores of pixel pairs.
    const uint32_t slot_pixels = (columns + 1) & ~1u;
    const uint32_t band = buffer_pixels / slot_pixels;
    const uint32_t *previous = nullptr;
    for (uint32_t band_top = 0; band_top < rows; band_top += band) {
        const uint32_t band_rows = smaller(band, rows - band_top);
        for (uint32_t i = 0; i < band_rows; ++i, advance(&walk)) {
            uint32_t *slot = row_buffer + (size_t)i * slot_pixels;
            if (walk.index != built) {
                scale_row(slot, pixels + walk.index * source_stride, columns, nullptr);
                built = walk.index;
            } else if (slot != previous) {
                copy_bytes(slot, previous, row_bytes);
            }
            previous = slot;
        }
        gop->Blt(gop, (EFI_GRAPHICS_OUTPUT_BLT_PIXEL *)row_buffer, EfiBltBufferToVideo, 0, 0,
                 area.left, area.top + band_top, columns, band_rows, (UINTN)slot_pixels * 4);
    }
    return true;
}
