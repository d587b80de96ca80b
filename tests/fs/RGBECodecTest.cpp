#include "fs/RGBECodec.h"

#include "CodecTestSupport.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::memoryFile;
using Vrenn::Test::pixels;
using Pixel = std::array<uint8_t, 4>;

std::string header(const std::string& resolution) {
    return "#?RADIANCE\n# made by a test\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n" + resolution +
           "\n";
}

std::string header(int width, int height) {
    return header("-Y " + std::to_string(height) + " +X " + std::to_string(width));
}

std::string flat(const std::vector<Pixel>& picture) {
    std::string bytes;
    for (const Pixel& p : picture)
        bytes.append(reinterpret_cast<const char*>(p.data()), 4);
    return bytes;
}

// Run-length scan lines as Radiance writes them: runs of 4 or more equal bytes become
// repeat runs (up to 127), everything else literal runs (up to 128).
std::string runLength(const std::vector<Pixel>& picture, int width) {
    std::string bytes;
    for (size_t row = 0; row < picture.size() / width; ++row) {
        bytes += {2, 2, char(width >> 8), char(width & 255)};
        for (int c = 0; c < 4; ++c) {
            std::vector<uint8_t> v;
            for (int x = 0; x < width; ++x)
                v.push_back(picture[row * width + x][c]);
            size_t i = 0;
            while (i < v.size()) {
                size_t run = 1;
                while (i + run < v.size() && run < 127 && v[i + run] == v[i])
                    ++run;
                if (run >= 4) {
                    bytes += {char(128 + run), char(v[i])};
                    i += run;
                    continue;
                }
                const size_t start = i;
                while (i < v.size() && i - start < 128) {
                    size_t ahead = 1;
                    while (i + ahead < v.size() && ahead < 4 && v[i + ahead] == v[i])
                        ++ahead;
                    if (ahead >= 4) break;
                    ++i;
                }
                bytes += char(i - start);
                bytes.append(v.begin() + long(start), v.begin() + long(i));
            }
        }
    }
    return bytes;
}

// A picture with long equal stretches (repeat runs) and noise (literal runs).
std::vector<Pixel> testPicture(int width, int height) {
    std::vector<Pixel> picture;
    std::srand(7);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x < width / 2)
                picture.push_back({uint8_t(100 + y), 80, 60, 128});
            else
                picture.push_back({uint8_t(std::rand()), uint8_t(std::rand()), uint8_t(std::rand()),
                                   uint8_t(120 + std::rand() % 16)});
        }
    }
    return picture;
}

struct RGBETest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;
    RGBECodec codec;

    bool decode(const std::string& bytes, Image& image) {
        auto file = memoryFile(bytes);
        return codec.decode(file, image);
    }

    // The expected image of a picture, packed from its floats by the reference.
    std::vector<uint8_t> expected(const std::vector<Pixel>& picture, float range) {
        std::vector<uint8_t> bytes;
        for (const Pixel& p : picture) {
            const auto f = Vrenn::Test::rgbeToFloat(p.data());
            const auto packed = Vrenn::Test::referencePack(f[0], f[1], f[2], range);
            bytes.insert(bytes.end(), packed.begin(), packed.end());
        }
        return bytes;
    }
};

TEST_F(RGBETest, PacksColourAndIntensityRelativeToTheRange) {
    const uint8_t example[4] = {128, 64, 32, 129}; // 1.0, 0.5, 0.25
    uint8_t out[4];
    RGBECodec::packPixel(example, 32.0f, out);
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({45, 22, 11, 45}));
    RGBECodec::packPixel(example, 0.0f, out); // 0 stands for 32
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({45, 22, 11, 45}));

    // Brighter than the range: full alpha, colour divided by its largest component.
    const uint8_t bright[4] = {200, 100, 50, 140}; // 3200, 1600, 800
    RGBECodec::packPixel(bright, 32.0f, out);
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({255, 127, 63, 255}));

    // Between half the range and the range: alpha linear, colour not scaled.
    const uint8_t mid[4] = {192, 96, 0, 133}; // 24, 12, 0 with range 32: alpha 0.75
    RGBECodec::packPixel(mid, 32.0f, out);
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({255, 127, 0, 191}));

    const uint8_t black[4] = {0, 0, 0, 0};
    RGBECodec::packPixel(black, 32.0f, out);
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({0, 0, 0, 0}));
    // A nonsensical range gives black, never undefined bytes.
    RGBECodec::packPixel(example, -4.0f, out);
    EXPECT_EQ(Pixel({out[0], out[1], out[2], out[3]}), Pixel({0, 0, 0, 0}));
}

