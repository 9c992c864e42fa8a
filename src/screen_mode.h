// Choosing the graphics mode the talk is shown in (SCREEN_MODE).
#ifndef SCREEN_MODE_H
#define SCREEN_MODE_H

#include "efi.h"
#include "options.h"

// SCREEN_MODE's choice between two listed modes: whether a mode of
// width x height is better than the best one found so far. `slide` prefers
// the modes of a slide's size (any set's, with several), and among each
// kind the one with the most pixels; `max` the most pixels; ties keep the
// earlier mode.
bool better_mode(const image_options &options, uint32_t width, uint32_t height,
                 uint32_t best_width, uint32_t best_height);

// Sets the mode SCREEN_MODE asks for among the modes the firmware lists,
// skipping those QueryMode refuses; nothing for `keep`, or when the best
// mode is the current one. When SetMode fails the talk goes on in the
// current mode.
void set_screen_mode(EFI_GRAPHICS_OUTPUT_PROTOCOL *gop, EFI_BOOT_SERVICES *boot,
                     const image_options &options);

#endif
