// The LZ4 block decoder. A block is a series of sequences, each a token
// byte (literal length in the high nibble, match length - 4 in the low),
// optional extra length bytes (while the nibble is 15: bytes added until
// one is not 255), the literals, a 2-byte little-endian offset back into
// the output, and optional extra match length bytes. The last sequence
// stops after its literals.
//
// Plain C++ on general registers: bytes are moved with memcpy of a fixed
// 8 bytes or of a counted run, which the compiler turns into whatever the
// target allows (on AArch64 with -mstrict-align, no unaligned access).
#include "lz4_block.h"

namespace {

constexpr size_t min_match = 4;
// The end-of-block rules of LZ4's encoder, checked as its decoder does.
constexpr size_t last_literals = 5;   // the last 5 bytes are literals
constexpr size_t match_limit = 12;    // no match starts in the last 12 bytes

// Reads the extra length bytes after a nibble of 15 into *length. False
// when the block ends inside them or the length passes `limit`, the most
// any valid length can be here (so the sum never overflows).
bool read_length(const uint8_t **in, const uint8_t *in_end, size_t *length, size_t limit) {
    const uint8_t *cursor = *in;
    uint8_t byte;
    do {
        if (cursor == in_end) return false;
        byte = *cursor++;
        *length += byte;
        if (*length > limit) return false;
    } while (byte == 255);
    *in = cursor;
    return true;
}

// Copies a match of `length` bytes from `distance` bytes back, byte for
// byte as the format defines it, the source overlapping the copy when
// distance < length. An overlapping match repeats the distance bytes
// before it: short ones go 8 bytes at a time from a whole number of
// periods back, which holds the same bytes; long ones (a flat colour is a
// 4-byte pixel repeated for a whole row or more) copy what is already
// repeated, a whole number of periods, doubling each time.
void copy_match(uint8_t *out, size_t distance, size_t length) {
    const uint8_t *from = out - distance;
    if (distance >= length) {
        __builtin_memcpy(out, from, length);
        return;
    }
    if (length >= 64) {
        // [from, out + done) repeats the period, and done is a whole
        // number of periods: the next chunk may come from `from` itself.
        size_t done = 0;
        while (done < length) {
            size_t chunk = distance + done;
            if (chunk > length - done) chunk = length - done;
            __builtin_memcpy(out + done, from, chunk);
            done += chunk;
        }
        return;
    }
    size_t step = distance;
    while (step < 8) step += distance;
    // The first step - distance bytes come from the original source; after
    // them every byte step back is one already written.
    size_t head = step - distance;
    if (head > length) head = length;
    for (size_t i = 0; i < head; ++i) out[i] = from[i];
    size_t done = head;
    for (; done + 8 <= length; done += 8) {
        uint64_t chunk;
        __builtin_memcpy(&chunk, from + (done - head), 8);
        __builtin_memcpy(out + done, &chunk, 8);
    }
    for (; done < length; ++done) out[done] = from[done - head];
}

}  // namespace

bool lz4_decode(const uint8_t *block, size_t block_length, uint8_t *out, size_t out_length) {
    const uint8_t *in = block;
    const uint8_t *const in_end = block + block_length;
    size_t written = 0;
    // Nothing to decode: only the one block that holds nothing, a token of
    // 0, as LZ4's own decoder has it.
    if (out_length == 0) return block_length == 1 && block[0] == 0;
    for (;;) {
        if (in == in_end) return false;  // a token must follow
        const uint8_t token = *in++;

        size_t literals = token >> 4;
        if (literals == 15 && !read_length(&in, in_end, &literals, out_length - written))
            return false;
        if (literals > (size_t)(in_end - in) || literals > out_length - written) return false;
        if (literals != 0) __builtin_memcpy(out + written, in, literals);
        in += literals;
        written += literals;

        if (in == in_end) return written == out_length;  // the last sequence
        // A match follows: it must start before the last 12 bytes.
        if (out_length - written < match_limit) return false;

        if (in_end - in < 2) return false;
        const size_t distance = (size_t)in[0] | (size_t)in[1] << 8;
        in += 2;
        if (distance == 0 || distance > written) return false;

        // Room for the match, with the last 5 bytes left for literals.
        const size_t room = out_length - written - last_literals;
        size_t length = token & 15;
        if (length == 15 && !read_length(&in, in_end, &length, room)) return false;
        length += min_match;
        if (length > room) return false;
        copy_match(out + written, distance, length);
        written += length;
    }
}
