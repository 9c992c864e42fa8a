// The project's LZ4 block decoder against Debian's liblz4 on the same
// blocks: the deck's pictures as LZ4's high-compression mode stores them,
// and made-up blocks for each part of the format and its end-of-block
// rules. Both must agree on success and on every byte; the decoder gets an
// output buffer of exactly the expected size, so any write past it is
// caught by the address sanitizer.
#include <dirent.h>
#include <gtest/gtest.h>
#include <lz4.h>
#include <lz4hc.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lz4_block.h"

namespace {

using bytes = std::vector<uint8_t>;

// Writes blocks by hand: sequences of literals and a match, and the final
// literals.
struct block_writer {
    bytes block;
    void length_bytes(size_t extra) {
        for (; extra >= 255; extra -= 255) block.push_back(255);
        block.push_back((uint8_t)extra);
    }
    void sequence(const bytes &literals, size_t offset, size_t match_length) {
        const size_t l = literals.size(), m = match_length - 4;
        block.push_back((uint8_t)((l < 15 ? l : 15) << 4 | (m < 15 ? m : 15)));
        if (l >= 15) length_bytes(l - 15);
        block.insert(block.end(), literals.begin(), literals.end());
        block.push_back((uint8_t)offset);
        block.push_back((uint8_t)(offset >> 8));
        if (m >= 15) length_bytes(m - 15);
    }
    void last(const bytes &literals) {
        const size_t l = literals.size();
        block.push_back((uint8_t)((l < 15 ? l : 15) << 4));
        if (l >= 15) length_bytes(l - 15);
        block.insert(block.end(), literals.begin(), literals.end());
    }
};

bytes counting(size_t count, uint8_t first = 1) {
    bytes out(count);
    for (size_t i = 0; i < count; ++i) out[i] = (uint8_t)(first + i * 7 + i / 251);
    return out;
}

// What liblz4 makes of the block into a buffer of exactly `size` bytes
// (its end-of-block rules count from the buffer's end): true when it fills
// the buffer.
bool reference(const bytes &block, size_t size, bytes *out) {
    out->assign(size, 0);
    const int got = LZ4_decompress_safe((const char *)block.data(), (char *)out->data(),
                                        (int)block.size(), (int)size);
    return got == (int)size;
}

// Decodes with both and expects the same verdict and, on success, the same
// bytes; returns the verdict.
bool agree(const bytes &block, size_t size) {
    bytes expected;
    const bool reference_ok = reference(block, size, &expected);
    bytes got(size);
    const bool ok = lz4_decode(block.data(), block.size(), got.data(), size);
    EXPECT_EQ(ok, reference_ok) << "block of " << block.size() << " bytes into " << size;
    if (ok && reference_ok) {
        EXPECT_TRUE(got == expected);
    }
    return ok;
}

// The expected output of a sequence list, built by the format's definition.
struct expected_output {
    bytes data;
    void sequence(const bytes &literals, size_t offset, size_t match_length) {
        data.insert(data.end(), literals.begin(), literals.end());
        for (size_t i = 0; i < match_length; ++i) data.push_back(data[data.size() - offset]);
    }
    void last(const bytes &literals) { data.insert(data.end(), literals.begin(), literals.end()); }
};

// A block and what it must decode to, from the same sequences.
struct made_up {
    block_writer block;
    expected_output expected;
    void sequence(const bytes &literals, size_t offset, size_t match_length) {
        block.sequence(literals, offset, match_length);
        expected.sequence(literals, offset, match_length);
    }
    void last(const bytes &literals) {
        block.last(literals);
        expected.last(literals);
    }
    // Decodes to exactly the expected bytes, as liblz4 does; one byte more
    // or less of output, and every truncation of the block, fail in both.
    void check_valid() {
        const bytes &b = block.block;
        const size_t size = expected.data.size();
        bytes got(size);
        ASSERT_TRUE(lz4_decode(b.data(), b.size(), got.data(), size));
        EXPECT_TRUE(got == expected.data);
        agree(b, size);
        EXPECT_FALSE(agree(b, size + 1));
        if (size > 0) {
            EXPECT_FALSE(agree(b, size - 1));
        }
        const size_t stride = b.size() > 1024 ? b.size() / 512 : 1;
        for (size_t cut = 0; cut < b.size(); cut += stride)
            EXPECT_FALSE(agree(bytes(b.begin(), b.begin() + cut), size)) << "cut at " << cut;
    }
};

TEST(Lz4Decode, LiteralsOnly) {
    for (size_t count : {0, 1, 14, 15, 16, 269, 270, 271, 600}) {
        SCOPED_TRACE(count);
        made_up m;
        m.last(counting(count));
        m.check_valid();
    }
}

TEST(Lz4Decode, MatchLengthsAroundTheirEncodings) {
    // 4 (nibble 0), 18 (nibble 14), 19 (nibble 15, extra 0), 273 (extra
    // 254), 274 (extra 255 then 0), and a long one.
    for (size_t length : {4, 18, 19, 273, 274, 5000}) {
        SCOPED_TRACE(length);
        made_up m;
        m.sequence(counting(20), 16, length);
        m.last(counting(12, 99));
        m.check_valid();
    }
}

TEST(Lz4Decode, OffsetsNearAndFar) {
    for (size_t offset : {1, 2, 3, 4, 5, 7, 8, 9, 65535}) {
        SCOPED_TRACE(offset);
        made_up m;
        m.sequence(counting(offset < 20 ? 20 : offset), offset, 300);
        m.last(counting(5, 3));
        m.check_valid();
    }
}

TEST(Lz4Decode, OverlappingMatchesRepeatTheirPattern) {
    // Each match starts inside the bytes it copies: runs of one byte, of a
    // 3-byte and of a 4-byte pixel, with lengths that are no multiple of
    // the period, one after the other.
    made_up m;
    m.sequence(counting(1), 1, 37);
    m.sequence(counting(3, 50), 3, 101);
    m.sequence(counting(4, 80), 4, 1025);
    m.sequence({}, 6, 23);  // no literals: straight on from the last match
    m.last(counting(12, 7));
    m.check_valid();
}

TEST(Lz4Decode, EndOfBlockRules) {
    // Valid at the edges: a match that starts 12 bytes before the end and
    // leaves exactly 5 literals.
    made_up edge;
    edge.sequence(counting(8), 8, 7);
    edge.last(counting(5, 40));
    edge.check_valid();

    // A match that starts 11 bytes before the end; one that leaves only 4
    // literals; a block that ends with a match; a match reaching back
    // before the first byte; an offset of 0. All fail in the decoder; the
    // first three also in liblz4.
    block_writer late;
    late.sequence(counting(9), 8, 6);
    late.last(counting(5));
    EXPECT_FALSE(agree(late.block, 9 + 6 + 5));
    block_writer short_tail;
    short_tail.sequence(counting(20), 8, 8);
    short_tail.last(counting(4));
    EXPECT_FALSE(agree(short_tail.block, 20 + 8 + 4));
    block_writer ends_in_match;
    ends_in_match.sequence(counting(20), 8, 30);
    EXPECT_FALSE(agree(ends_in_match.block, 50));

    block_writer too_far;
    too_far.sequence(counting(20), 21, 8);
    too_far.last(counting(5));
    bytes out(33);
    EXPECT_FALSE(lz4_decode(too_far.block.data(), too_far.block.size(), out.data(), out.size()));
    block_writer zero;
    zero.sequence(counting(20), 0, 8);
    zero.last(counting(5));
    EXPECT_FALSE(lz4_decode(zero.block.data(), zero.block.size(), out.data(), out.size()));
    // Length bytes that claim more than the output holds, never ending.
    bytes endless = {0xF0};
    endless.insert(endless.end(), 100, 255);
    EXPECT_FALSE(lz4_decode(endless.data(), endless.size(), out.data(), out.size()));
}

bytes read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), {});
}

