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
//
// On AArch64 the framebuffer may be mapped as device memory, where an
// unaligned access faults and a cache-zeroing instruction (dc zva) is not
// allowed. Every store below is naturally aligned by construction, nothing
// here reads the destination, and the AArch64 image is built with
// -mstrict-align so that the compiler never merges stores into wider,
// unaligned ones.
#ifndef COPY_H
#define COPY_H

#include <stddef.h>
#include <stdint.h>

// Aliasing-safe views of memory: unaligned ones (copy_*) for loads from
// anywhere, naturally aligned ones (aligned_*) for the stores, which the
// code below only makes at addresses aligned to their width, and for loads
// known to be aligned.
typedef uint64_t __attribute__((may_alias, aligned(1))) copy_u64;
typedef uint32_t __attribute__((may_alias, aligned(1))) copy_u32;
typedef uint16_t __attribute__((may_alias, aligned(1))) copy_u16;
typedef uint64_t __attribute__((may_alias)) aligned_u64;
typedef uint32_t __attribute__((may_alias)) aligned_u32;
typedef uint16_t __attribute__((may_alias)) aligned_u16;

// Per architecture: whether every store must be aligned to its width, even
// in a copy shorter than 8 bytes, and so the view the tail stores through.
// x86-64 takes unaligned stores anywhere; AArch64 device memory does not.
// (The host tests set it either way.)
#ifndef COPY_ALIGNED_STORES_ONLY
#if defined(__aarch64__)
#define COPY_ALIGNED_STORES_ONLY 1
#else
#define COPY_ALIGNED_STORES_ONLY 0
#endif
#endif
#if COPY_ALIGNED_STORES_ONLY
typedef aligned_u32 tail_u32;
typedef aligned_u16 tail_u16;
#else
typedef copy_u32 tail_u32;
typedef copy_u16 tail_u16;
#endif
constexpr bool copy_aligned_stores_only = COPY_ALIGNED_STORES_ONLY;

static inline void copy_bytes(void *destination, const void *source, size_t count) {
    uint8_t *out = (uint8_t *)destination;
    const uint8_t *in = (const uint8_t *)source;
    // Head: bring the destination to an 8-byte boundary with one store of
    // each narrower width it needs (1, 2 and 4 bytes, in that order), as
    // far as the count reaches. A step the count cannot fill leaves the
    // destination aligned to that step's width, wider than any store the
    // tail then makes, so the tail's stores are aligned too.
    if (count >= 8 || copy_aligned_stores_only) {
        if (((uintptr_t)out & 1) && count >= 1) {
            *out++ = *in++;
            count -= 1;
        }
        if (((uintptr_t)out & 2) && count >= 2) {
            *(aligned_u16 *)out = *(const copy_u16 *)in;
            out += 2, in += 2, count -= 2;
        }
        if (((uintptr_t)out & 4) && count >= 4) {
            *(aligned_u32 *)out = *(const copy_u32 *)in;
            out += 4, in += 4, count -= 4;
        }
    }
    // Body: aligned 8-byte stores; the source may be unaligned. Where the
    // compiler must not make unaligned loads either, a source aligned to 4
    // (every picture's pixels are) is read in two aligned halves, not a
    // byte at a time.
    if (copy_aligned_stores_only && ((uintptr_t)in & 3) == 0) {
        for (; count >= 8; count -= 8, out += 8, in += 8) {
            const aligned_u32 *halves = (const aligned_u32 *)in;
            *(aligned_u64 *)out = (uint64_t)halves[0] | (uint64_t)halves[1] << 32;
        }
    }
#if defined(__x86_64__)
    // On x86-64 the string move of quadwords makes the same aligned 8-byte
    // stores where it matters: on an uncached framebuffer the processor runs
    // it one element at a time. On ordinary memory its fast-string path
    // keeps pace with the C library's vector memcpy, which a loop of 8-byte
    // stores does not.
    if (!copy_aligned_stores_only) {
        size_t quadwords = count / 8;
        asm volatile("rep movsq" : "+D"(out), "+S"(in), "+c"(quadwords) : : "memory");
        count %= 8;
    }
#endif
    for (; count >= 8; count -= 8, out += 8, in += 8) *(aligned_u64 *)out = *(const copy_u64 *)in;
    // Tail: what is left, widest first.
    if (count & 4) {
        *(tail_u32 *)out = *(const copy_u32 *)in;
        out += 4, in += 4;
    }
    if (count & 2) {
        *(tail_u16 *)out = *(const copy_u16 *)in;
        out += 2, in += 2;
    }
    if (count & 1) *out = *in;
}

#endif
