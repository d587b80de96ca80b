#include "fs/PNGCodec.h"

#include "CodecTestSupport.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace Vrenn {
namespace {

using Vrenn::Test::pixels;

std::string fixture(const std::string& name) {
    return Vrenn::Test::readBytes(Vrenn::Test::testDataPath("fs/" + name));
}

std::string bigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

struct PNGTest : ::testing::Test, Vrenn::Test::LoggedCodecEnvironment {
    PNGCodec codec;

    bool decode(const std::string& bytes, Image& image) {
        return codec.decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image);
    }
};

// Every colour type, bit depth and the interlaced layout, loaded by name, against ImageMagick's
// 8-bit RGBA decode (16-bit decodes rounded to the nearest 8-bit value).
TEST_F(PNGTest, EveryColourTypeDecodesLikeImageMagick) {
    const std::pair<const char*, ImageFormat> cases[] = {
        {"grey", FORMAT_L8},
        {"grey2", FORMAT_L8},
        {"grey_alpha", FORMAT_RGBA8},
        {"grey_alpha16", FORMAT_RGBA8},
        {"rgb", FORMAT_RGB8},
        {"rgb16", FORMAT_RGB8},
        {"rgba", FORMAT_RGBA8},
        {"palette", FORMAT_RGB8},
        {"palette_trns", FORMAT_RGBA8},
        {"interlaced", FORMAT_RGBA8},
    };
    for (const auto& [stem, format] : cases) {
        const std::string name = std::string("im_png_") + stem + ".png";
        SCOPED_TRACE(name);
        const std::string path = Vrenn::Test::testDataPath("fs/" + name);
        fileSystem.addUserFile(path);
        Image image;
        ASSERT_TRUE(image.load(path));
        EXPECT_EQ(image.format(), format);
        EXPECT_EQ(std::tuple(image.width(), image.height(), image.mipLevels(), image.faces()),
                  std::tuple(13, 7, 1, 1));
        const bool deep = name.find("16.png") != std::string::npos;
        std::string expected = deep ? "" : fixture(name + ".rgba");
        if (deep) {
            const std::string wide = fixture(name + ".rgba16");
            for (size_t i = 0; i + 1 < wide.size(); i += 2)
                expected +=
                    char(((uint8_t(wide[i]) << 8 | uint8_t(wide[i + 1])) * 255 + 32767) / 65535);
        }
        const size_t channels = size_t(channelCount(format));
        std::string rgba; // widened as ImageMagick writes it
        for (const uint8_t* t = image.data(); t < image.data() + image.byteCount(); t += channels)
            rgba += {char(t[0]), char(t[channels >= 3 ? 1 : 0]), char(t[channels >= 3 ? 2 : 0]),
                     char(channels == 4 ? t[3] : 255)};
        EXPECT_EQ(rgba, expected);
    }
}

// Damaged files and pictures beyond the limits fail with one log line each, the earlier
// picture staying; a small file claiming an enormous size is refused before allocating.
TEST_F(PNGTest, DamagedOrOversizedFilesFailWithOneLogLineEach) {
    const std::string rgb = fixture("im_png_rgb.png");
    const std::string interlaced = fixture("im_png_interlaced.png");
    Image image;
    codec.setMaxPixels(13 * 7);
    ASSERT_TRUE(decode(rgb, image));
    const auto good = pixels(image);

    std::vector<std::string> damaged;
    for (const std::string* file : {&rgb, &interlaced})
        for (size_t length = 0; length < file->size(); length += 11)
            damaged.push_back(file->substr(0, length));
    const auto flipped = [](std::string bytes, size_t at) {
        bytes.at(at) = char(bytes.at(at) ^ 0x10);
        return bytes;
    };
    damaged.push_back(flipped(rgb, 29));                   // last byte of the header's checksum
    damaged.push_back(flipped(rgb, 20));                   // header data under its checksum
    damaged.push_back(flipped(rgb, rgb.find("IDAT") + 9)); // compressed data under its checksum
    damaged.push_back(std::string(300, 'x'));
    damaged.push_back(rgb.substr(0, 8) + std::string(300, '\x7f'));
    // A header patched to claim another size, its checksum made to match.
    const auto claiming = [&](uint32_t width, uint32_t height, const std::string& depthAndType) {
        const std::string header =
            "IHDR" + bigEndian(width) + bigEndian(height) + depthAndType + rgb.substr(26, 3);
        const auto crc = crc32(0, reinterpret_cast<const Bytef*>(header.data()), 17);
        return rgb.substr(0, 12) + header + bigEndian(uint32_t(crc)) + rgb.substr(33);
    };
    damaged.push_back(claiming(100000, 90000, rgb.substr(24, 2))); // beyond the texel limit
    damaged.push_back(claiming(16384, 16384, "\x10\x06"));         // 2 GiB of 16-bit RGBA
    damaged.push_back(rgb.substr(0, 33) + bigEndian(0x78ffff00) + "tEXtComment"); // a 2 GB chunk
    damaged.push_back(rgb.substr(0, rgb.size() - 1));
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
    const std::string named[] = {
        "100000x90000 texels are more than the limit of 268435456",
        "16384x16384 texels need 2147483648 bytes of pixel data",
        "the tEXt chunk at byte 33 needs 2030042892 bytes (2030042880 of data), but only 15 are "
        "left: the file is 2030042877 bytes short",
        "the IEND chunk at byte " + std::to_string(rgb.size() - 12) +
            " needs 12 bytes (0 of data), but only 11 are left: the file is 1 byte short"};
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NE(logged[damaged.size() - 4 + i].find(named[i]), std::string::npos) << i;

    std::shared_ptr<File> out = Vrenn::Test::memoryFile("");
    EXPECT_FALSE(codec.encode(out, image));
}

} // namespace
} // namespace Vrenn
