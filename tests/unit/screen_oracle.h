// What the screen must show, worked out pixel by pixel from the fake
// pictures, and a comparison that says which picture was seen where the
// screen went wrong.
#ifndef SCREEN_ORACLE_H
#define SCREEN_ORACLE_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <vector>

#include "scaled_oracle_core.h"

struct expected_screen : oracle_screen {
    expected_screen(uint32_t width, uint32_t height);
    // Puts fake picture `number` at the top-left corner, clipped.
    void paint(int number);
};

::testing::AssertionResult same_screen(const std::vector<uint32_t> &seen,
                                       const expected_screen &expected);

#endif
