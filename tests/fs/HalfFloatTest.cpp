#include "fs/HalfFloat.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace Vrenn {
namespace {

// The value a half bit pattern stands for, decoded from its fields in double precision.
double decodeHalf(uint16_t h) {
    const int sign = (h >> 15) & 1, exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    double magnitude;
    if (exponent == 0)
        magnitude = std::ldexp(double(mantissa), -24);
    else if (exponent == 31)
        magnitude = mantissa ? std::numeric_limits<double>::quiet_NaN()
                             : std::numeric_limits<double>::infinity();
    else
        magnitude = std::ldexp(1.0 + mantissa / 1024.0, exponent - 15);
    return sign ? -magnitude : magnitude;
}

float floatFromBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Only values no half holds exactly: the sweep below covers every exact one.
TEST(HalfFloat, ValuesBetweenHalvesRoundToTheNearestWithTiesAwayFromZero) {
    EXPECT_EQ(floatToHalf(0.1f), 0x2e66);
    EXPECT_EQ(floatToHalf(1.0f / 3.0f), 0x3555);
    EXPECT_EQ(floatToHalf(3.5449077f), 0x4317);
    EXPECT_EQ(floatToHalf(65519.0f), 0x7bff); // just under half a unit above 65504
    EXPECT_EQ(floatToHalf(65520.0f), 0x7c00); // half a unit above rounds to infinity
    EXPECT_EQ(floatToHalf(-1e9f), 0xfc00);
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -26)), 0x0000);
    EXPECT_EQ(floatToHalf(-1e-30f), 0x8000);
    // A denormal mantissa that rounds up into the smallest normal.
    EXPECT_EQ(floatToHalf(std::nextafter(std::ldexp(1.0f, -14), 0.0f)), 0x0400);
    // A normal mantissa that carries into the exponent: 2047.9 -> 2048.
    EXPECT_EQ(floatToHalf(2047.9f), 0x6800);
    // Exactly half a unit of the last place goes up in magnitude; just below goes down.
    const float tie = std::ldexp(1.0f, -11);
    EXPECT_EQ(floatToHalf(1.0f + tie), 0x3c01);
    EXPECT_EQ(floatToHalf(1.0f + 3.0f * tie), 0x3c02);
    EXPECT_EQ(floatToHalf(-(1.0f + tie)), 0xbc01);
    EXPECT_EQ(floatToHalf(std::ldexp(1.0f, -25)), 0x0001);
    EXPECT_EQ(floatToHalf(std::ldexp(3.0f, -25)), 0x0002);
    EXPECT_EQ(floatToHalf(std::nextafter(1.0f + tie, 0.0f)), 0x3c00);
    EXPECT_EQ(floatToHalf(std::nextafter(std::ldexp(1.0f, -25), 0.0f)), 0x0000);

    // A NaN payload only in the low bits, which dropping 13 bits would lose, stays a NaN.
    const uint16_t nan = floatToHalf(floatFromBits(0xff800001u));
    EXPECT_EQ(nan & 0xfc00, 0xfc00);
    EXPECT_NE(nan & 0x03ff, 0);
}

TEST(HalfFloat, EveryHalfDecodesExactlyAndSurvivesTheRoundTrip) {
    for (uint32_t h = 0; h <= 0xffff; ++h) {
        const uint16_t half = uint16_t(h);
        const float f = halfToFloat(half);
        const double expected = decodeHalf(half);
        if (std::isnan(expected)) {
            EXPECT_TRUE(std::isnan(f)) << h;
            const uint16_t back = floatToHalf(f);
            EXPECT_EQ(back & 0x7c00, 0x7c00);
            EXPECT_NE(back & 0x03ff, 0);
            EXPECT_EQ(back & 0x01ff, half & 0x01ff); // payload kept
            continue;
        }
        EXPECT_EQ(double(f), expected) << h;
        EXPECT_EQ(std::signbit(f), bool(h & 0x8000)) << h;
        EXPECT_EQ(floatToHalf(f), half) << h;
    }
}

TEST(HalfFloat, RoundsToTheNearestHalf) {
    // For floats spread over the half range: no half lies closer than the chosen one, and on a
    // tie the chosen one is the larger in magnitude.
    std::mt19937 rng(17);
    std::uniform_int_distribution<uint32_t> bits(0x30000000u, 0x47ffffffu); // 2^-31 ... 131072
    for (int i = 0; i < 300000; ++i) {
        const float x = floatFromBits(bits(rng));
        const uint16_t h = floatToHalf(x);
        if (x >= 65520.0f) {
            EXPECT_EQ(h, 0x7c00) << x;
            continue;
        }
        ASSERT_LT(h, 0x7c00) << x;
        const double error = std::fabs(decodeHalf(h) - x);
        if (h < 0x7bff) {
            const double above = std::fabs(decodeHalf(uint16_t(h + 1)) - x);
            ASSERT_LT(error, above) << x;
        }
        if (h > 0) {
            const double below = std::fabs(decodeHalf(uint16_t(h - 1)) - x);
            ASSERT_LE(error, below) << x;
        }
    }
}

} // namespace
} // namespace Vrenn
