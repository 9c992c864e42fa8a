// Byte copy in aligned 8-byte stores, the widest a general register makes.
//
// The destination is often the framebuffer, which real machines map
// uncached or write-combining: there every store is a bus write of its own
// width, and the fast-string path of `rep movsb` does not apply (it would
// write one byte at a time). So the copy stores 8 bytes at once, at 8-byte
// aligned addresses, with a few narrower stores for the ragged ends.
//
// General registers only, no SSE: the UEFI standard has x64 firmware
// enable SSE before it starts an application, but U-Boot's x86_64 UEFI
// does not, and an application that touches an SSE register resets the
// machine there. The image is built with -mgeneral-regs-only to keep it so.
#ifndef COPY_H
#define COPY_H

#include <stddef.h>
#include <stdint.h>

// Unaligned, aliasing-safe views of memory for the loads and stores below.
typedef uint64_t __attribute__((may_alias, aligned(1))) copy_u64;
typedef uint32_t __attribute__((may_alias, aligned(1))) copy_u32;
typedef uint16_t __attribute__((may_alias, aligned(1))) copy_u16;

static inline void copy_bytes(void *destination, const void *source, size_t count) {
    uint8_t *out = (uint8_t *)destination;
    const uint8_t *in = (const uint8_t *)source;
    // Head: bring the destination to an 8-byte boundary with one store of
    // each narrower width it needs (1, 2 and 4 bytes, in that order).
    if (count >= 8) {
        if ((uintptr_t)out & 1) {
            *out++ = *in++;
            count -= 1;
        }
        if ((uintptr_t)out & 2) {
            *(copy_u16 *)out = *(const copy_u16 *)in;
            out += 2, in += 2, count -= 2;
        }
        if ((uintptr_t)out & 4) {
            *(copy_u32 *)out = *(const copy_u32 *)in;
            out += 4, in += 4, count -= 4;
        }
    }
    // Body: aligned 8-byte stores; the source may be unaligned.
    for (; count >= 8; count -= 8, out += 8, in += 8) *(copy_u64 *)out = *(const copy_u64 *)in;
    // Tail: what is left, widest first.
    if (count & 4) {
        *(copy_u32 *)out = *(const copy_u32 *)in;
        out += 4, in += 4;
    }
    if (count & 2) {
        *(copy_u16 *)out = *(const copy_u16 *)in;
        out += 2, in += 2;
    }
    if (count & 1) *out = *in;
}

#endif
