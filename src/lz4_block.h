// The decoder of one LZ4 block (the block format, not the frame format),
// as the build stores each picture with PICTURE_COMPRESSION=lz4.
#ifndef LZ4_BLOCK_H
#define LZ4_BLOCK_H

#include <stddef.h>
#include <stdint.h>

// Decodes the block of block_length bytes at `block` into `out`, which has
// room for out_length bytes. True only when the block is well formed and
// decodes to exactly out_length bytes. Whatever the input, it reads nothing
// outside the block, writes nothing outside out[0, out_length), and reads
// back only bytes of out it has already written. A failed decode may leave
// out partly written.
//
// Beyond the format itself it keeps the rules LZ4's own encoder keeps and
// its reference decoder checks, so the two accept the same blocks: the
// last sequence is literals only, the last 5 bytes are literals, and the
// last match starts at least 12 bytes before the end. A match offset of 0
// is refused.
bool lz4_decode(const uint8_t *block, size_t block_length, uint8_t *out, size_t out_length);

#endif
