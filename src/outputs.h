// The graphics outputs the talk is shown on (SCREENS).
#ifndef OUTPUTS_H
#define OUTPUTS_H

#include "efi.h"
#include "options.h"

// The most screens drawn on; further ones keep the firmware's picture.
constexpr uint32_t max_screens = 8;

// Fills `outputs` with the graphics outputs to draw on and returns how
// many, at least 1. `located` is the one LocateProtocol returned, which
// SCREENS=first draws on alone. With mirror: every output whose handle
// also carries a device path, `located` first when it is one of them.
// The firmware's console splitter adds a virtual output that copies its
// Blt to every screen; it has no device path and is left out, unless no
// output has one. When the outputs cannot be listed, `located` alone.
uint32_t find_outputs(EFI_BOOT_SERVICES *boot, EFI_GRAPHICS_OUTPUT_PROTOCOL *located,
                      const image_options &options, EFI_GRAPHICS_OUTPUT_PROTOCOL **outputs);

#endif
