// The number formatters, checked against the host C library's printf over
// many values and every width, and on the cases that show the intended
// truncation and the sign before the zeros.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "BOOTX64.h"

namespace {

constexpr CHAR16 sentinel = 0xFFFF;

// The formatter's result as text, after checking that it wrote exactly
// `length` characters and a terminator, and nothing beyond.
std::string written(const std::vector<CHAR16> &buffer, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        EXPECT_NE(buffer[i], 0) << "terminator too early, at " << i;
        EXPECT_LT(buffer[i], 0x80) << "not an ASCII character at " << i;
        text.push_back((char)buffer[i]);
    }
    EXPECT_EQ(buffer[length], 0) << "no terminator at " << length;
    for (size_t i = length + 1; i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], sentinel) << "written past the terminator, at " << i;
    return text;
}

std::string decimal(int64_t value, uint8_t digits) {
    std::vector<CHAR16> buffer(digits + 8, sentinel);
    EXPECT_EQ(int_to_ascii(value, digits, buffer.data()), buffer.data());
    return written(buffer, digits + (value < 0 ? 1 : 0));
}

std::string hexadecimal(uint64_t value, uint8_t digits) {
    std::vector<CHAR16> buffer(digits + 8, sentinel);
    EXPECT_EQ(int_to_ascii_hex(value, digits, buffer.data()), buffer.data());
    return written(buffer, digits);
}

// What printf makes of the magnitude, zero-padded to `digits` and cut to
// its lowest `digits` characters.
std::string low_digits(const char *format, uint64_t magnitude, unsigned digits) {
    char text[300];
    snprintf(text, sizeof text, format, (int)digits, (unsigned long long)magnitude);
    const std::string full = text;
    return full.substr(full.size() - digits);
}

std::string printf_decimal(int64_t value, unsigned digits) {
    const uint64_t magnitude = value < 0 ? 0 - (uint64_t)value : (uint64_t)value;
    return (value < 0 ? "-" : "") + low_digits("%0*llu", magnitude, digits);
}

// Values of every magnitude: a random bit length, then random bits.
std::vector<uint64_t> random_values(size_t count) {
    std::mt19937_64 random(20261209);
    std::vector<uint64_t> values = {0, 1, 9, 10, 99, 100, UINT64_MAX, INT64_MAX,
                                    (uint64_t)INT64_MIN, (uint64_t)INT64_MIN + 1};
    while (values.size() < count) {
        const unsigned bits = random() % 64 + 1;
        values.push_back(bits == 64 ? random() : random() & ((1ull << bits) - 1));
    }
    return values;
}

TEST(Decimal, MatchesPrintfForEveryWidth) {
    const std::vector<uint64_t> values = random_values(400);
    for (unsigned digits = 0; digits <= 255; ++digits)
        for (uint64_t bits : values) {
            const int64_t value = (int64_t)bits;
            ASSERT_EQ(decimal(value, (uint8_t)digits), printf_decimal(value, digits))
                << "value " << value << ", " << digits << " positions";
        }
}

TEST(Hexadecimal, MatchesPrintfForEveryWidth) {
    const std::vector<uint64_t> values = random_values(400);
    for (unsigned digits = 0; digits <= 255; ++digits)
        for (uint64_t value : values)
            ASSERT_EQ(hexadecimal(value, (uint8_t)digits), low_digits("%0*llX", value, digits))
                << "value " << value << ", " << digits << " positions";
}

TEST(Decimal, PadsTruncatesAndSigns) {
    EXPECT_EQ(decimal(0, 3), "000");
    EXPECT_EQ(decimal(7, 1), "7");
    EXPECT_EQ(decimal(987, 2), "87");
    EXPECT_EQ(decimal(-7, 3), "-007");
    EXPECT_EQ(decimal(-5, 0), "-");
    EXPECT_EQ(decimal(5, 0), "");
    EXPECT_EQ(decimal(INT64_MAX, 19), "9223372036854775807");
    EXPECT_EQ(decimal(INT64_MIN, 19), "-9223372036854775808");
    EXPECT_EQ(decimal(INT64_MIN, 3), "-808");
    EXPECT_EQ(decimal(42, 200), std::string(198, '0') + "42");
}

TEST(Hexadecimal, PadsAndTruncatesInUpperCase) {
    EXPECT_EQ(hexadecimal(255, 4), "00FF");
    EXPECT_EQ(hexadecimal(0xABC, 2), "BC");
    EXPECT_EQ(hexadecimal(0xABC, 0), "");
    EXPECT_EQ(hexadecimal(UINT64_MAX, 16), "FFFFFFFFFFFFFFFF");
    EXPECT_EQ(hexadecimal(0x0123456789ABCDEFull, 20), "00000123456789ABCDEF");
}

}  // namespace
