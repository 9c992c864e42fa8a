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

extern "C" void *memset(void *destination, int value, size_t count) {
    void *cursor = destination;
    asm volatile("rep stosb" : "+D"(cursor), "+c"(count) : "a"(value) : "memory");
    return destination;
}
