// Fuzz target of the LZ4 block decoder (clang -fsanitize=fuzzer,address).
// An input is a 2-byte little-endian output size and the block. The block
// and the output each lie in a buffer of exactly their size, so a read or
// write past either stops the run. A decode that succeeds must match
// liblz4 byte for byte, and the block cut by one byte, grown by one byte,
// or asked for one byte more or less of output must fail.
#include <lz4.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "lz4_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const size_t out_length = (size_t)data[0] | (size_t)data[1] << 8;
    const std::vector<uint8_t> block(data + 2, data + size);
    std::vector<uint8_t> out(out_length);
    if (!lz4_decode(block.data(), block.size(), out.data(), out_length)) return 0;

    std::vector<uint8_t> expected(out_length);
    const int got = LZ4_decompress_safe((const char *)block.data(), (char *)expected.data(),
                                        (int)block.size(), (int)out_length);
    if (got != (int)out_length) abort();
    if (out_length > 0 && memcmp(out.data(), expected.data(), out_length) != 0) abort();

    const std::vector<uint8_t> cut(block.begin(), block.end() - 1);
    std::vector<uint8_t> longer(block);
    longer.push_back(data[size - 1]);
    std::vector<uint8_t> bigger(out_length + 1);
    if (lz4_decode(cut.data(), cut.size(), out.data(), out_length)) abort();
    if (lz4_decode(longer.data(), longer.size(), out.data(), out_length)) abort();
    if (lz4_decode(block.data(), block.size(), bigger.data(), out_length + 1)) abort();
    if (out_length > 0 && lz4_decode(block.data(), block.size(), out.data(), out_length - 1))
        abort();
    return 0;
}
