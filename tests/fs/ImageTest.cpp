#include "fs/Image.h"

#include "CodecTestSupport.h"
#include "fs/HalfFloat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <vector>

namespace Vrenn {
namespace {

using Vrenn::Test::numbered;

TEST(ImageSizeTest, FormatsMipChainsAndBlocks) {
    struct Family {
        int first, last, channelBytes;
    };
    for (const Family family : {Family{3, 4, 1}, Family{5, 12, 2}, Family{13, 16, 4}})
        for (int format = family.first; format <= family.last; ++format)
            EXPECT_EQ(bytesPerPixel(format), channelCount(format) * family.channelBytes) << format;
    for (int format : {-1, 0, 2, 20, 22, 26})
        EXPECT_EQ(bytesPerPixel(format), 0) << format;

    for (const auto& row : Vrenn::Test::table("image-sizes.txt")) {
        int v[7];
        for (size_t i = 0; i < 7; ++i)
            v[i] = std::stoi(row[i]);
        Image image;
        ASSERT_TRUE(image.create(v[0], v[1], v[2], ImageFormat(v[3]), 20, 1));
        EXPECT_EQ(image.dataSize(v[4], v[5]), uint32_t(v[6])) << ::testing::PrintToString(row);
    }
    Image image;
    ASSERT_TRUE(image.create(256, 256, 1, FORMAT_RGBA8, 9, 1));
    EXPECT_EQ(image.texelCount(0, 9), 87381u);
}

TEST(ImageCreateTest, AllocatesEveryFaceLevelMajorAndRefusesImpossibleSizes) {
    Image image;
    uint8_t* data = image.create(4, 4, 1, FORMAT_RGBA16F, 3, 6);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(image.byteCount(), (16u + 4 + 1) * 8 * 6);
    // 2^36 bytes do not fit in 32 bits; negative values make no sense; the image stays.
    EXPECT_EQ(image.create(65536, 65536, 1, FORMAT_RGBA32F, 1, 1), nullptr);
    EXPECT_EQ(image.create(-4, 4, 1, FORMAT_L8, 1, 1), nullptr);
    EXPECT_EQ(image.create(4, 4, 1, FORMAT_L8, -1, 1), nullptr);
    EXPECT_EQ(image.data(), data);

    // Level 0 of all six faces (64 bytes each) comes first, then level 1 (16 bytes).
    ASSERT_TRUE(image.create(4, 4, 1, FORMAT_RGBA8, 3, 6));
    const uint8_t* base = image.data();
    EXPECT_EQ(image.getLevelData(1), base + 6 * 64);
    EXPECT_EQ(image.getFaceData(5, 0), base + 5 * 64);
    EXPECT_EQ(image.getFaceData(2, 1), base + 6 * 64 + 2 * 16);
    EXPECT_EQ(image.getFaceData(5, 2) + 4, base + image.byteCount());
    EXPECT_FALSE(image.getLevelData(3) || image.getFaceData(6, 0) || image.getFaceData(-1, 0));
    // No data for levels past the 1x1 one even when the mip count claims them.
    ASSERT_TRUE(image.create(2, 2, 1, FORMAT_L8, 5, 1));
    EXPECT_EQ(image.getFaceData(1, 0), nullptr);
    EXPECT_EQ(image.getLevelData(1), image.data() + 4);
    EXPECT_EQ(image.getLevelData(2), nullptr);
}

TEST(ImageTexelTest, PicksTheNearestTexelAndRefusesPointsOutside) {
    const Image image = numbered(3, 3, 1, FORMAT_L8, 2, 1);
    const struct {
        float u, v;
        int level, texel;
    } cases[] = {
        {1, 1, 0, 8},     {0.5f, 0.5f, 0, 4}, {0.24f, 0.76f, 0, 6},
        {-0.2f, 0, 0, 0}, {0, 0, 1, 9}, // level 1 follows the 9 texels of level 0
        {1.3f, 0, 0, -1}, {0, -0.8f, 0, -1},  {std::nanf(""), 0, 0, -1},
    };
    for (const auto& c : cases) {
        const float uv[2] = {c.u, c.v};
        const uint8_t* found = image.getTexel(uv, c.level);
        EXPECT_EQ(found ? int{*found} : -1, c.texel) << c.u << " " << c.v;
    }
}

TEST(ImageChannelTest, SwapAndExpandTouchOnlyEightBitColour) {
    Image image = numbered(2, 2, 1, FORMAT_RGB8, 2, 6);
    auto expected = Vrenn::Test::pixels(image);
    for (size_t i = 0; i < expected.size(); i += 3)
        std::swap(expected[i], expected[i + 2]);
    image.swapRedBlue();
    EXPECT_EQ(Vrenn::Test::pixels(image), expected); // every level of every face

    image = numbered(2, 1, 1, FORMAT_RGB8, 1, 1);
    image.expandRGBToRGBA(FORMAT_RGB8); // not a target: nothing happens
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    image.expandRGBToRGBA(FORMAT_RGBA8);
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(Vrenn::Test::pixels(image), (std::vector<uint8_t>{0, 1, 2, 255, 3, 4, 5, 255}));

    for (ImageFormat format : {FORMAT_L8, FORMAT_RGBA4, FORMAT_DXT1}) {
        image = numbered(4, 4, 1, format, 1, 1);
        const auto before = Vrenn::Test::pixels(image);
        image.swapRedBlue();
        image.expandRGBToRGBA(FORMAT_RGBA8);
        EXPECT_EQ(Vrenn::Test::pixels(image), before) << format;
    }
}

// Each texel holds its own column and row, so that a face texel tells where it came from.
Image coordinates(int width, int height) {
    Image image;
    image.create(width, height, 1, FORMAT_RGBA8, 1, 1);
    uint8_t* texel = image.data();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x, texel += 4)
            std::copy_n(std::array{uint8_t(x), uint8_t(x >> 8), uint8_t(y), uint8_t(y >> 8)}.data(),
                        4, texel);
    return image;
}

std::pair<int, int> sourceOf(const uint8_t* texel) {
    return {texel[0] | texel[1] << 8, texel[2] | texel[3] << 8};
}

TEST(ImageCrossTest, VerticalCrossBecomesSixFacesWithMinusZTurned) {
    Image image = coordinates(768, 1024);
    ASSERT_TRUE(image.crossToCube());
    const int s = 256;
    EXPECT_EQ(std::tuple(image.width(), image.height(), image.faces(), image.byteCount()),
              std::tuple(s, s, 6, 6u * s * s * 4));
    // Top-left corner of each face inside the cross (+X, -X, +Y, -Y, +Z).
    const std::pair<int, int> corner[5] = {{2 * s, s}, {0, s}, {s, 0}, {s, 2 * s}, {s, s}};
    int mismatches = 0;
    for (int face = 0; face < 6; ++face)
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x)
                mismatches += sourceOf(image.getFaceData(face, 0) + 4 * (y * s + x)) !=
                              (face < 5 ? std::pair{corner[face].first + x, corner[face].second + y}
                                        : std::pair{2 * s - 1 - x, 4 * s - 1 - y}); // turned
    EXPECT_EQ(mismatches, 0);

