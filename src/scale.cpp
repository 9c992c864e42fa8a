// Scaling a picture to any slide size and mode. The rules, exactly, so
// that a test can compute every screen pixel on its own:
//
// The slide is SW x SH (the image's slide size), the picture
// drawn is PW x PH (a slide, or a listing: as wide, less high), the mode
// is MW x MH. Division is integer division, rounding down.
//
// 1. Where the slide goes, an area of AW x AH at (left, top):
//    - SLIDE_SCALE=off, a mode wider than 8192 or a slide wider than 8192:
//      1:1 from the top-left corner (blt): picture pixel
//      (x, y) at screen (x, y) for x < min(PW, MW), y < min(PH, MH);
//      nothing else is written.
//    - whole: k = min(MW / SW, MH / SH); with k >= 1, AW = k SW and
//      AH = k SH. With k = 0 (the slide does not fit 1:1): as fill.
//    - fill: when MW SH >= MH SW, AH = MH and AW = MH SW / SH; otherwise
//      AW = MW and AH = MW SH / SW.
//    - left = (MW - AW) / 2, top = (MH - AH) / 2. A mode of the slide's
//      own size so gets the slide 1:1 over the whole screen.
// 2. The border: every screen pixel outside the area is painted black (0)
//    before the first slide and after a blank screen (draw.cpp).
// 3. Screen pixel (left + dx, top + dy), 0 <= dx < AW, 0 <= dy < AH:
//    - Enlarging (AW >= SW, and so AH >= SH): the picture pixel (sx, sy)
//      whose centre is nearest, sx = (2 dx + 1) SW / (2 AW) and
//      sy = (2 dy + 1) SH / (2 AH); written when sx < PW and sy < PH,
//      otherwise left as it was.
//    - Reducing (AW < SW, and so AH < SH): the mean of the slide area the
//      screen pixel covers. On a common scale, screen column dx spans
//      [dx SW, (dx + 1) SW) and picture column sx spans [sx AW, (sx + 1) AW);
//      wx(dx, sx) is the length of their overlap. Rows likewise: wy(dy, sy)
//      from [dy SH, (dy + 1) SH) and [sy AH, (sy + 1) AH). The pixel is
//      written only when the area it covers lies wholly within the
//      picture, (dx + 1) SW <= PW AW and (dy + 1) SH <= PH AH (below a
//      shorter listing the screen keeps what it showed). Each of its four
//      bytes (blue, green, red, reserved) is, with S the sum over the
//      picture of wx wy times that byte and T = SW SH (the sum of the
//      weights), (2 S + T) / (2 T): the exact mean, rounded to nearest,
//      halves up.
// 4. The rows go to the screen through the screen writer (screen.h).
//
// Each scaled row is built once in the band and handed over for every
// screen row it covers. Reducing sums the picture rows a screen row covers
// into per-column sums, then the columns into pixels, all in general
// registers (two colour bytes to a 64-bit word).
#include "scale.h"

#include "copy.h"