TEST_F(RGBETest, FlatFileUsesTheConsoleVariable) {
    const std::string file = header(8, 1) + flat(std::vector<Pixel>(8, {128, 64, 32, 129}));
    Image image;
    environment.setMaxLuminance("32");
    ASSERT_TRUE(decode(file, image));
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(image.width(), 8);
    EXPECT_EQ(image.height(), 1);
    EXPECT_EQ(image.depth(), 1);
    EXPECT_EQ(image.mipLevels(), 1);
    EXPECT_EQ(image.faces(), 1);
    EXPECT_EQ(Pixel({image.data()[0], image.data()[1], image.data()[2], image.data()[3]}),
              Pixel({45, 22, 11, 45}));

    environment.setMaxLuminance("0");
    ASSERT_TRUE(decode(file, image));
    EXPECT_EQ(image.data()[3], 45);
    environment.setMaxLuminance("2");
    ASSERT_TRUE(decode(file, image));
    // 1.0 against a range of 2 is not below half the range: alpha 0.5, colour as is.
    EXPECT_EQ(Pixel({image.data()[0], image.data()[1], image.data()[2], image.data()[3]}),
              Pixel({255, 127, 63, 127}));
}

TEST_F(RGBETest, RunLengthAndFlatDataGiveTheSameImage) {
    environment.setMaxLuminance("4");
    for (int width : {8, 37, 300}) {
        SCOPED_TRACE(width);
        const auto picture = testPicture(width, 5);
        Image fromFlat, fromRuns;
        ASSERT_TRUE(decode(header(width, 5) + flat(picture), fromFlat));
        const std::string encoded = runLength(picture, width);
        if (width > 8) {
            ASSERT_LT(encoded.size(), flat(picture).size()); // repeat runs were used
        }
        ASSERT_TRUE(decode(header(width, 5) + encoded, fromRuns));
        EXPECT_EQ(pixels(fromRuns), pixels(fromFlat));
        const auto want = expected(picture, 4.0f);
        ASSERT_EQ(pixels(fromFlat).size(), want.size());
        for (size_t i = 0; i < want.size(); ++i)
            ASSERT_NEAR(pixels(fromFlat)[i], want[i], 1) << "byte " << i;
    }
}

TEST_F(RGBETest, NarrowPicturesAreAlwaysFlat) {
    // Width 7 is too narrow for run-length lines: the bytes of a run-length encoded
    // file are read as pixels, starting with the line header 2, 2, 0, 7.
    const auto picture = testPicture(7, 2);
    const std::string encoded = runLength(picture, 7);
    ASSERT_GE(encoded.size(), 7u * 2 * 4);
    Image image;
    ASSERT_TRUE(decode(header(7, 2) + encoded, image));
    std::vector<Pixel> asFlat;
    for (size_t i = 0; i < 14; ++i)
        asFlat.push_back({uint8_t(encoded[4 * i]), uint8_t(encoded[4 * i + 1]),
                          uint8_t(encoded[4 * i + 2]), uint8_t(encoded[4 * i + 3])});
    EXPECT_EQ(pixels(image), expected(asFlat, 32.0f));
}

