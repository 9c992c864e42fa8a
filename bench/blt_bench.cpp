// How fast blt puts a slide on the screen, next to the host C library's
// memcpy of the same bytes. blt is compiled with the image's code
// generation flags (general registers only), as it runs on the firmware.
#include <benchmark/benchmark.h>
#include <string.h>

#include <vector>

#include "BOOTX64.h"

namespace {

constexpr uint32_t width = 640, height = 480;
// A framebuffer wider than the picture, with a padded row pitch.
constexpr uint32_t screen_width = 800, screen_height = 600, pitch = 832;

struct host_screen {
    std::vector<uint32_t> memory = std::vector<uint32_t>((size_t)pitch * screen_height);
    EFI_GRAPHICS_OUTPUT_MODE_INFORMATION info = {};
    EFI_GRAPHICS_OUTPUT_PROTOCOL_MODE mode = {};
    EFI_GRAPHICS_OUTPUT_PROTOCOL gop = {};

    host_screen() {
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

BENCHMARK(BM_blt_slide);
BENCHMARK(BM_memcpy_rows);

}  // namespace

BENCHMARK_MAIN();
