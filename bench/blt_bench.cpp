// How fast blt puts a slide on the screen, 1:1 and scaled up or down,
// next to the host C library's memcpy of the same bytes. blt is compiled with the image's code
// generation flags (general registers only), as it runs on the firmware.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "BOOTX64.h"
#include "draw.h"
#include "options.h"
#include "scale.h"

// The default image's options, which the viewer's entry point reads.
extern const image_options build_options = {scale_off};

namespace {

constexpr uint32_t width = 640, height = 480;
// A framebuffer wider than the picture, with a padded row pitch.
constexpr uint32_t screen_width = 800, screen_height = 600, pitch = 832;

struct host_screen {
    std::vector<uint32_t> memory;
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION info = {};
    EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE mode = {};
    EFI_GRAPHICS_OUTPUT_PROTOCOL gop = {};

    host_screen(uint32_t screen_width = ::screen_width, uint32_t screen_height = ::screen_height,
                uint32_t pitch = ::pitch)
        : memory((size_t)pitch * screen_height) {
        info.HorizontalResolution = screen_width;
        info.VerticalResolution = screen_height;
        info.PixelsPerScanLine = pitch;
        info.PixelFormat = PixelBlueGreenRedReserved8BitPerColor;
        mode.Info = &info;
        mode.FrameBufferBase = (EFI_PHYSICAL_ADDRESS)(uintptr_t)memory.data();
        gop.Mode = &mode;
    }
};

std::vector<uint8_t> slide() {
    std::vector<uint8_t> pixels((size_t)width * height * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (uint8_t)(i * 7);
    return pixels;
}

void count_bytes(benchmark::State &state) {
    state.SetBytesProcessed((int64_t)state.iterations() * width * height * 4);
}

void BM_blt_slide(benchmark::State &state) {
    host_screen screen;
    const std::vector<uint8_t> pixels = slide();
    for (auto _ : state) {
        blt(&screen.gop, pixels.data(), width, height);
        benchmark::ClobberMemory();
    }
    count_bytes(state);
}

// The same rows with the host's memcpy: what blt should keep up with.
void BM_memcpy_rows(benchmark::State &state) {
    host_screen screen;
    const std::vector<uint8_t> pixels = slide();
    for (auto _ : state) {
        uint8_t *out = (uint8_t *)screen.memory.data();
        for (uint32_t y = 0; y < height; ++y)
            memcpy(out + (size_t)y * pitch * 4, pixels.data() + (size_t)y * width * 4, width * 4);
        benchmark::ClobberMemory();
    }
    count_bytes(state);
}

// A slide of slide_width x slide_height scaled to a whole screen
// (SLIDE_SCALE=whole or fill): enlarged by the nearest pixel, or reduced
// by area averaging, next to memcpy of as many bytes into the same screen:
// the scaled rectangle's rows, each from a picture of the rectangle's own
// size.
struct scaled_case {
    uint32_t slide_width, slide_height, screen_width, screen_height;
    scale_mode scale;
};

std::vector<uint8_t> picture(uint32_t picture_width, uint32_t picture_height) {
    std::vector<uint8_t> pixels((size_t)picture_width * picture_height * 4);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (uint8_t)(i * 7 + (i >> 12));
    return pixels;
}

image_options options_of(scaled_case c) {
    return {c.scale, 0, c.slide_width, c.slide_height};
}

screen_rect area_of(scaled_case c) {
    return scaled_area_for(c.scale, c.slide_width, c.slide_height, c.screen_width,
                           c.screen_height);
}

void BM_scaled_slide(benchmark::State &state, scaled_case c) {
    host_screen screen(c.screen_width, c.screen_height, c.screen_width);
    const std::vector<uint8_t> pixels = picture(c.slide_width, c.slide_height);
    const image_options options = options_of(c);
    const ::screen on = screen_for(&screen.gop, options);
    for (auto _ : state) {
        draw_picture(on, pixels.data(), c.slide_width, c.slide_height);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * on.area.width * on.area.height * 4);
}

void BM_memcpy_scaled_rows(benchmark::State &state, scaled_case c) {
    host_screen screen(c.screen_width, c.screen_height, c.screen_width);
    const screen_rect area = area_of(c);
    const size_t row_bytes = (size_t)area.width * 4;
    const std::vector<uint8_t> source(row_bytes * area.height, 7);
    for (auto _ : state) {
        uint8_t *out = (uint8_t *)screen.memory.data() +
                       ((size_t)area.top * c.screen_width + area.left) * 4;
        for (uint32_t y = 0; y < area.height; ++y)
            memcpy(out + (size_t)y * c.screen_width * 4, source.data() + y * row_bytes, row_bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * area.width * area.height * 4);
}

BENCHMARK(BM_blt_slide);
BENCHMARK(BM_memcpy_rows);
#define SCALED(name, ...)                                         \
    BENCHMARK_CAPTURE(BM_scaled_slide, name, {__VA_ARGS__});      \
    BENCHMARK_CAPTURE(BM_memcpy_scaled_rows, name, {__VA_ARGS__})
SCALED(fill_640x480_to_1920x1080, 640, 480, 1920, 1080, scale_fill);
SCALED(whole_640x480_to_3840x2160, 640, 480, 3840, 2160, scale_whole);
SCALED(enlarge_1920x1080_to_3840x2160, 1920, 1080, 3840, 2160, scale_fill);
SCALED(reduce_1920x1080_to_1280x720, 1920, 1080, 1280, 720, scale_fill);
SCALED(one_to_one_1920x1080, 1920, 1080, 1920, 1080, scale_fill);

}  // namespace

BENCHMARK_MAIN();
