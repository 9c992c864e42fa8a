// The viewer: the entry point the firmware calls, its presentation loop
// and the copy of one picture onto the screen; and the number formatters
// for text output, which only the presenter console calls.
#ifndef BOOTX64_H
#define BOOTX64_H

#include "efi.h"
#include "img.h"
#include "keys.h"
#include "options.h"

// The listings that the keys 1 and 2 call up over the slide.
extern const img_entry extra_img[2];

// Copies a width x height picture of raw BGRA pixels into the top-left
// corner of the current mode, clipped to the screen.
void blt(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, const uint8_t *pixels, uint32_t width,
         uint32_t height);

// Fixed-width, zero-padded numbers as 0-terminated UCS-2 strings, the form
// the firmware's text output takes. Exactly `digits` digit positions are
// written, the lowest digits of the value when it has more; int_to_ascii
// puts a '-' before them for a negative value. The buffer needs room for
// digits + 2 characters (negative) or digits + 1. Both return `buffer`.
CHAR16 *int_to_ascii(int64_t value, uint8_t digits, CHAR16 *buffer);
CHAR16 *int_to_ascii_hex(uint64_t value, uint8_t digits, CHAR16 *buffer);

// The whole talk under the given options, from finding the screen to the
// quit key: what efi_main runs with the image's own options.
EFI_STATUS present(EFI_SYSTEM_TABLE *system, const image_options &options);

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE ImageHandle, EFI_SYSTEM_TABLE *SystemTable);

#endif
