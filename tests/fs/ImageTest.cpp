#include "fs/Image.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <vector>

namespace Vrenn {
namespace {

TEST(ImageFormatTest, PlainFormatsCountChannelTimesChannelWidth) {
    // Channel width in bytes of each family of plain formats.
    struct Family {
        int first, last, channelBytes;
    };
    for (const Family family : {Family{3, 4, 1}, Family{5, 12, 2}, Family{13, 16, 4}}) {
        for (int format = family.first; format <= family.last; ++format)
            EXPECT_EQ(bytesPerPixel(format), channelCount(format) * family.channelBytes)
                << "format " << format;
    }
    EXPECT_EQ(channelCount(FORMAT_L8), 1);
    EXPECT_EQ(bytesPerPixel(FORMAT_L8), 1);
    // Packed 16- and 32-bit formats, and the single-channel 2-, 3- and 4-byte ones.
    EXPECT_EQ(bytesPerPixel(FORMAT_RGBA4), 2);
    EXPECT_EQ(bytesPerPixel(FORMAT_R5G6B5), 2);
    EXPECT_EQ(bytesPerPixel(FORMAT_RGB10A2), 4);
    EXPECT_EQ(bytesPerPixel(FORMAT_D24), 3);
    // No size: unknown codes, the alpha-luminance code and the block formats.
    for (int format : {-1, 0, 2, 20, 21, 22, 26, 1000})
        EXPECT_EQ(bytesPerPixel(format), 0);
    for (int format : {-1, 0, 2, 26})
        EXPECT_EQ(channelCount(format), 0);
    EXPECT_EQ(channelCount(FORMAT_DXT1), 3);
    EXPECT_EQ(channelCount(FORMAT_DXT5), 4);
}

// Sum of the texels of a square mip chain, counted independently of Image.
uint32_t squareChainTexels(uint32_t size) {
    uint32_t total = 0;
    for (;; size /= 2) {
        total += size * size;
        if (size == 1) return total;
    }
}

TEST(ImageSizeTest, MipChainsStopAfterTheSmallestLevel) {
    Image image;
    ASSERT_TRUE(image.create(256, 256, 1, FORMAT_RGBA8, 9, 1));
    EXPECT_EQ(image.dataSize(0, 9), 349524u);
    EXPECT_EQ(image.dataSize(0, 9), squareChainTexels(256) * 4);
    EXPECT_EQ(image.dataSize(0, 20), 349524u);
    EXPECT_EQ(image.dataSize(1, 1), 128u * 128 * 4);
    EXPECT_EQ(image.dataSize(8, 5), 4u); // only the 1x1 level is left
    EXPECT_EQ(image.dataSize(0, 0), 0u);
    EXPECT_EQ(image.dataSize(0, 1, FORMAT_RGBA32F), 256u * 256 * 16);
    EXPECT_EQ(image.texelCount(0, 9), squareChainTexels(256));

    // A long thin image keeps halving the long side after the short one reached 1.
    ASSERT_TRUE(image.create(8, 2, 1, FORMAT_L8, 10, 1));
    EXPECT_EQ(image.dataSize(0, 10), 16u + 4 + 2 + 1);
    // A volume halves its depth too.
    ASSERT_TRUE(image.create(4, 4, 4, FORMAT_RGBA8, 3, 1));
    EXPECT_EQ(image.dataSize(0, 3), (64u + 8 + 1) * 4);
}

TEST(ImageSizeTest, BlockFormatsCountWholeBlocksAndIgnoreDepth) {
    Image image;
    ASSERT_TRUE(image.create(1, 1, 1, FORMAT_DXT1, 1, 1));
    EXPECT_EQ(image.dataSize(0, 1), 8u);
    ASSERT_TRUE(image.create(256, 256, 1, FORMAT_DXT1, 9, 1));
    // 64x64, 32x32, ... blocks down to one block for each of the 4x4, 2x2 and 1x1 levels.
    EXPECT_EQ(image.dataSize(0, 9), (4096u + 1024 + 256 + 64 + 16 + 4 + 1 + 1 + 1) * 8);
    EXPECT_EQ(image.dataSize(0, 9), 43704u);
    ASSERT_TRUE(image.create(5, 3, 4, FORMAT_DXT5, 1, 1));
    EXPECT_EQ(image.dataSize(0, 1), 2u * 1 * 16);
    EXPECT_EQ(image.texelCount(0, 1), 5u * 3 * 4); // texels still count depth
    EXPECT_EQ(image.byteCount(), 32u);
}

TEST(ImageCreateTest, AllocatesEveryFaceAndRefusesImpossibleSizes) {
    Image image;
    EXPECT_EQ(image.width(), 0);
    EXPECT_EQ(image.faces(), 1);
    EXPECT_EQ(image.format(), FORMAT_UNKNOWN);
    EXPECT_EQ(image.data(), nullptr);

    uint8_t* data = image.create(4, 4, 1, FORMAT_RGBA16F, 3, 6);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data, image.data());
    EXPECT_EQ(image.byteCount(), (16u + 4 + 1) * 8 * 6);
    EXPECT_EQ(image.mipLevels(), 3);
    EXPECT_EQ(image.faces(), 6);

