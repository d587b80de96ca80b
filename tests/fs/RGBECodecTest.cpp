#include "fs/RGBECodec.h"

#include "CodecTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace Vrenn {
namespace {

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
std::string runLength(const std::vector<Pixel>& picture, size_t width) {
    std::string bytes;
    for (size_t row = 0; row < picture.size() / width; ++row) {
        bytes += {2, 2, char(width >> 8), char(width & 255)};
        for (size_t c = 0; c < 4; ++c) {
            std::string v;
            for (size_t x = 0; x < width; ++x)
                v += char(picture[row * width + x][c]);
            auto runAt = [&](size_t i) {
                size_t run = 1;
                while (i + run < width && run < 127 && v[i + run] == v[i])
                    ++run;
                return run;
            };
            for (size_t i = 0; i < width;) {
                if (const size_t run = runAt(i); run >= 4) {
                    bytes += {char(128 + run), v[i]};
                    i += run;
                    continue;
                }
                size_t end = i;
                while (end < width && end - i < 128 && runAt(end) < 4)
                    ++end;
                bytes += char(end - i) + v.substr(i, end - i);
                i = end;
            }
        }
    }
    return bytes;
}

// Equal stretches on the left (repeat runs), noise on the right (literal runs).
std::vector<Pixel> testPicture(int width, int height) {
    std::mt19937 random(7);
    std::vector<Pixel> picture;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.push_back(x < width / 2
                                  ? Pixel{uint8_t(100 + y), 80, 60, 128}
                                  : Pixel{uint8_t(random()), uint8_t(random()), uint8_t(random()),
                                          uint8_t(120 + random() % 16)});
    return picture;
}

struct RGBETest : ::testing::Test {
    Vrenn::Test::LoggedCodecEnvironment environment;
    RGBECodec codec;

    bool decode(const std::string& bytes, Image& image) {
        return Vrenn::Test::decode(codec, bytes, image);
    }

