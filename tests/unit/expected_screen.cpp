// expected_screen: the whole screen a build must show, from the scaling
// oracle (scaled_oracle_core.h), for the firmware suites to compare with
// QEMU's screendumps.
//
//   expected_screen --slide 640x480 --mode 1920x1080 --scale fill
//                   [--background SCREEN.ppm] --out SCREEN.ppm
//                   PICTURE.bgra:WIDTHxHEIGHT...
//
// The screen starts as the background (a screendump of what the firmware
// showed before, for the parts a 1:1 slide leaves alone) or black; the
// border is painted black for a scaled build, then each picture (raw
// BGRA, a slide, then listings drawn over it) is painted in the order
// given (none: a blank screen). The result is a binary PPM (RGB), as QEMU's screendump writes it.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "scaled_oracle_core.h"

namespace {

[[noreturn]] void fail(const std::string &message) {
    fprintf(stderr, "expected_screen: %s\n", message.c_str());
    exit(2);
}

void parse_size(const std::string &text, uint32_t &width, uint32_t &height) {
    unsigned w = 0, h = 0;
    char rest = 0;
    if (sscanf(text.c_str(), "%ux%u%c", &w, &h, &rest) != 2 || w == 0 || h == 0)
        fail("not a size WIDTHxHEIGHT: " + text);
    width = w;
    height = h;
}

std::vector<uint8_t> read_file(const std::string &path) {
    FILE *file = fopen(path.c_str(), "rb");
    if (!file) fail("cannot read " + path);
    std::vector<uint8_t> data;
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        data.insert(data.end(), buffer, buffer + got);
    fclose(file);
    return data;
}

// A binary PPM as QEMU writes it: "P6\n<w> <h>\n255\n", then RGB.
void read_background(const std::string &path, oracle_screen &screen) {
    const std::vector<uint8_t> data = read_file(path);
    unsigned width = 0, height = 0, maximum = 0;
    int header = 0;
    std::string text(data.begin(), data.begin() + (data.size() < 64 ? data.size() : 64));
    if (sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maximum, &header) != 3 ||
        maximum != 255)
        fail(path + ": not a binary PPM");
    ++header;  // the one whitespace byte after the maximum
    if (width != screen.width || height != screen.height)
        fail(path + ": a background of another size than the mode");
    if (data.size() != (size_t)header + (size_t)width * height * 3) fail(path + ": truncated");
    for (size_t i = 0; i < screen.pixels.size(); ++i) {
        const uint8_t *rgb = &data[header + i * 3];
        screen.pixels[i] = (uint32_t)rgb[0] << 16 | (uint32_t)rgb[1] << 8 | rgb[2];
    }
}

}  // namespace

int main(int argc, char **argv) {
    uint32_t slide_width = 0, slide_height = 0, width = 0, height = 0;
    std::string scale_name, background, out;
    std::vector<std::string> pictures;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool has_value = i + 1 < argc;
        if (argument == "--slide" && has_value)
            parse_size(argv[++i], slide_width, slide_height);
        else if (argument == "--mode" && has_value)
            parse_size(argv[++i], width, height);
        else if (argument == "--scale" && has_value)
            scale_name = argv[++i];
        else if (argument == "--background" && has_value)
            background = argv[++i];
        else if (argument == "--out" && has_value)
            out = argv[++i];
        else if (argument.rfind("--", 0) == 0)
            fail("unknown option " + argument);
        else
            pictures.push_back(argument);
    }
    const scale_mode scale = scale_name == "off"     ? scale_off
                             : scale_name == "whole" ? scale_whole
                             : scale_name == "fill"  ? scale_fill
                                                     : (fail("--scale off|whole|fill"), 0);
    if (!slide_width || !width || out.empty())
        fail("usage: --slide WxH --mode WxH --scale S [--background PPM] --out PPM "
             "PICTURE.bgra:WxH...");

    oracle_screen screen{width, height, std::vector<uint32_t>((size_t)width * height, 0)};
    if (!background.empty()) read_background(background, screen);
    paint_black_border(screen, scale, slide_width, slide_height);
    for (const std::string &entry : pictures) {
        const size_t colon = entry.rfind(':');
        if (colon == std::string::npos) fail("a picture is PATH:WIDTHxHEIGHT: " + entry);
        uint32_t picture_width, picture_height;
        parse_size(entry.substr(colon + 1), picture_width, picture_height);
        const std::vector<uint8_t> bytes = read_file(entry.substr(0, colon));
        if (bytes.size() != (size_t)picture_width * picture_height * 4)
            fail(entry + ": not WIDTHxHEIGHTx4 bytes");
        std::vector<uint32_t> pixels((size_t)picture_width * picture_height);
        memcpy(pixels.data(), bytes.data(), bytes.size());
        paint_scaled(screen, scale, slide_width, slide_height,
                     {picture_width, picture_height, pixels.data()});
    }

    FILE *file = fopen(out.c_str(), "wb");
    if (!file) fail("cannot write " + out);
    fprintf(file, "P6\n%u %u\n255\n", width, height);
    std::vector<uint8_t> rgb(screen.pixels.size() * 3);
    for (size_t i = 0; i < screen.pixels.size(); ++i) {
        rgb[i * 3] = (uint8_t)(screen.pixels[i] >> 16);
        rgb[i * 3 + 1] = (uint8_t)(screen.pixels[i] >> 8);
        rgb[i * 3 + 2] = (uint8_t)screen.pixels[i];
    }
    const bool written = fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
    if (fclose(file) != 0 || !written) fail("cannot write " + out);
    return 0;
}