    // 65536 x 65536 x 16 bytes is far beyond 32 bits; negative values make no sense.
    EXPECT_EQ(image.create(65536, 65536, 1, FORMAT_RGBA32F, 1, 1), nullptr);
    EXPECT_EQ(image.create(-4, 4, 1, FORMAT_L8, 1, 1), nullptr);
    EXPECT_EQ(image.create(4, 4, 1, FORMAT_L8, -1, 1), nullptr);
    // A refused create leaves the image as it was.
    EXPECT_EQ(image.data(), data);
    EXPECT_EQ(image.format(), FORMAT_RGBA16F);
    EXPECT_EQ(image.faces(), 6);
}

TEST(ImageLayoutTest, LevelsAndFacesAreLevelMajor) {
    Image image;
    ASSERT_TRUE(image.create(4, 4, 1, FORMAT_RGBA8, 3, 6));
    const uint8_t* base = image.data();
    EXPECT_EQ(image.getLevelData(0), base);
    // Level 0 of all six faces (64 bytes each) comes first, then level 1 (16 bytes).
    EXPECT_EQ(image.getLevelData(1), base + 6 * 64);
    EXPECT_EQ(image.getLevelData(2), base + 6 * 64 + 6 * 16);
    EXPECT_EQ(image.getFaceData(0, 0), base);
    EXPECT_EQ(image.getFaceData(5, 0), base + 5 * 64);
    EXPECT_EQ(image.getFaceData(2, 1), base + 6 * 64 + 2 * 16);
    EXPECT_EQ(image.getFaceData(5, 2), base + 6 * 64 + 6 * 16 + 5 * 4);
    EXPECT_EQ(image.getFaceData(5, 2) + 4, base + image.byteCount());

    EXPECT_EQ(image.getLevelData(3), nullptr);
    EXPECT_EQ(image.getLevelData(-1), nullptr);
    EXPECT_EQ(image.getFaceData(6, 0), nullptr);
    EXPECT_EQ(image.getFaceData(-1, 0), nullptr);

    // A single-face image has no face 1, and levels past the 1x1 one hold no data
    // even when the mip count claims them.
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
    EXPECT_EQ(texel(0, 0), 0);
    EXPECT_EQ(texel(1, 1), 8);
    EXPECT_EQ(texel(0.5f, 0.5f), 4);
    EXPECT_EQ(texel(0.24f, 0.76f), 6);  // column 0, row 2
    EXPECT_EQ(texel(-0.2f, 0.0f), 0);   // -0.4 + 0.5 truncates to column 0
    EXPECT_EQ(texel(0.0f, 0.0f, 1), 9); // level 1 is one texel after the 9 of level 0
    EXPECT_EQ(texel(1.3f, 0.0f), -1);
    EXPECT_EQ(texel(0.0f, -0.8f), -1);
    EXPECT_EQ(texel(std::nanf(""), 0.0f), -1);
    EXPECT_EQ(texel(0.0f, 0.0f, 2), -1);

    ASSERT_TRUE(image.create(4, 2, 1, FORMAT_RGBA16, 1, 1));
    const float corner[2] = {1.0f, 1.0f};
    EXPECT_EQ(image.getTexel(corner, 0), image.data() + 7 * 8);
    ASSERT_TRUE(image.create(4, 4, 1, FORMAT_DXT1, 1, 1));
    EXPECT_EQ(image.getTexel(corner, 0), nullptr);
}

TEST(ImageChannelTest, SwapRedBlueCoversEveryLevelAndFace) {
    Image image;
    ASSERT_TRUE(image.create(2, 2, 1, FORMAT_RGB8, 2, 6));
    for (size_t i = 0; i < image.byteCount(); i += 3) {
        image.data()[i] = 1;
        image.data()[i + 1] = 2;
        image.data()[i + 2] = 3;
    }
    image.swapRedBlue();
    for (size_t i = 0; i < image.byteCount(); i += 3) {
        ASSERT_EQ(image.data()[i], 3) << i;
        ASSERT_EQ(image.data()[i + 1], 2) << i;
        ASSERT_EQ(image.data()[i + 2], 1) << i;
    }

    // Formats that are not 8-bit colour stay as they are.
    for (ImageFormat format : {FORMAT_L8, FORMAT_RGBA4, FORMAT_RGBA32F, FORMAT_DXT1}) {
        ASSERT_TRUE(image.create(4, 4, 1, format, 1, 1));
        std::iota(image.data(), image.data() + image.byteCount(), uint8_t{0});
        const std::vector<uint8_t> before(image.data(), image.data() + image.byteCount());
        image.swapRedBlue();
        EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + image.byteCount()), before)
            << "format " << format;
    }
}

