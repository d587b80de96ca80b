#include "fs/PNGCodec.h"

#include "CodecTestSupport.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::pixels;

std::string fixture(const std::string& name) {
    return Vrenn::Test::readBytes(Vrenn::Test::testDataPath("fs/" + name));
}

// The checksum PNG chunks end with, for patched headers that must still pass it.
uint32_t chunkCrc(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// 8-bit grey, RGB or RGBA pixels widened to RGBA as ImageMagick writes them raw.
std::string asRgba(const Image& image) {
    const int channels = channelCount(image.format());
    std::string rgba;
    for (size_t i = 0; i < image.byteCount(); i += size_t(channels)) {
        const uint8_t* texel = image.data() + i;
        rgba += char(texel[0]);
        rgba += char(texel[channels >= 3 ? 1 : 0]);
        rgba += char(texel[channels >= 3 ? 2 : 0]);
        rgba += char(channels == 4 ? texel[3] : 255);
    }
    return rgba;
}

// ImageMagick's decode of a fixture in 8-bit RGBA; 16-bit decodes are rounded to the
// nearest 8-bit value.
std::string expectedRgba(const std::string& name) {
    if (name.find("16.png") == std::string::npos) return fixture(name + ".rgba");
    const std::string wide = fixture(name + ".rgba16");
    std::string rgba;
    for (size_t i = 0; i + 1 < wide.size(); i += 2) {
        const unsigned value = unsigned(uint8_t(wide[i])) << 8 | uint8_t(wide[i + 1]);
        rgba += char((value * 255 + 32767) / 65535);
    }
    return rgba;
}

struct PNGTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;
    Vrenn::Test::TempDir dir;
    PNGCodec codec;

    PNGTest() { environment.logs.CreateLog(LOG_DEFAULT, dir.file("app.log")); }

    bool decode(const std::string& bytes, Image& image) {
        return codec.decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image);
    }
    std::vector<std::string> log() const { return Vrenn::Test::lines(dir.read("app.log")); }
};

// Every colour type, bit depth and the interlaced layout, through the registered
// codec's file path, against ImageMagick's decode of the same file.
TEST_F(PNGTest, EveryColourTypeDecodesLikeImageMagick) {
    const struct {
        const char* name;
        ImageFormat format;
    } cases[] = {
        {"im_png_grey.png", FORMAT_L8},
        {"im_png_grey2.png", FORMAT_L8},
        {"im_png_grey_alpha.png", FORMAT_RGBA8},
        {"im_png_grey_alpha16.png", FORMAT_RGBA8},
        {"im_png_rgb.png", FORMAT_RGB8},
        {"im_png_rgb16.png", FORMAT_RGB8},
        {"im_png_rgba.png", FORMAT_RGBA8},
        {"im_png_palette.png", FORMAT_RGB8},
        {"im_png_palette_trns.png", FORMAT_RGBA8},
        {"im_png_interlaced.png", FORMAT_RGBA8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Vrenn::Test::testDataPath(std::string("fs/") + c.name);
        environment.fileSystem.addUserFile(path);
        Image image;
        ASSERT_TRUE(image.load(path));
        EXPECT_EQ(image.format(), c.format);
        EXPECT_EQ(image.width(), 13);
        EXPECT_EQ(image.height(), 7);
        EXPECT_EQ(image.mipLevels(), 1);
        EXPECT_EQ(image.faces(), 1);
        EXPECT_EQ(asRgba(image), expectedRgba(c.name));
    }
}

// Damaged files and pictures beyond the limits fail with one log line each, the earlier
// picture staying; a small file claiming an enormous size is refused from its header,
// before the pixels are allocated.
TEST_F(PNGTest, DamagedOrOversizedFilesFailWithOneLogLineEach) {
    const std::string rgb = fixture("im_png_rgb.png");
    const std::string interlaced = fixture("im_png_interlaced.png");
    Image image;
    codec.setMaxPixels(13 * 7);
    ASSERT_TRUE(decode(rgb, image));
    const auto good = pixels(image);

    std::vector<std::string> damaged;
    // Cut inside the signature, the header, the image data and just before the end.
    for (const std::string* file : {&rgb, &interlaced})
        for (size_t length = 0; length < file->size(); length += 11)
            damaged.push_back(file->substr(0, length));
    const auto flipped = [](std::string bytes, size_t at) {
        bytes.at(at) = char(bytes.at(at) ^ 0x10);
        return bytes;
    };
    const size_t idat = rgb.find("IDAT");
    ASSERT_NE(idat, std::string::npos);
    damaged.push_back(flipped(rgb, 29));       // last byte of the header's checksum
    damaged.push_back(flipped(rgb, 20));       // header data under its checksum
    damaged.push_back(flipped(rgb, idat + 9)); // compressed data under its checksum
    damaged.push_back(std::string(300, 'x'));
    damaged.push_back(rgb.substr(0, 8) + std::string(300, '\x7f'));
    // A header patched to claim another size, its checksum made to match.
    const auto claiming = [&](uint32_t width, uint32_t height, const std::string& depthAndType) {
        const std::string header =
            "IHDR" + bigEndian(width) + bigEndian(height) + depthAndType + rgb.substr(26, 3);
        return rgb.substr(0, 12) + header + bigEndian(chunkCrc(header)) + rgb.substr(33);
    };
    damaged.push_back(claiming(100000, 90000, rgb.substr(24, 2))); // beyond the texel limit
    // Within the texel limit, but far more than its compressed data could hold (16-bit RGBA,
    // 2 GiB, from a file of bytes).
    damaged.push_back(claiming(16384, 16384, "\x10\x06"));
    // A chunk whose length field claims 2 GB in a file of bytes (the fuzzer found a tEXt
    // chunk doing so).
    damaged.push_back(rgb.substr(0, 33) + bigEndian(0x78ffff00) + "tEXtComment");
    damaged.push_back(rgb.substr(0, rgb.size() - 1)); // the shortfall is named
    codec.setMaxPixels(PNGCodec::kDefaultMaxPixels);
    for (size_t i = 0; i < damaged.size(); ++i) {
        ASSERT_FALSE(decode(damaged[i], image)) << i;
        EXPECT_EQ(pixels(image), good) << i;
    }
    codec.setMaxPixels(13 * 7 - 1);
    EXPECT_FALSE(decode(rgb, image));
    const auto logged = log();
    ASSERT_EQ(logged.size(), damaged.size() + 1);
    for (const auto& line : logged)
        EXPECT_EQ(line.rfind("PNG: cannot decode: ", 0), 0u) << line;
    const size_t n = damaged.size();
    EXPECT_EQ(logged[n - 4], "PNG: cannot decode: 100000x90000 texels are more than the limit of " +
                                 std::to_string(PNGCodec::kDefaultMaxPixels));
    EXPECT_NE(logged[n - 3].find("16384x16384 texels need 2147483648 bytes of pixel data"),
              std::string::npos);
    EXPECT_EQ(logged[n - 2],
              "PNG: cannot decode: the tEXt chunk at byte 33 needs 2030042892 bytes (2030042880 "
              "of data), but only 15 are left: the file is 2030042877 bytes short");
    EXPECT_EQ(logged[n - 1], "PNG: cannot decode: the IEND chunk at byte " +
                                 std::to_string(rgb.size() - 12) +
                                 " needs 12 bytes (0 of data), but only 11 are left: the file is "
                                 "1 byte short");

    std::shared_ptr<File> out = Vrenn::Test::memoryFile("");
    EXPECT_FALSE(codec.encode(out, image));
}

} // namespace
} // namespace Vrenn