// The pictures of the deck (PICTURE_FOLDER, given by the build), each
// stored as the build stores them, decoded by both into the raw file.
TEST(Lz4Decode, DeckPicturesAsTheBuildStoresThem) {
    const char *folder = getenv("PICTURE_FOLDER");
    ASSERT_NE(folder, nullptr) << "PICTURE_FOLDER names the deck's raw pictures";
    DIR *dir = opendir(folder);
    ASSERT_NE(dir, nullptr) << folder;
    int pictures = 0;
    while (dirent *entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() < 6 || name.substr(name.size() - 5) != ".bgra") continue;
        SCOPED_TRACE(name);
        const bytes raw = read_file(std::string(folder) + "/" + name);
        bytes block(LZ4_compressBound((int)raw.size()));
        const int length = LZ4_compress_HC((const char *)raw.data(), (char *)block.data(),
                                           (int)raw.size(), (int)block.size(), LZ4HC_CLEVEL_DEFAULT);
        ASSERT_GT(length, 0);
        block.resize(length);
        bytes got(raw.size());
        ASSERT_TRUE(lz4_decode(block.data(), block.size(), got.data(), got.size()));
        EXPECT_TRUE(got == raw);
        EXPECT_FALSE(lz4_decode(block.data(), block.size() - 1, got.data(), got.size()));
        ++pictures;
    }
    closedir(dir);
    EXPECT_GE(pictures, 3);
}

}  // namespace