    static std::vector<uint8_t> expected(const std::vector<Pixel>& picture, float range) {
        std::vector<uint8_t> bytes;
        for (const Pixel& p : picture) {
            const auto f = Vrenn::Test::rgbeToFloat(p.data());
            const auto packed = Vrenn::Test::referencePack(f[0], f[1], f[2], range);
            bytes.insert(bytes.end(), packed.begin(), packed.end());
        }
        return bytes;
    }
};

// A range that would make every picture black (NaN, negative, infinite, as a hand-edited
// max_env_lum can be) is refused aloud, and the default 32 used.
TEST_F(RGBETest, PacksColourAndIntensityRelativeToTheRange) {
    const struct {
        Pixel rgbe;
        float range;
        Pixel packed;
    } cases[] = {
        {{128, 64, 32, 129}, 32, {45, 22, 11, 45}},     // alpha sqrt(1/32) scales the colour
        {{128, 64, 32, 129}, 0, {45, 22, 11, 45}},      // 0 means 32
        {{200, 100, 50, 140}, 32, {255, 127, 63, 255}}, // brighter than the range
        {{192, 96, 0, 133}, 32, {255, 127, 0, 191}},    // from half the range: alpha linear
        {{0, 0, 0, 0}, 32, {0, 0, 0, 0}},
        {{2, 2, 0, 7}, 32, {0, 0, 0, 0}}, // near-zero exponents give black
        {{128, 64, 32, 129}, -4, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        Pixel out;
        RGBECodec::packPixel(c.rgbe.data(), c.range, out.data());
        EXPECT_EQ(out, c.packed) << int(c.rgbe[0]) << " " << c.range;
    }
    const std::string file = header(8, 1) + flat(std::vector<Pixel>(8, {128, 64, 32, 129}));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const auto& [range, alpha] : {std::pair{2.0f, 127},
                                       {0.0f, 45},
                                       {nan, 45},
                                       {-1.0f, 45},
                                       {std::numeric_limits<float>::infinity(), 45}}) {
        codec.setMaxLuminance(4.0f);
        codec.setMaxLuminance(range);
        Image image;
        ASSERT_TRUE(decode(file, image));
        EXPECT_EQ(image.format(), FORMAT_RGBA8);
        EXPECT_EQ(image.data()[3], alpha) << "range " << range;
    }
    EXPECT_EQ(RGBECodec("hdr", nan).maxLuminance(), 0.0f); // as registered
    const auto log = environment.log();
    ASSERT_EQ(log.size(), 4u) << log.back();
    EXPECT_EQ(log[1], "RGBECodec: the luminance range (max_env_lum) -1 is not a finite number of "
                      "0 or more; 32 is used");
    EXPECT_EQ(log[3], log[0]); // nan, from the constructor as from the setter
}

// The header is read line by line up to its blank line and its resolution; a damaged header or
// pixel data is refused and leaves the image as it was.
TEST_F(RGBETest, TheHeaderAndPixelDataAreCheckedBeforeUse) {
    const auto picture = testPicture(8, 3);
    const std::string data = runLength(picture, 8);
    const std::string format = "FORMAT=32-bit_rle_rgbe\n";
    Image image;
    for (const std::string& good : {
             // A comment like a resolution; a long comment; another signature, CR, blanks.
             "#?RADIANCE\n# cropped from -Y 1 +X 1\n" + format + "\n-Y 3 +X 8\n",
             "#?RADIANCE\n#" + std::string(300, 'x') + "\n" + format + "\n-Y 3 +X 8\n",
             std::string("#?RGBE\r\nEXPOSURE=2\r\nFORMAT=32-bit_rle_rgbe\r\n\r\n-Y  3\t+X 8 \r\n"),
         }) {
        ASSERT_TRUE(decode(good + data, image)) << good.substr(0, 40);
        EXPECT_EQ(pixels(image), expected(picture, 32.0f)) << good.substr(0, 40);
    }

    const auto before = pixels(image);
    const std::string flatData = flat(std::vector<Pixel>(64, {1, 2, 3, 128}));
    auto withByte = [&](size_t at, char value) {
        return std::string(data).replace(at, 1, 1, value);
    };
    const size_t secondLine = runLength({picture.begin(), picture.begin() + 8}, 8).size();
    for (const std::string& bad : {
             format + "\n-Y 3 +X 8\n" + data,                                  // no signature
             "# made by hand\n#?RADIANCE\n" + format + "\n-Y 3 +X 8\n" + data, // not first
             "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 3 +X 8\n" + data,
             "#?RADIANCE\n# FORMAT=32-bit_rle_rgbe\n\n-Y 3 +X 8\n" + data, // only in a comment
             "#?RADIANCE\n\n-Y 8 +X 8\n" + flatData,                       // no format at all
             "#?RADIANCE\n" + format + "-Y 3 +X 8\n" + data,               // no blank line
             "#?RADIANCE\n" + format + "#" + std::string(70000, 'x') + "\n\n-Y 3 +X 8\n" + data,
             "#?RADIANCE\n" + format + "\n\n-Y 3 +X 8\n" + data, // resolution not next
             header("-Y 3 +X 8 +X 8") + data,
             header("-Y 3 -Y 8") + data,                     // an axis twice
             header("-Y 3 *X 8") + data,                     // not a sign
             "#?RADIANCE\n" + format + "\n-Y 3 +X 8" + data, // the data ends it
             header("+X 8") + flatData,
             header("-Y 8") + flatData,
             header("-Y 0 +X 8") + flatData,
             header("-Y -8 +X 8") + flatData,
             header("-Y 8 +X 99999999999") + flatData,
             header("-Y 2000000000 +X 2000000000") + flatData, // refused before allocating
             header("-Y 8 +X 8"),
             std::string(),
             // Pixel data cut short, a flat picture one byte short, a first count of zero, a
             // repeat or literal run past the end of a line, a line header with another width.
             header(8, 3) + data.substr(0, data.size() - 1),
             header(8, 3) + data.substr(0, data.size() / 2),
             header(8, 3) + "\x01\x01" + flat(picture).substr(2, 8 * 3 * 4 - 3),
             header(8, 3) + withByte(4, 0),
             header(8, 3) + withByte(4, char(128 + 9)),
             header(8, 3) + withByte(4, 9),
             header(8, 3) + withByte(secondLine + 3, 7),
         })
        EXPECT_FALSE(decode(bad, image)) << bad.substr(0, 60);
    EXPECT_EQ(pixels(image), before);
}

// The resolution line orders the texels (Y first: rows, -Y: top down, +X: left to right), in
// flat or run-length lines (with runs past 127 and 128 bytes); the image holds the picture top
// row first, packed or as radiance.
TEST_F(RGBETest, EveryScanOrderFlatOrRunLengthGivesTheSamePicture) {
    const uint32_t width = 300, height = 8; // columns of 8 can be run-length encoded too
    codec.setMaxLuminance(4.0f);
    const auto picture = testPicture(width, height);
    const auto wanted = expected(picture, 4.0f);
    for (const std::string order :
         {"-Y+X", "-Y-X", "+Y-X", "+Y+X", "+X-Y", "+X+Y", "-X+Y", "-X-Y"}) {
        const auto size = [&](char axis) { return std::to_string(axis == 'X' ? width : height); };
        const std::string resolution = order.substr(0, 2) + " " + size(order[1]) + " " +
                                       order.substr(2) + " " + size(order[3]);
        const bool columns = resolution[1] == 'X';
        const uint32_t lineLength = columns ? height : width;
        std::vector<Pixel> inFileOrder;
        for (uint32_t line = 0; line < picture.size() / lineLength; ++line)
            for (uint32_t i = 0; i < lineLength; ++i) {
                uint32_t x = columns ? line : i, y = columns ? i : line;
                if (order.find("-X") != std::string::npos) x = width - 1 - x;
                if (order.find("+Y") != std::string::npos) y = height - 1 - y;
                inFileOrder.push_back(picture[y * width + x]);
            }
        for (const std::string& data : {flat(inFileOrder), runLength(inFileOrder, lineLength)}) {
            Image image;
            ASSERT_TRUE(decode(header(resolution) + data, image)) << resolution;
            EXPECT_EQ(image.width(), int(width));
            EXPECT_EQ(image.height(), int(height));
            EXPECT_EQ(pixels(image), wanted) << resolution;

            codec.setOutput(RGBECodec::Output::Radiance);
            Image radiance;
            ASSERT_TRUE(decode(header(resolution) + data, radiance)) << resolution;
            codec.setOutput(RGBECodec::Output::Packed);
            ASSERT_EQ(radiance.format(), FORMAT_RGB32F);
            const auto* texel = reinterpret_cast<const float*>(radiance.data());
            for (size_t i = 0; i < picture.size(); ++i, texel += 3) {
                const auto f = Vrenn::Test::rgbeToFloat(picture[i].data());
                ASSERT_EQ(std::vector(texel, texel + 3), std::vector(f.begin(), f.end()))
                    << resolution << " texel " << i;
            }
        }
    }
    // Width 7 is too narrow for run-length lines: their bytes are read as pixels.
    const std::string encoded = runLength(testPicture(7, 2), 7);
    std::vector<Pixel> asFlat(14);
    std::memcpy(asFlat.data(), encoded.data(), 14 * 4);
    Image image;
    ASSERT_TRUE(decode(header(7, 2) + encoded, image));
    EXPECT_EQ(pixels(image), expected(asFlat, 4.0f));
}

} // namespace
} // namespace Vrenn
