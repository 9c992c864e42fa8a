// The two routines the compiler calls on its own for struct copies and
// zeroing, even in a freestanding build. The image links no C library, so
// it brings its own.
#include <stddef.h>
#include <stdint.h>

#include "copy.h"

extern "C" void *memcpy(void *destination, const void *source, size_t count) {
    copy_bytes(destination, source, count);
    return destination;
}

// ---- Per architecture: memset ------------------------------------------
#if defined(__x86_64__)

extern "C" void *memset(void *destination, int value, size_t count) {
    void *cursor = destination;
    asm volatile("rep stosb" : "+D"(cursor), "+c"(count) : "a"(value) : "memory");
    return destination;
}

#elif defined(__aarch64__)

// Plain stores, each aligned to its width as in copy_bytes, and never the
// cache-zeroing instruction (dc zva) a C library's memset uses for zeros:
// it faults on device memory, where a framebuffer may lie.
extern "C" void *memset(void *destination, int value, size_t count) {
    uint8_t *out = (uint8_t *)destination;
    const uint64_t pattern = (uint8_t)value * 0x0101010101010101ull;
    if (((uintptr_t)out & 1) && count >= 1) *out++ = (uint8_t)pattern, count -= 1;
    if (((uintptr_t)out & 2) && count >= 2) *(aligned_u16 *)out = (uint16_t)pattern, out += 2, count -= 2;
    if (((uintptr_t)out & 4) && count >= 4) *(aligned_u32 *)out = (uint32_t)pattern, out += 4, count -= 4;
    for (; count >= 8; count -= 8, out += 8) *(aligned_u64 *)out = pattern;
    if (count & 4) *(aligned_u32 *)out = (uint32_t)pattern, out += 4;
    if (count & 2) *(aligned_u16 *)out = (uint16_t)pattern, out += 2;
    if (count & 1) *out = (uint8_t)pattern;
    return destination;
}

#endif
