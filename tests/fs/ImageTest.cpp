#include "fs/Image.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace Vrenn {
namespace {

std::vector<uint8_t> bytesOf(const Image& image) {
    return std::vector<uint8_t>(image.data(), image.data() + image.byteCount());
}

TEST(ImageFormatTest, PlainFormatsCountChannelsTimesChannelWidth) {
    struct Family {
        int first, last, channelBytes;
    };
    for (const Family family : {Family{3, 4, 1}, Family{5, 12, 2}, Family{13, 16, 4}})
        for (int format = family.first; format <= family.last; ++format)
            EXPECT_EQ(bytesPerPixel(format), channelCount(format) * family.channelBytes) << format;
    for (int format : {-1, 0, 2, 20, 22, 26})
        EXPECT_EQ(bytesPerPixel(format), 0) << format;
}

TEST(ImageSizeTest, MipChainsStopAfterTheSmallestLevel) {
    Image image;
    ASSERT_TRUE(image.create(256, 256, 1, FORMAT_RGBA8, 9, 1));
    EXPECT_EQ(image.texelCount(0, 9), 87381u); // 256^2 + 128^2 + ... + 1
    EXPECT_EQ(image.dataSize(0, 9), 349524u);
    EXPECT_EQ(image.dataSize(0, 20), 349524u);
    EXPECT_EQ(image.dataSize(1, 1), 128u * 128 * 4);
    // A long thin image keeps halving its long side; a volume halves its depth too.
    ASSERT_TRUE(image.create(8, 2, 1, FORMAT_L8, 10, 1));
    EXPECT_EQ(image.dataSize(0, 10), 16u + 4 + 2 + 1);
    ASSERT_TRUE(image.create(4, 4, 4, FORMAT_RGBA8, 3, 1));
    EXPECT_EQ(image.dataSize(0, 3), (64u + 8 + 1) * 4);

    // Block formats count whole 4x4 blocks and ignore depth.
    ASSERT_TRUE(image.create(1, 1, 1, FORMAT_DXT1, 1, 1));
    EXPECT_EQ(image.dataSize(0, 1), 8u);
    ASSERT_TRUE(image.create(256, 256, 1, FORMAT_DXT1, 9, 1));
    EXPECT_EQ(image.dataSize(0, 9), 43704u); // (4096 + 1024 + ... + 4 + 1 + 1 + 1) * 8
    ASSERT_TRUE(image.create(5, 3, 4, FORMAT_DXT5, 1, 1));
    EXPECT_EQ(image.byteCount(), 2u * 1 * 16);
}

TEST(ImageCreateTest, AllocatesEveryFaceAndRefusesImpossibleSizes) {
    Image image;
    uint8_t* data = image.create(4, 4, 1, FORMAT_RGBA16F, 3, 6);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(image.byteCount(), (16u + 4 + 1) * 8 * 6);
    // 2^36 bytes do not fit in 32 bits; negative values make no sense. A refused
    // create leaves the image as it was.
    EXPECT_EQ(image.create(65536, 65536, 1, FORMAT_RGBA32F, 1, 1), nullptr);
    EXPECT_EQ(image.create(-4, 4, 1, FORMAT_L8, 1, 1), nullptr);
    EXPECT_EQ(image.create(4, 4, 1, FORMAT_L8, -1, 1), nullptr);
    EXPECT_EQ(image.data(), data);
    EXPECT_EQ(image.format(), FORMAT_RGBA16F);
}

TEST(ImageLayoutTest, LevelsAndFacesAreLevelMajor) {
    Image image;
    ASSERT_TRUE(image.create(4, 4, 1, FORMAT_RGBA8, 3, 6));
    const uint8_t* base = image.data();
    // Level 0 of all six faces (64 bytes each) comes first, then level 1 (16 bytes).
    EXPECT_EQ(image.getLevelData(0), base);
    EXPECT_EQ(image.getLevelData(1), base + 6 * 64);
    EXPECT_EQ(image.getFaceData(5, 0), base + 5 * 64);
    EXPECT_EQ(image.getFaceData(2, 1), base + 6 * 64 + 2 * 16);
    EXPECT_EQ(image.getFaceData(5, 2) + 4, base + image.byteCount());
    EXPECT_EQ(image.getLevelData(3), nullptr);
    EXPECT_EQ(image.getFaceData(6, 0), nullptr);
    EXPECT_EQ(image.getFaceData(-1, 0), nullptr);
    // No face 1 in a single-face image, and no data for levels past the 1x1 one even
    // when the mip count claims them.
    ASSERT_TRUE(image.create(2, 2, 1, FORMAT_L8, 5, 1));
    EXPECT_EQ(image.getFaceData(1, 0), nullptr);
    EXPECT_EQ(image.getLevelData(1), image.data() + 4);
    EXPECT_EQ(image.getLevelData(2), nullptr);
}

TEST(ImageTexelTest, PicksTheNearestTexelAndRefusesPointsOutside) {
    Image image;
    ASSERT_TRUE(image.create(3, 3, 1, FORMAT_L8, 2, 1));
    std::iota(image.data(), image.data() + image.byteCount(), uint8_t{0});
    auto texel = [&](float u, float v, int level = 0) {
        const float uv[2] = {u, v};
        const uint8_t* found = image.getTexel(uv, level);
        return found ? int{*found} : -1;
    };
    EXPECT_EQ(texel(1, 1), 8);
    EXPECT_EQ(texel(0.5f, 0.5f), 4);
    EXPECT_EQ(texel(0.24f, 0.76f), 6);  // column 0, row 2
    EXPECT_EQ(texel(-0.2f, 0.0f), 0);   // -0.4 + 0.5 truncates to column 0
    EXPECT_EQ(texel(0.0f, 0.0f, 1), 9); // level 1 follows the 9 texels of level 0
    EXPECT_EQ(texel(1.3f, 0.0f), -1);
    EXPECT_EQ(texel(0.0f, -0.8f), -1);
    EXPECT_EQ(texel(std::nanf(""), 0.0f), -1);
}

TEST(ImageChannelTest, SwapAndExpandTouchOnlyEightBitColour) {
    Image image;
    ASSERT_TRUE(image.create(2, 2, 1, FORMAT_RGB8, 2, 6));
    std::iota(image.data(), image.data() + image.byteCount(), uint8_t{0});
    auto expected = bytesOf(image);
    for (size_t i = 0; i < expected.size(); i += 3)
        std::swap(expected[i], expected[i + 2]);
    image.swapRedBlue();
    EXPECT_EQ(bytesOf(image), expected); // every level of every face

    ASSERT_TRUE(image.create(2, 1, 1, FORMAT_RGB8, 1, 1));
    std::iota(image.data(), image.data() + 6, uint8_t{10});
    image.expandRGBToRGBA(FORMAT_RGB8); // not a target: nothing happens
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    image.expandRGBToRGBA(FORMAT_RGBA8);
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(bytesOf(image), (std::vector<uint8_t>{10, 11, 12, 255, 13, 14, 15, 255}));

    for (ImageFormat format : {FORMAT_L8, FORMAT_RGBA4, FORMAT_DXT1}) {
        ASSERT_TRUE(image.create(4, 4, 1, format, 1, 1));
        std::iota(image.data(), image.data() + image.byteCount(), uint8_t{0});
        const auto before = bytesOf(image);
        image.swapRedBlue();
        image.expandRGBToRGBA(FORMAT_RGBA8);
        EXPECT_EQ(bytesOf(image), before) << format;
        EXPECT_EQ(image.format(), format);
    }
}

// Fills each texel with its own column and row, so that a face texel tells where it
// came from.
void fillWithCoordinates(Image& image) {
    uint8_t* texel = image.data();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x, texel += 4) {
            const uint8_t coordinates[4] = {uint8_t(x), uint8_t(x >> 8), uint8_t(y),
                                            uint8_t(y >> 8)};
            std::copy(coordinates, coordinates + 4, texel);
        }
    }
}