    image = coordinates(100, 128); // 4 unused columns: the pitch is the picture's
    ASSERT_TRUE(image.crossToCube());
    EXPECT_EQ(sourceOf(image.getFaceData(0, 0) + 4 * (3 * 32 + 5)), std::pair(64 + 5, 32 + 3));
    struct Refused {
        int width, height, depth;
        ImageFormat format;
    };
    for (const Refused r : {Refused{96, 128, 1, FORMAT_DXT1}, Refused{96, 128, 2, FORMAT_RGBA8},
                            Refused{80, 128, 1, FORMAT_RGBA8}, Refused{3, 3, 1, FORMAT_RGBA8}}) {
        ASSERT_TRUE(image.create(r.width, r.height, r.depth, r.format, 1, 1));
        EXPECT_FALSE(image.crossToCube()) << r.width << "x" << r.height << "x" << r.depth;
        EXPECT_EQ(image.faces(), 1);
    }
}

// The value a half bit pattern stands for, decoded from its fields in double precision.
double decodeHalf(uint16_t h) {
    const int exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    double magnitude = std::ldexp(1.0 + mantissa / 1024.0, exponent - 15);
    if (exponent == 0) magnitude = std::ldexp(double(mantissa), -24);
    if (exponent == 31) magnitude = mantissa ? std::numeric_limits<double>::quiet_NaN() : INFINITY;
    return h & 0x8000 ? -magnitude : magnitude;
}

// Values between two neighbouring halves round to the nearer, ties away from zero; from half a
// unit above the largest finite half (65520) they become infinity.
TEST(HalfFloat, ValuesBetweenHalvesRoundToTheNearestWithTiesAwayFromZero) {
    for (uint16_t h = 0; h < 0x7c00; ++h) {
        const double next = h == 0x7bff ? 65536.0 : decodeHalf(uint16_t(h + 1));
        const auto tie = float((decodeHalf(h) + next) / 2); // exact: at most 12 bits apart
        for (const float sign : {1.0f, -1.0f}) {
            const uint16_t negative = sign < 0 ? 0x8000 : 0;
            EXPECT_EQ(floatToHalf(sign * std::nextafter(tie, 0.0f)), h | negative) << h;
            EXPECT_EQ(floatToHalf(sign * tie), (h + 1) | negative) << h;
        }
    }
    EXPECT_EQ(floatToHalf(-1e9f), 0xfc00);
    EXPECT_EQ(floatToHalf(-1e-30f), 0x8000);

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
