// Decode speed of the project's LZ4 decoder (compiled with the image's
// code generation flags) against liblz4's LZ4_decompress_safe, on the
// deck's pictures stored as the build stores them (high compression).
// Prints figures; checks only that both give the raw pictures back.
//
//   build/bench/lz4_bench build/bgra [rounds]
#include <dirent.h>
#include <lz4.h>
#include <lz4hc.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lz4_block.h"

namespace {

using bytes = std::vector<uint8_t>;

struct picture {
    std::string name;
    bytes raw, block;
};

double seconds_now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s BGRA_FOLDER [rounds]\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 2 ? atoi(argv[2]) : 7;
    std::vector<picture> pictures;
    DIR *dir = opendir(argv[1]);
    if (!dir) {
        perror(argv[1]);
        return 1;
    }
    while (dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 6 || name.substr(name.size() - 5) != ".bgra") continue;
        std::ifstream in(std::string(argv[1]) + "/" + name, std::ios::binary);
        picture p{name, bytes(std::istreambuf_iterator<char>(in), {}), {}};
        p.block.resize(LZ4_compressBound((int)p.raw.size()));
        const int length = LZ4_compress_HC((const char *)p.raw.data(), (char *)p.block.data(),
                                           (int)p.raw.size(), (int)p.block.size(),
                                           LZ4HC_CLEVEL_DEFAULT);
        p.block.resize(length);
        pictures.push_back(std::move(p));
    }
    closedir(dir);
    size_t raw_total = 0, block_total = 0;
    for (const picture &p : pictures) raw_total += p.raw.size(), block_total += p.block.size();

    bytes out(std::max_element(pictures.begin(), pictures.end(), [](auto &a, auto &b) {
                  return a.raw.size() < b.raw.size();
              })->raw.size());
    std::vector<double> ours, theirs;
    for (int round = 0; round < rounds; ++round) {
        double start = seconds_now();
        for (const picture &p : pictures)
            if (!lz4_decode(p.block.data(), p.block.size(), out.data(), p.raw.size()) ||
                !std::equal(p.raw.begin(), p.raw.begin() + 64, out.begin()))
                return fprintf(stderr, "%s: lz4_decode failed\n", p.name.c_str()), 1;
        ours.push_back(seconds_now() - start);
        start = seconds_now();
        for (const picture &p : pictures)
            if (LZ4_decompress_safe((const char *)p.block.data(), (char *)out.data(),
                                    (int)p.block.size(), (int)p.raw.size()) != (int)p.raw.size())
                return fprintf(stderr, "%s: LZ4_decompress_safe failed\n", p.name.c_str()), 1;
        theirs.push_back(seconds_now() - start);
    }
    // A full check once, outside the timing.
    for (const picture &p : pictures) {
        lz4_decode(p.block.data(), p.block.size(), out.data(), p.raw.size());
        if (!std::equal(p.raw.begin(), p.raw.end(), out.begin()))
            return fprintf(stderr, "%s: decoded bytes differ\n", p.name.c_str()), 1;
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    const double a = ours[ours.size() / 2], b = theirs[theirs.size() / 2];
    const double n = (double)pictures.size();
    printf("%zu pictures, %.1f MB raw, %.2f MB as LZ4 blocks (%.0fx), median of %d rounds\n",
           pictures.size(), raw_total / 1e6, block_total / 1e6, (double)raw_total / block_total,
           rounds);
    printf("  lz4_decode (image flags):  %7.1f us a picture, %6.2f GB/s\n", a / n * 1e6,
           raw_total / a / 1e9);
    printf("  LZ4_decompress_safe:       %7.1f us a picture, %6.2f GB/s\n", b / n * 1e6,
           raw_total / b / 1e9);
    printf("  speed of lz4_decode / liblz4: %.2f\n", b / a);
    return 0;
}