std::pair<int, int> sourceOf(const uint8_t* texel) {
    return {texel[0] | texel[1] << 8, texel[2] | texel[3] << 8};
}

TEST(ImageCrossTest, VerticalCrossBecomesSixFacesWithMinusZTurned) {
    Image image;
    ASSERT_TRUE(image.create(768, 1024, 1, FORMAT_RGBA8, 1, 1));
    fillWithCoordinates(image);
    ASSERT_TRUE(image.crossToCube());
    EXPECT_EQ(image.width(), 256);
    EXPECT_EQ(image.height(), 256);
    EXPECT_EQ(image.mipLevels(), 1);
    EXPECT_EQ(image.faces(), 6);
    EXPECT_EQ(image.byteCount(), 6u * 256 * 256 * 4);

    const int s = 256;
    // Top-left corner of each face inside the cross (+X, -X, +Y, -Y, +Z).
    const std::pair<int, int> corner[5] = {{2 * s, s}, {0, s}, {s, 0}, {s, 2 * s}, {s, s}};
    int mismatches = 0;
    for (int face = 0; face < 6; ++face) {
        const uint8_t* data = image.getFaceData(face, 0);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) {
                const auto expected =
                    face < 5 ? std::pair{corner[face].first + x, corner[face].second + y}
                             : std::pair{2 * s - 1 - x, 4 * s - 1 - y}; // turned 180 degrees
                mismatches += sourceOf(data + 4 * (y * s + x)) != expected;
            }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(ImageCrossTest, WiderPicturesKeepTheirPitchAndOthersAreRefused) {
    Image image;
    ASSERT_TRUE(image.create(100, 128, 1, FORMAT_RGBA8, 1, 1)); // 4 unused columns
    fillWithCoordinates(image);
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
        EXPECT_EQ(image.width(), r.width);
    }
}

} // namespace
} // namespace Vrenn
