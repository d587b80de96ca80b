#include "fs/HalfFloat.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>

namespace Vrenn {
namespace {

// The value a half bit pattern stands for, decoded from its fields in double precision.
double decodeHalf(uint16_t h) {
    const int exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    double magnitude = std::ldexp(1.0 + mantissa / 1024.0, exponent - 15);
    if (exponent == 0) magnitude = std::ldexp(double(mantissa), -24);
    if (exponent == 31) magnitude = mantissa ? std::numeric_limits<double>::quiet_NaN() : INFINITY;
    return h & 0x8000 ? -magnitude : magnitude;
}

// Values between halves round to the nearest, ties away from zero; the sweep below covers
// every exactly held value.
TEST(HalfFloat, ValuesBetweenHalvesRoundToTheNearestWithTiesAwayFromZero) {
    const float tie = std::ldexp(1.0f, -11);
    const std::pair<float, uint16_t> cases[] = {
        {0.1f, 0x2e66},
        {1.0f / 3.0f, 0x3555},
        {65519.0f, 0x7bff}, // just under half a unit above 65504
        {65520.0f, 0x7c00}, // half a unit above rounds to infinity
        {-1e9f, 0xfc00},
        {std::ldexp(1.0f, -26), 0x0000},
        {-1e-30f, 0x8000},
        {std::nextafter(std::ldexp(1.0f, -14), 0.0f), 0x0400}, // denormal rounds up to normal
        {2047.9f, 0x6800},                                     // mantissa carries
        {1.0f + tie, 0x3c01},
        {1.0f + 3.0f * tie, 0x3c02},
        {-(1.0f + tie), 0xbc01},
        {std::ldexp(1.0f, -25), 0x0001},
        {std::ldexp(3.0f, -25), 0x0002},
        {std::nextafter(1.0f + tie, 0.0f), 0x3c00},
        {std::nextafter(std::ldexp(1.0f, -25), 0.0f), 0x0000},
    };
    for (const auto& [value, half] : cases)
        EXPECT_EQ(floatToHalf(value), half) << value;

    // A NaN payload only in the low bits, which dropping 13 bits would lose, stays a NaN.
    const uint32_t bits = 0xff800001u;
    float nan;
    std::memcpy(&nan, &bits, sizeof nan);
    EXPECT_EQ(floatToHalf(nan) & 0xfc00, 0xfc00);
    EXPECT_NE(floatToHalf(nan) & 0x03ff, 0);
}

TEST(HalfFloat, EveryHalfDecodesExactlyAndSurvivesTheRoundTrip) {
    for (uint32_t h = 0; h <= 0xffff; ++h) {
        const float f = halfToFloat(uint16_t(h));
        const double expected = decodeHalf(uint16_t(h));
        if (std::isnan(expected)) {
            const uint16_t back = floatToHalf(f);
            EXPECT_TRUE(std::isnan(f) && (back & 0x7c00) == 0x7c00 && (back & 0x03ff) != 0 &&
                        (back & 0x01ff) == (h & 0x01ff)) // payload kept
                << h;
            continue;
        }
        EXPECT_EQ(double(f), expected) << h;
        EXPECT_EQ(std::signbit(f), bool(h & 0x8000)) << h;
        EXPECT_EQ(floatToHalf(f), h) << h;
    }
}

} // namespace
} // namespace Vrenn
