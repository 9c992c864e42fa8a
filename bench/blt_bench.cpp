// How fast blt puts a slide on the screen, next to the host C library's
// memcpy of the same bytes. blt is compiled with the image's code
// generation flags (general registers only), as it runs on the firmware.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "BOOTX64.h"
#include "options.h"
#include "scale.h"

// The viewer's options as the default image has them: blt copies 1:1.
image_options build_options = {scale_off};

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

// A slide scaled to a whole screen (SLIDE_SCALE=whole or fill), next to
// memcpy of as many bytes into the same screen: the scaled rectangle's
// rows, each from a picture of the rectangle's own size.
void BM_scaled_slide(benchmark::State &state, uint32_t screen_width, uint32_t screen_height,
                     scale_mode scale) {
    host_screen screen(screen_width, screen_height, screen_width);
    const std::vector<uint8_t> pixels = slide();
    for (auto _ : state) {
        scaled_blt(&screen.gop, pixels.data(), width, height, scale);
        benchmark::ClobberMemory();
    }
    const scaled_area area = scaled_area_for(scale, screen_width, screen_height);
    state.SetBytesProcessed((int64_t)state.iterations() * area.width * area.height * 4);
}

void BM_memcpy_scaled_rows(benchmark::State &state, uint32_t screen_width,
                           uint32_t screen_height, scale_mode scale) {
    host_screen screen(screen_width, screen_height, screen_width);
    const scaled_area area = scaled_area_for(scale, screen_width, screen_height);
    const size_t row_bytes = (size_t)area.width * 4;
    const std::vector<uint8_t> source(row_bytes * area.height, 7);
    for (auto _ : state) {
        uint8_t *out = (uint8_t *)screen.memory.data() +
                       ((size_t)area.top * screen_width + area.left) * 4;
        for (uint32_t y = 0; y < area.height; ++y)
            memcpy(out + (size_t)y * screen_width * 4, source.data() + y * row_bytes, row_bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * area.width * area.height * 4);
}

BENCHMARK(BM_blt_slide);
BENCHMARK(BM_memcpy_rows);
BENCHMARK_CAPTURE(BM_scaled_slide, fill_1920x1080, 1920, 1080, scale_fill);
BENCHMARK_CAPTURE(BM_memcpy_scaled_rows, fill_1920x1080, 1920, 1080, scale_fill);
BENCHMARK_CAPTURE(BM_scaled_slide, whole_3840x2160, 3840, 2160, scale_whole);
BENCHMARK_CAPTURE(BM_memcpy_scaled_rows, whole_3840x2160, 3840, 2160, scale_whole);

}  // namespace

BENCHMARK_MAIN();
