// Files written by other programs (ImageMagick, cjpeg; see tests/data/fs/make-fixtures.sh),
// decoded pixel for pixel against those programs' own decodes.
#include "CodecTestSupport.h"
#include "fs/DDSCodec.h"
#include "support/TestData.h"

#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::pixels;
using Vrenn::Test::readBytes;
using Vrenn::Test::testDataPath;

std::string fixture(const std::string& name) {
    return testDataPath("fs/" + name);
}

std::vector<uint8_t> fixtureBytes(const std::string& name) {
    const std::string bytes = readBytes(fixture(name));
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

struct FixtureTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;

    Image load(const std::string& name) {
        Image image;
        EXPECT_TRUE(image.load(fixture(name))) << name;
        return image;
    }
};

TEST_F(FixtureTest, DDSFromImageMagickMatchesItsDecode) {
    // 24-bit, with a full chain of 4 mip levels.
    Image image = load("im_rgb_mips.dds");
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    EXPECT_EQ(image.width(), 8);
    EXPECT_EQ(image.height(), 8);
    EXPECT_EQ(image.mipLevels(), 4);
    EXPECT_EQ(image.faces(), 1);
    EXPECT_EQ(image.byteCount(), fixtureBytes("im_rgb_mips.dds").size() - DDSCodec::kHeaderSize);
    const auto reference = fixtureBytes("im_rgb_mips.rgb");
    ASSERT_EQ(reference.size(), 8u * 8 * 3);
    EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + reference.size()), reference);

    // 32-bit with alpha, no mips.
    image = load("im_rgba.dds");
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(image.width(), 8);
    EXPECT_EQ(image.height(), 6);
    EXPECT_EQ(image.mipLevels(), 1);
    EXPECT_EQ(pixels(image), fixtureBytes("im_rgba.rgba"));
}

TEST_F(FixtureTest, DXTFromImageMagickIsKeptCompressed) {
    Image image = load("im_dxt1.dds");
    EXPECT_EQ(image.format(), FORMAT_DXT1);
    EXPECT_EQ(image.width(), 16);
    EXPECT_EQ(image.mipLevels(), 5);
    auto file = fixtureBytes("im_dxt1.dds");
    // Blocks of 16x16, 8x8, 4x4, 2x2 and 1x1: 16 + 4 + 1 + 1 + 1, 8 bytes each.
    ASSERT_EQ(file.size(), DDSCodec::kHeaderSize + 23 * 8);
    EXPECT_EQ(pixels(image),
              std::vector<uint8_t>(file.begin() + DDSCodec::kHeaderSize, file.end()));

    image = load("im_dxt5.dds");
    EXPECT_EQ(image.format(), FORMAT_DXT5);
    file = fixtureBytes("im_dxt5.dds");
    ASSERT_EQ(file.size(), DDSCodec::kHeaderSize + 3 * 2 * 16); // 12x8: 3x2 blocks
    EXPECT_EQ(pixels(image),
              std::vector<uint8_t>(file.begin() + DDSCodec::kHeaderSize, file.end()));
}

// ImageMagick's float decode of a Radiance file, packed by the reference formula.
Image expectedHDR(const std::string& name, int width, int height, float range) {
    const std::string floats = readBytes(fixture(name + ".f32"));
    EXPECT_EQ(floats.size(), size_t(width) * height * 3 * sizeof(float));
    Image image;
    image.create(width, height, 1, FORMAT_RGBA8, 1, 1);
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        float rgb[3];
        std::memcpy(rgb, floats.data() + 12 * i, 12);
        const auto packed = Vrenn::Test::referencePack(rgb[0], rgb[1], rgb[2], range);
        std::memcpy(image.data() + 4 * i, packed.data(), 4);
    }
    return image;
}

TEST_F(FixtureTest, RadianceFromImageMagickMatchesItsDecode) {
    struct Case {
        const char* name;
        int width, height;
        bool cross;
    };
    const Case cases[] = {
        {"im_rle_cross", 24, 32, true},
        {"im_rle_square", 16, 12, false},
        {"im_flat", 6, 5, false},
        {"im_flat_cross", 6, 8, true},
    };
    for (const char* range : {"0", "1", "0.25"}) {
        environment.setMaxLuminance(range);
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << " max_env_lum " << range);
            Image expected = expectedHDR(c.name, c.width, c.height, std::stof(range));
            if (c.cross) {
                ASSERT_TRUE(expected.crossToCube());
            }
            Image image = load(std::string(c.name) + ".hdr");
            EXPECT_EQ(image.format(), FORMAT_RGBA8);
            EXPECT_EQ(image.width(), expected.width());
            EXPECT_EQ(image.height(), expected.height());
            EXPECT_EQ(image.faces(), c.cross ? 6 : 1);
            ASSERT_EQ(image.byteCount(), expected.byteCount());
            // ImageMagick keeps 16 bits per channel, so a byte may land one step away.
            int worst = 0;
            for (size_t i = 0; i < image.byteCount(); ++i)
                worst = std::max(worst, std::abs(int(image.data()[i]) - int(expected.data()[i])));
            EXPECT_LE(worst, 1);
        }
    }
}

// A binary PNM (P5 grey or P6 colour, maxval 255) as written by djpeg.
struct Pnm {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> pixels;
};

Pnm readPnm(const std::string& path) {
    const std::string bytes = readBytes(path);
    Pnm pnm;
    char magic[3] = {};
    int maxValue = 0, consumed = 0;
    EXPECT_EQ(std::sscanf(bytes.c_str(), "%2s %d %d %d%n", magic, &pnm.width, &pnm.height,
                          &maxValue, &consumed),
              4);
    pnm.channels = std::string(magic) == "P6" ? 3 : 1;
    EXPECT_EQ(maxValue, 255);
    pnm.pixels.assign(bytes.begin() + consumed + 1, bytes.end());
    EXPECT_EQ(pnm.pixels.size(), size_t(pnm.width) * pnm.height * pnm.channels);
    return pnm;
}

TEST_F(FixtureTest, JPEGFromCjpegMatchesDjpeg) {
    for (const char* name :
         {"cjpeg_color", "cjpeg_gray", "cjpeg_progressive", "cjpeg_444_restart"}) {
        SCOPED_TRACE(name);
        const Pnm reference = readPnm(fixture(std::string(name) + ".pnm"));
        Image image = load(std::string(name) + ".jpg");
        EXPECT_EQ(image.width(), reference.width);
        EXPECT_EQ(image.height(), reference.height);
        EXPECT_EQ(image.format(), reference.channels == 3 ? FORMAT_RGB8 : FORMAT_L8);
        EXPECT_EQ(image.mipLevels(), 1);
        EXPECT_EQ(pixels(image), reference.pixels);
    }
    // The same file under the other registered extension.
    const std::string copy = readBytes(fixture("cjpeg_color.jpg"));
    Image viaJpg = load("cjpeg_color.jpg");
    auto file = Vrenn::Test::memoryFile(copy);
    Image viaJpeg;
    ASSERT_TRUE(environment.codecs.getCodec("jpeg")->decode(file, viaJpeg));
    EXPECT_EQ(pixels(viaJpeg), pixels(viaJpg));
}

TEST_F(FixtureTest, CMYKJPEGIsRefused) {
    Image image;
    EXPECT_FALSE(image.load(fixture("im_cmyk.jpg")));
    EXPECT_EQ(image.data(), nullptr);
}

} // namespace
} // namespace Vrenn
