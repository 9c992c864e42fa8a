// The scaling oracle (scaled_oracle_core.h) for the unit tests' screens,
// and for the 640x480 slides of the default image and its fake pictures.
#ifndef SCALED_ORACLE_H
#define SCALED_ORACLE_H

#include <stdint.h>

#include "scale.h"
#include "scaled_oracle_core.h"
#include "screen_oracle.h"

rectangle expected_area(scale_mode scale, uint32_t width, uint32_t height);
void paint_black_border(expected_screen &screen, scale_mode scale);
void paint_scaled(expected_screen &screen, scale_mode scale, int number);

#endif
