// The framebuffer copy, which is also the image's memcpy: every alignment
// of both ends and every length around the 8-byte store, against the C
// library's memcpy, with nothing written outside the destination.
// copy_aligned_test.cpp runs the same table on the AArch64 form of the
// copy, where the sanitizer's alignment check fails any store that is not
// aligned to its width.
#include <gtest/gtest.h>
#include <string.h>

#include "copy.h"

#ifndef COPY_SUITE
#define COPY_SUITE CopyBytes
#endif

namespace {

TEST(COPY_SUITE, EveryAlignmentAndLengthMatchesMemcpy) {
    uint8_t source[64];
    for (size_t i = 0; i < sizeof source; ++i) source[i] = (uint8_t)(i * 37 + 1);
    for (size_t to = 0; to < 8; ++to)
        for (size_t from = 0; from < 8; ++from)
            for (size_t count = 0; count <= 40; ++count) {
                alignas(8) uint8_t seen[64], expected[64];
                memset(seen, 0xEE, sizeof seen);
                memset(expected, 0xEE, sizeof expected);
                copy_bytes(seen + to, source + from, count);
                memcpy(expected + to, source + from, count);
                ASSERT_EQ(memcmp(seen, expected, sizeof seen), 0)
                    << "destination offset " << to << ", source offset " << from << ", "
                    << count << " bytes";
            }
}

}  // namespace