namespace {

uint32_t smaller(uint32_t a, uint32_t b) { return a < b ? a : b; }

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

// Per picture drawn, worked out once: enlarging, the picture columns each
// pair of screen columns shows, the left one in the low 16 bits; reducing,
// for each picture column the screen column its span starts in (high 16
// bits) and how much of the span falls there (low 16 bits), the rest going
// to the next. 32 KiB in .bss.
uint32_t column_table[widest_scaled_mode];

// Set per picture drawn: the area is exactly twice the slide's width.
bool doubling = false;

void map_columns(uint32_t columns, uint32_t slide_width, uint32_t area_width) {
    doubling = area_width == 2 * slide_width;
    nearest_walk walk = start_walk(slide_width, area_width);
    for (uint32_t x = 0; x < columns; ++x, advance(&walk)) {
        if (x % 2 == 0)
            column_table[x / 2] = walk.index;
        else
            column_table[x / 2] |= walk.index << 16;
    }
}

// Picture rows start 4-byte aligned (pictures are linked in 16-byte
// aligned, pixels are 4 bytes), so a pixel is one aligned load, even where
// the compiler may make no unaligned access.
uint64_t picture_pixel(const uint8_t *row, uint32_t column) {
    return *(const aligned_u32 *)(row + (size_t)column * 4);
}

// Builds `columns` screen pixels of one enlarged row from a picture row,
// two pixels to a store, into `out` (8-byte aligned).
void scale_row(uint32_t *out, const uint8_t *row, uint32_t columns) {
    aligned_u64 *pairs = (aligned_u64 *)out;
    const uint32_t pair_count = columns / 2;
    if (doubling) {
        // Exactly twice the slide's width: screen columns 2i and 2i + 1
        // both show picture column i, so a pair is one pixel twice (the
        // table would give the same). Half the work, where 4K screens show
        // 1920x1080 slides.
        const aligned_u32 *pixels = (const aligned_u32 *)row;
        for (uint32_t i = 0; i < pair_count; ++i) {
            const uint64_t pixel = pixels[i];
            pairs[i] = pixel | pixel << 32;
        }
        return;  // the count is even
    }
    for (uint32_t i = 0; i < pair_count; ++i) {
        const uint32_t source = column_table[i];
        pairs[i] = picture_pixel(row, source & 0xFFFF) | picture_pixel(row, source >> 16) << 32;
    }
    if (columns % 2) out[columns - 1] = (uint32_t)picture_pixel(row, column_table[pair_count]);
}

// ---- Reducing ---------------------------------------------------------

uint32_t common_divisor(uint32_t a, uint32_t b) {
    while (b != 0) {
        const uint32_t rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// One axis of a reduction with the common factor of slide and area taken
// out, so the weights stay small: a picture pixel spans `source_span`, a
// screen pixel `screen_span` (> source_span) on the common scale.
struct reduction_axis {
    uint32_t source_span;
    uint32_t screen_span;
};

reduction_axis reduction_for(uint32_t slide, uint32_t area) {
    const uint32_t factor = common_divisor(slide, area);
    return {area / factor, slide / factor};
}

// The screen positions whose whole span lies within the first `count`
// picture positions.
uint32_t wholly_covered(uint32_t count, reduction_axis axis, uint32_t area) {
    return smaller((uint32_t)((uint64_t)count * axis.source_span / axis.screen_span), area);
}

// A pixel's four bytes spread over two 64-bit words with 32-bit lanes:
// blue and red, green and reserved. Weighted sums then add lane by lane.
uint64_t blue_red(uint32_t pixel) {
    return (pixel & 0xFFu) | (uint64_t)(pixel & 0xFF0000u) << 16;
}
uint64_t green_reserved(uint32_t pixel) {
    return (pixel >> 8 & 0xFFu) | (uint64_t)(pixel >> 24) << 32;
}

// The weighted sums of the picture rows the current screen row covers,
// per picture column, as blue_red and green_reserved lanes. 128 KiB in
// .bss.
uint64_t column_sums[2 * widest_scaled_mode];

void sum_rows(const uint8_t *pixels, size_t stride, uint32_t sources, reduction_axis rows,
              uint32_t screen_row) {
    const uint64_t start = (uint64_t)screen_row * rows.screen_span;
    const uint64_t end = start + rows.screen_span;
    bool first = true;
    for (uint32_t y = (uint32_t)(start / rows.source_span); (uint64_t)y * rows.source_span < end;
         ++y, first = false) {
        const uint64_t top = (uint64_t)y * rows.source_span;
        const uint64_t from = top > start ? top : start;
        const uint64_t to = top + rows.source_span < end ? top + rows.source_span : end;
        const uint64_t weight = to - from;
        const aligned_u32 *row = (const aligned_u32 *)(pixels + y * stride);
        if (first) {
            for (uint32_t x = 0; x < sources; ++x) {
                column_sums[2 * x] = weight * blue_red(row[x]);
                column_sums[2 * x + 1] = weight * green_reserved(row[x]);
            }
        } else {
            for (uint32_t x = 0; x < sources; ++x) {
                column_sums[2 * x] += weight * blue_red(row[x]);
                column_sums[2 * x + 1] += weight * green_reserved(row[x]);
            }
        }
    }
}

void map_reduced_columns(uint32_t sources, reduction_axis columns) {
    for (uint32_t x = 0; x < sources; ++x) {
        const uint64_t left = (uint64_t)x * columns.source_span;
        const uint32_t screen = (uint32_t)(left / columns.screen_span);
        const uint64_t boundary = (uint64_t)(screen + 1) * columns.screen_span;
        const uint64_t right = left + columns.source_span;
        column_table[x] = screen << 16 | (uint32_t)((right < boundary ? right : boundary) - left);
    }
}

// (2 S + T) / (2 T) for each lane, the division by a multiply: with
// m = ceil(2^64 / 2T), floor(n m / 2^64) = floor(n / 2T) for every n up to
// 511 T (S is at most 255 T), since n (m 2T - 2^64) < 511 T 2T < 2^64 for
// T below 2^26 (a slide has at most 7680 x 4320 pixels).
struct rounding_divisor {
    uint64_t total;       // T
    uint64_t reciprocal;  // m
};

rounding_divisor divisor_for(uint64_t total) {
    return {total, ~0ull / (2 * total) + 1};
}

uint32_t rounded_mean(uint64_t sum, rounding_divisor divisor) {
    const unsigned __int128 product = (unsigned __int128)(2 * sum + divisor.total) *
                                      divisor.reciprocal;
    return (uint32_t)(product >> 64);
}

// Sums of the lanes of one screen pixel: 32-bit lanes where T * 255 fits
// them (any slide up to 16.8 million pixels), four 64-bit sums otherwise.
struct lane_sums {
    uint64_t blue_red, green_reserved;
    void clear() { blue_red = green_reserved = 0; }
    void add(uint64_t weight, uint64_t br, uint64_t ga) {
        blue_red += weight * br;
        green_reserved += weight * ga;
    }
    uint32_t pixel(rounding_divisor divisor) const {
        return rounded_mean(blue_red & 0xFFFFFFFFu, divisor) |
               rounded_mean(green_reserved & 0xFFFFFFFFu, divisor) << 8 |
               rounded_mean(blue_red >> 32, divisor) << 16 |
               rounded_mean(green_reserved >> 32, divisor) << 24;
    }
};

struct wide_sums {
    uint64_t blue, green, red, reserved;
    void clear() { blue = green = red = reserved = 0; }
    void add(uint64_t weight, uint64_t br, uint64_t ga) {
        blue += weight * (br & 0xFFFFFFFFu);
        red += weight * (br >> 32);
        green += weight * (ga & 0xFFFFFFFFu);
        reserved += weight * (ga >> 32);
    }
    uint32_t pixel(rounding_divisor divisor) const {
        return rounded_mean(blue, divisor) | rounded_mean(green, divisor) << 8 |
               rounded_mean(red, divisor) << 16 | rounded_mean(reserved, divisor) << 24;
    }
};

// The same for small totals, T * 255 below 2^16 (T = 9 for 1920x1080 on
// 1280x720, 225 on 1024x576): all four bytes in 16-bit lanes of one word,
// blue, red, green, reserved from the low end, and the rounded means from a
// table of every sum S. 64 KiB in .bss.
uint64_t four_lanes(uint32_t pixel) {
    return (pixel & 0x00FF00FFu) | (uint64_t)(pixel >> 8 & 0x00FF00FFu) << 32;
}

uint8_t mean_of_sum[1 << 16];
uint64_t mean_table_total = 0;

void fill_mean_table(uint64_t total) {
    if (mean_table_total == total) return;
    for (uint64_t sum = 0; sum <= 255 * total; ++sum)
        mean_of_sum[sum] = (uint8_t)((2 * sum + total) / (2 * total));
    mean_table_total = total;
}

__attribute__((always_inline)) inline uint32_t small_mean(uint64_t sums) {
    return mean_of_sum[sums & 0xFFFF] | (uint32_t)mean_of_sum[sums >> 32 & 0xFFFF] << 8 |
           (uint32_t)mean_of_sum[sums >> 16 & 0xFFFF] << 16 |
           (uint32_t)mean_of_sum[sums >> 48] << 24;
}

// A screen row that covers at most three picture rows, in one pass: each
// picture column's weighted sum down the rows goes straight into the
// screen columns, with no column sums stored between.
template <int rows>
void reduce_row_small(uint32_t *out, const aligned_u32 *const *row, const uint64_t *weight,
                      uint32_t sources, uint32_t source_span) {
    uint64_t current = 0, next = 0;
    uint32_t screen = 0;
    for (uint32_t x = 0; x < sources; ++x) {
        uint64_t sums = weight[0] * four_lanes(row[0][x]);
        if (rows > 1) sums += weight[1] * four_lanes(row[1][x]);
        if (rows > 2) sums += weight[2] * four_lanes(row[2][x]);
        const uint32_t entry = column_table[x];
        if (entry >> 16 != screen) {
            out[screen] = small_mean(current);
            screen = entry >> 16;
            current = next;
            next = 0;
        }
        const uint64_t part = entry & 0xFFFF;
        current += part * sums;
        next += (source_span - part) * sums;
    }
    out[screen] = small_mean(current);
}

// Returns false when the screen row covers more than three picture rows.
bool reduce_row_in_one_pass(uint32_t *out, const uint8_t *pixels, size_t stride, uint32_t sources,
                            reduction_axis rows, reduction_axis columns, uint32_t screen_row) {
    const uint32_t start = screen_row * rows.screen_span, end = start + rows.screen_span;
    const aligned_u32 *row[3];
    uint64_t weight[3];
    int count = 0;
    for (uint32_t y = start / rows.source_span; y * rows.source_span < end; ++y, ++count) {
        if (count == 3) return false;
        const uint32_t top = y * rows.source_span;
        const uint32_t from = top > start ? top : start;
        const uint32_t to = top + rows.source_span < end ? top + rows.source_span : end;
        weight[count] = to - from;
        row[count] = (const aligned_u32 *)(pixels + y * stride);
    }
    if (count == 1)
        reduce_row_small<1>(out, row, weight, sources, columns.source_span);
    else if (count == 2)
        reduce_row_small<2>(out, row, weight, sources, columns.source_span);
    else
        reduce_row_small<3>(out, row, weight, sources, columns.source_span);
    return true;
}

// The screen row from the column sums: each picture column adds its part
// to the screen column its span starts in and the rest to the next.
template <typename sums>
void sum_columns(uint32_t *out, uint32_t sources, uint32_t source_span,
                 rounding_divisor divisor) {
    sums current, next;
    current.clear();
    next.clear();
    uint32_t screen = 0;
    for (uint32_t x = 0; x < sources; ++x) {
        const uint32_t entry = column_table[x];
        if (entry >> 16 != screen) {
            out[screen] = current.pixel(divisor);
            screen = entry >> 16;
            current = next;
            next.clear();
        }
        const uint64_t weight = entry & 0xFFFF;
        const uint64_t br = column_sums[2 * x], ga = column_sums[2 * x + 1];
        current.add(weight, br, ga);
        next.add(source_span - weight, br, ga);
    }
    out[screen] = current.pixel(divisor);
}

// Rows of `columns` pixels in the band, 8-byte aligned each, and how many
// go to one write.
uint32_t slot_pixels_for(uint32_t columns) { return (columns + 1) & ~1u; }

uint32_t rows_a_write(const row_sink &sink, uint32_t columns) {
    const uint32_t fit = sink.band_size / slot_pixels_for(columns);
    return smaller(sink.rows_a_write, fit) > 0 ? smaller(sink.rows_a_write, fit) : 1;
}

// The picture reduced into the area, a band of rows at a time.
void reduce(const row_sink &sink, picture_view picture, uint32_t slide_width,
            uint32_t slide_height, uint32_t area_width, uint32_t area_height) {
    const reduction_axis across = reduction_for(slide_width, area_width);
    const reduction_axis down = reduction_for(slide_height, area_height);
    const uint32_t columns = wholly_covered(picture.width, across, area_width);
    const uint32_t rows = wholly_covered(picture.height, down, area_height);
    if (columns == 0 || rows == 0) return;
    // The picture columns the drawn screen columns cover.
    const uint32_t sources = (uint32_t)(((uint64_t)columns * across.screen_span +
                                         across.source_span - 1) / across.source_span);
    map_reduced_columns(sources, across);
    const uint64_t total = (uint64_t)across.screen_span * down.screen_span;
    const rounding_divisor divisor = divisor_for(total);
    const bool small = total * 255 <= 0xFFFF;
    const bool narrow_lanes = total * 255 <= 0xFFFFFFFFu;
    if (small) fill_mean_table(total);
    const size_t stride = (size_t)picture.width * 4;

    const uint32_t slot_pixels = slot_pixels_for(columns);
    const uint32_t band = rows_a_write(sink, columns);
    for (uint32_t band_top = 0; band_top < rows; band_top += band) {
        const uint32_t band_rows = smaller(band, rows - band_top);
        for (uint32_t i = 0; i < band_rows; ++i) {
            uint32_t *slot = sink.band + (size_t)i * slot_pixels;
            // Small totals and at most three picture rows a screen row (any
            // reduction to more than half the size): one pass.
            if (small && reduce_row_in_one_pass(slot, picture.pixels, stride, sources, down,
                                                across, band_top + i))
                continue;
            sum_rows(picture.pixels, stride, sources, down, band_top + i);
            if (narrow_lanes)
                sum_columns<lane_sums>(slot, sources, across.source_span, divisor);
            else
                sum_columns<wide_sums>(slot, sources, across.source_span, divisor);
        }
        sink.write(sink.context, band_top, (const uint8_t *)sink.band, columns, band_rows,
                   (size_t)slot_pixels * 4);
    }
}

// The picture enlarged into the area: each picture row built once, and
// handed over (or copied within the band) for every screen row it covers.
void enlarge(const row_sink &sink, picture_view picture, uint32_t slide_width,
             uint32_t slide_height, uint32_t area_width, uint32_t area_height) {
    // The screen rows and columns that show the picture; below and right
    // of them the screen keeps what the slide's area had.
    const uint32_t columns =
        covered(smaller(picture.width, slide_width), slide_width, area_width);
    const uint32_t rows =
        covered(smaller(picture.height, slide_height), slide_height, area_height);
    if (rows == 0 || columns == 0) return;

    const size_t source_stride = (size_t)picture.width * 4;
    const size_t row_bytes = (size_t)columns * 4;
    map_columns(columns, slide_width, area_width);
    nearest_walk walk = start_walk(slide_height, area_height);
    uint32_t built = ~0u;  // the picture row the band's last filled slot holds

    const uint32_t slot_pixels = slot_pixels_for(columns);
    const uint32_t band = rows_a_write(sink, columns);
    const uint32_t *previous = nullptr;
    for (uint32_t band_top = 0; band_top < rows; band_top += band) {
        const uint32_t band_rows = smaller(band, rows - band_top);
        for (uint32_t i = 0; i < band_rows; ++i, advance(&walk)) {
            uint32_t *slot = sink.band + (size_t)i * slot_pixels;
            if (walk.index != built) {
                scale_row(slot, picture.pixels + walk.index * source_stride, columns);
                built = walk.index;
            } else if (slot != previous) {
                copy_bytes(slot, previous, row_bytes);
            }
            previous = slot;
        }
        sink.write(sink.context, band_top, (const uint8_t *)sink.band, columns, band_rows,
                   (size_t)slot_pixels * 4);
    }
}

}  // namespace

screen_rect scaled_area_for(scale_mode scale, uint32_t slide_width, uint32_t slide_height,
                            uint32_t screen_width, uint32_t screen_height) {
    const screen_rect one_to_one = {0, 0, 0, 0};
    if (scale != scale_whole && scale != scale_fill) return one_to_one;
    if (screen_width > widest_scaled_mode || slide_width > widest_scaled_mode ||
        slide_width == 0 || slide_height == 0 || screen_width == 0 || screen_height == 0)
        return one_to_one;
    uint32_t width, height;
    const uint32_t factor = smaller(screen_width / slide_width, screen_height / slide_height);
    if (scale == scale_whole && factor >= 1) {
        width = slide_width * factor;
        height = slide_height * factor;
    } else if ((uint64_t)screen_width * slide_height >= (uint64_t)screen_height * slide_width) {
        height = screen_height;
        width = (uint32_t)((uint64_t)screen_height * slide_width / slide_height);
    } else {
        width = screen_width;
        height = (uint32_t)((uint64_t)screen_width * slide_height / slide_width);
    }
    if (width == 0 || height == 0) return one_to_one;
    return {(screen_width - width) / 2, (screen_height - height) / 2, width, height};
}

void scale_picture(const row_sink &sink, picture_view picture, uint32_t slide_width,
                   uint32_t slide_height, uint32_t area_width, uint32_t area_height) {
    if (area_width == slide_width && area_height == slide_height) {
        // 1:1 into the area: the picture's own rows, clipped to the slide.
        sink.write(sink.context, 0, picture.pixels, smaller(picture.width, area_width),
                   smaller(picture.height, area_height), (size_t)picture.width * 4);
    } else if (area_width > slide_width) {
        enlarge(sink, picture, slide_width, slide_height, area_width, area_height);
    } else {
        reduce(sink, picture, slide_width, slide_height, area_width, area_height);
    }
}