TEST_F(RGBETest, CrossShapedPicturesBecomeCubeMaps) {
    std::vector<Pixel> cross(96 * 128);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 96; ++x)
            cross[y * 96 + x] = {uint8_t(x), uint8_t(y), 0, 128};
    Image image;
    ASSERT_TRUE(decode(header(96, 128) + runLength(cross, 96), image));
    EXPECT_EQ(image.width(), 32);
    EXPECT_EQ(image.height(), 32);
    EXPECT_EQ(image.faces(), 6);
    // Texel (5, 3) of +X comes from (64 + 5, 32 + 3) of the cross; colour is
    // normalised by the larger of x and y.
    const uint8_t* texel = image.getFaceData(0, 0) + 4 * (3 * 32 + 5);
    const auto want = Vrenn::Test::referencePack(69.0f / 256, 35.0f / 256, 0.0f, 32.0f);
    EXPECT_EQ(Pixel({texel[0], texel[1], texel[2], texel[3]}), want);

    std::vector<Pixel> square(96 * 96, {10, 20, 30, 128});
    ASSERT_TRUE(decode(header(96, 96) + runLength(square, 96), image));
    EXPECT_EQ(image.width(), 96);
    EXPECT_EQ(image.height(), 96);
    EXPECT_EQ(image.faces(), 1);
}

TEST_F(RGBETest, HeadersWithoutFormatOrSizesAreRefused) {
    const std::string pixelsOf64 = flat(std::vector<Pixel>(64, {1, 2, 3, 128}));
    Image image;
    EXPECT_FALSE(decode("#?RADIANCE\n\n-Y 8 +X 8\n" + pixelsOf64, image));
    EXPECT_FALSE(decode(header("+X 8") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y 8") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y 0 +X 8") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y -8 +X 8") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y 8 +X 99999999999") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y 2000000000 +X 2000000000") + pixelsOf64, image));
    EXPECT_FALSE(decode(header("-Y 8 +X 8"), image)); // no pixel data at all
    EXPECT_FALSE(decode("", image));
    // Only the first 255 bytes are searched for the header.
    const std::string longHeader =
        "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n# " + std::string(250, 'x') + "\n\n-Y 8 +X 8\n";
    EXPECT_FALSE(decode(longHeader + pixelsOf64, image));
    EXPECT_EQ(image.data(), nullptr);
    ASSERT_TRUE(decode(header("-Y 8 +X 8") + pixelsOf64, image));
}

TEST_F(RGBETest, CorruptOrShortPixelDataIsRefused) {
    const auto picture = testPicture(16, 3);
    const std::string good = runLength(picture, 16);
    Image image;
    ASSERT_TRUE(decode(header(16, 3) + good, image));
    const auto before = pixels(image);

    auto expectRefused = [&](const std::string& data, const char* what) {
        EXPECT_FALSE(decode(header(16, 3) + data, image)) << what;
        EXPECT_EQ(pixels(image), before) << what;
    };
    for (size_t cut : {size_t{1}, size_t{5}, good.size() / 2}) {
        SCOPED_TRACE(cut);
        expectRefused(good.substr(0, good.size() - cut), "truncated run-length data");
    }
    expectRefused(flat(picture).substr(0, 16 * 3 * 4 - 1).replace(0, 2, "\x01\x01"),
                  "flat data one byte short");

    // First line: 2, 2, 0, 16, then red channel data.
    std::string bad = good;
    bad[4] = 0; // a literal run of no bytes would never advance
    expectRefused(bad, "count of zero");
    bad = good;
    bad[4] = char(128 + 17); // a repeat run longer than the line
    expectRefused(bad, "run past the end of the line");
    bad = good;
    bad[4] = 17; // a literal run longer than the line
    expectRefused(bad, "literal past the end of the line");
    const size_t secondLine =
        runLength(std::vector<Pixel>(picture.begin(), picture.begin() + 16), 16).size();
    bad = good;
    ASSERT_EQ(bad[secondLine], 2);
    bad[secondLine + 3] = 15;
    expectRefused(bad, "second line header with the wrong width");
}

} // namespace
} // namespace Vrenn