TEST(ImageChannelTest, ExpandAddsOpaqueAlphaOnlyFromRGBToRGBA) {
    Image image;
    ASSERT_TRUE(image.create(2, 1, 1, FORMAT_RGB8, 1, 1));
    const uint8_t rgb[] = {10, 20, 30, 40, 50, 60};
    std::memcpy(image.data(), rgb, sizeof rgb);
    image.expandRGBToRGBA(FORMAT_RGB8);
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    image.expandRGBToRGBA(FORMAT_RGBA8);
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    ASSERT_EQ(image.byteCount(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + 8),
              (std::vector<uint8_t>{10, 20, 30, 255, 40, 50, 60, 255}));

    ASSERT_TRUE(image.create(2, 1, 1, FORMAT_L8, 1, 1));
    image.expandRGBToRGBA(FORMAT_RGBA8);
    EXPECT_EQ(image.format(), FORMAT_L8);
    EXPECT_EQ(image.byteCount(), 2u);
}

// Each texel of a cross holds its own column and row, so every face texel tells
// where it came from.
void fillWithCoordinates(Image& image) {
    uint8_t* texel = image.data();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x, texel += 4) {
            texel[0] = static_cast<uint8_t>(x & 255);
            texel[1] = static_cast<uint8_t>(x >> 8);
            texel[2] = static_cast<uint8_t>(y & 255);
            texel[3] = static_cast<uint8_t>(y >> 8);
        }
    }
}

struct Source {
    int x, y;
};

Source sourceOf(const uint8_t* texel) {
    return {texel[0] | texel[1] << 8, texel[2] | texel[3] << 8};
}

TEST(ImageCrossTest, VerticalCrossBecomesSixFacesWithMinusZTurned) {
    Image image;
    ASSERT_TRUE(image.create(768, 1024, 1, FORMAT_RGBA8, 1, 1));
    fillWithCoordinates(image);
    ASSERT_TRUE(image.crossToCube());
    EXPECT_EQ(image.width(), 256);
    EXPECT_EQ(image.height(), 256);
    EXPECT_EQ(image.depth(), 1);
    EXPECT_EQ(image.mipLevels(), 1);
    EXPECT_EQ(image.faces(), 6);
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(image.byteCount(), 6u * 256 * 256 * 4);

    const int s = 256;
    // Top-left corner of each face inside the cross (+X, -X, +Y, -Y, +Z).
    const Source corner[5] = {{2 * s, s}, {0, s}, {s, 0}, {s, 2 * s}, {s, s}};
    int mismatches = 0;
    for (int face = 0; face < 6; ++face) {
        const uint8_t* data = image.getFaceData(face, 0);
        for (int y = 0; y < s; ++y) {
            for (int x = 0; x < s; ++x) {
                const Source expected = face < 5 ? Source{corner[face].x + x, corner[face].y + y}
                                                 : Source{2 * s - 1 - x, 4 * s - 1 - y};
                const Source got = sourceOf(data + 4 * (y * s + x));
                if (got.x != expected.x || got.y != expected.y) ++mismatches;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // The -Z face's top-left texel is the bottom-right texel of its cell.
    const Source negZ = sourceOf(image.getFaceData(5, 0));
    EXPECT_EQ(negZ.x, 511);
    EXPECT_EQ(negZ.y, 1023);
}

TEST(ImageCrossTest, WiderPicturesKeepTheirRowPitch) {
    // 100 texels wide, 128 high: faces of 32, the four texels on the right unused.
    Image image;
    ASSERT_TRUE(image.create(100, 128, 1, FORMAT_RGBA8, 1, 1));
    fillWithCoordinates(image);
    ASSERT_TRUE(image.crossToCube());
    const Source plusX = sourceOf(image.getFaceData(0, 0) + 4 * (3 * 32 + 5));
    EXPECT_EQ(plusX.x, 64 + 5);
    EXPECT_EQ(plusX.y, 32 + 3);
}

TEST(ImageCrossTest, RefusesWhatCannotBeACross) {
    Image image;
    ASSERT_TRUE(image.create(96, 128, 1, FORMAT_DXT1, 1, 1));
    EXPECT_FALSE(image.crossToCube());
    EXPECT_EQ(image.faces(), 1);
    EXPECT_EQ(image.width(), 96);

    ASSERT_TRUE(image.create(96, 128, 2, FORMAT_RGBA8, 1, 1));
    EXPECT_FALSE(image.crossToCube());
    EXPECT_EQ(image.depth(), 2);

    ASSERT_TRUE(image.create(80, 128, 1, FORMAT_RGBA8, 1, 1)); // narrower than 3 faces
    EXPECT_FALSE(image.crossToCube());
    ASSERT_TRUE(image.create(3, 3, 1, FORMAT_RGBA8, 1, 1)); // faces of 0 texels
    EXPECT_FALSE(image.crossToCube());
    EXPECT_FALSE(Image().crossToCube());
}

} // namespace
} // namespace Vrenn
