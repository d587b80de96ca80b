#include "fs/DDSCodec.h"

#include "CodecTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <numeric>

namespace Vrenn {
namespace {

using Vrenn::Test::contents;
using Vrenn::Test::memoryFile;
using Vrenn::Test::pixels;

uint32_t word(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t{static_cast<uint8_t>(bytes.at(offset + i))} << (8 * i);
    return value;
}

void putWord(std::string& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

// An image whose bytes count up, so that any reordering shows.
Image numberedImage(int width, int height, int depth, ImageFormat format, int mips, int faces) {
    Image image;
    image.create(width, height, depth, format, mips, faces);
    std::iota(image.data(), image.data() + image.byteCount(), uint8_t{7});
    return image;
}

std::string encoded(Image& image) {
    DDSCodec codec;
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    EXPECT_TRUE(codec.encode(file, image));
    return contents(file);
}

// A header as another writer might make it: "DDS ", size 124 and the given fields.
std::string header(uint32_t width, uint32_t height, uint32_t fourCC, uint32_t bitCount) {
    std::string bytes(128, '\0');
    std::memcpy(bytes.data(), "DDS ", 4);
    putWord(bytes, 4, 124);
    putWord(bytes, 12, height);
    putWord(bytes, 16, width);
    putWord(bytes, 84, fourCC);
    putWord(bytes, 88, bitCount);
    return bytes;
}

constexpr uint32_t code(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

bool decode(const std::string& bytes, Image& image) {
    DDSCodec codec;
    auto file = memoryFile(bytes);
    return codec.decode(file, image);
}

TEST(DDSWriteTest, PixelFormatFieldsForEachWritableFormat) {
    struct Expected {
        ImageFormat format;
        uint32_t flags, fourCC, bitCount, red, green, blue, alpha;
    };
    const Expected table[] = {
        {FORMAT_L8, 0x20000, 0, 8, 0xFF, 0, 0, 0},
        {FORMAT_RGB8, 0x40, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},
        {FORMAT_RGBA8, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
        {FORMAT_L16, 0x20000, 0, 16, 0xFFFF, 0, 0, 0},
        {FORMAT_RG16, 4, 34, 0, 0, 0, 0, 0},
        {FORMAT_RGBA16, 4, 36, 0, 0, 0, 0, 0},
        {FORMAT_R16F, 4, 111, 0, 0, 0, 0, 0},
        {FORMAT_RG16F, 4, 112, 0, 0, 0, 0, 0},
        {FORMAT_RGBA16F, 4, 113, 0, 0, 0, 0, 0},
        {FORMAT_R32F, 4, 114, 0, 0, 0, 0, 0},
        {FORMAT_RG32F, 4, 115, 0, 0, 0, 0, 0},
        {FORMAT_RGBA32F, 4, 116, 0, 0, 0, 0, 0},
    };
    for (const Expected& e : table) {
        SCOPED_TRACE(e.format);
        Image image = numberedImage(4, 2, 1, e.format, 1, 1);
        const std::string bytes = encoded(image);
        ASSERT_EQ(bytes.size(), 128u + 8u * bytesPerPixel(e.format));
        EXPECT_EQ(bytes.substr(0, 4), "DDS ");
        EXPECT_EQ(word(bytes, 4), 124u);
        EXPECT_EQ(word(bytes, 8), 0x1007u);
        EXPECT_EQ(word(bytes, 12), 2u); // height
        EXPECT_EQ(word(bytes, 16), 4u); // width
        EXPECT_EQ(word(bytes, 20), 0u);
        EXPECT_EQ(word(bytes, 24), 0u);
        EXPECT_EQ(word(bytes, 28), 0u);
        EXPECT_EQ(word(bytes, 76), 32u);
        EXPECT_EQ(word(bytes, 80), e.flags);
        EXPECT_EQ(word(bytes, 84), e.fourCC);
        EXPECT_EQ(word(bytes, 88), e.bitCount);
        EXPECT_EQ(word(bytes, 92), e.red);
        EXPECT_EQ(word(bytes, 96), e.green);
        EXPECT_EQ(word(bytes, 100), e.blue);
        EXPECT_EQ(word(bytes, 104), e.alpha);
        EXPECT_EQ(word(bytes, 108), 0x1000u);
        EXPECT_EQ(word(bytes, 112), 0u);
        for (size_t offset : {32, 72, 116, 120, 124})
            EXPECT_EQ(word(bytes, offset), 0u);
    }
}

TEST(DDSWriteTest, SurfaceFlagsForMipsCubesAndVolumes) {
    Image cube = numberedImage(8, 8, 1, FORMAT_RGBA32F, 1, 6);
    std::string bytes = encoded(cube);
    EXPECT_EQ(word(bytes, 84), 116u);
    EXPECT_EQ(word(bytes, 108), 0x1008u);
    EXPECT_EQ(word(bytes, 112), 0xFE00u);
    EXPECT_EQ(bytes.size(), 128u + 6 * 8 * 8 * 16);

    Image mipmapped = numberedImage(8, 4, 1, FORMAT_L8, 4, 1);
    bytes = encoded(mipmapped);
    EXPECT_EQ(word(bytes, 8), 0x21007u);
    EXPECT_EQ(word(bytes, 28), 4u);
    EXPECT_EQ(word(bytes, 108), 0x401008u);
    EXPECT_EQ(bytes.size(), 128u + 32 + 8 + 2 + 1);

    Image mipmappedCube = numberedImage(4, 4, 1, FORMAT_L8, 2, 6);
    EXPECT_EQ(word(encoded(mipmappedCube), 108), 0x401008u);

    Image volume = numberedImage(4, 4, 3, FORMAT_L8, 1, 1);
    bytes = encoded(volume);
    EXPECT_EQ(word(bytes, 8), 0x801007u);
    EXPECT_EQ(word(bytes, 24), 3u);
    EXPECT_EQ(word(bytes, 108), 0x1008u);
    EXPECT_EQ(word(bytes, 112), 0x200000u);

    Image empty = numberedImage(0, 0, 0, FORMAT_L8, 1, 1);
    bytes = encoded(empty);
    EXPECT_EQ(word(bytes, 12), 1u);
    EXPECT_EQ(word(bytes, 16), 1u);
}

TEST(DDSWriteTest, ColourGoesBlueFirstAndTheImageStaysAsItWas) {
    Image image = numberedImage(3, 2, 1, FORMAT_RGBA8, 2, 1);
    const auto before = pixels(image);
    const std::string bytes = encoded(image);
    EXPECT_EQ(pixels(image), before);
    ASSERT_EQ(bytes.size(), 128 + before.size());
    for (size_t i = 0; i < before.size(); i += 4) {
        EXPECT_EQ(uint8_t(bytes[128 + i]), before[i + 2]);
        EXPECT_EQ(uint8_t(bytes[128 + i + 1]), before[i + 1]);
        EXPECT_EQ(uint8_t(bytes[128 + i + 2]), before[i]);
        EXPECT_EQ(uint8_t(bytes[128 + i + 3]), before[i + 3]);
    }
}

TEST(DDSWriteTest, RefusesFormatsWithoutAFileLayoutAndWritesNothing) {
    DDSCodec codec;
    for (ImageFormat format : {FORMAT_UNKNOWN, FORMAT_A8L8, FORMAT_RGB16, FORMAT_RGB16F,
                               FORMAT_RGB32F, FORMAT_RGBA4, FORMAT_R5G6B5, FORMAT_RGB10A2,
                               FORMAT_DXT1, FORMAT_DXT3, FORMAT_DXT5, FORMAT_D16, FORMAT_D32}) {
        Image image = numberedImage(4, 4, 1, format, 1, 1);
        std::shared_ptr<File> file = std::make_shared<RamFile>();
        EXPECT_FALSE(codec.encode(file, image)) << "format " << format;
        EXPECT_EQ(file->size(), 0u) << "format " << format;
    }
    Image noData;
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    EXPECT_FALSE(codec.encode(file, noData));
}

TEST(DDSRoundTripTest, WriteThenReadGivesTheSameImage) {
    struct Case {
        int width, height, depth;
        ImageFormat format;
        int mips, faces;
    };
    const Case cases[] = {
        {5, 3, 1, FORMAT_RGB8, 3, 1},    {4, 4, 1, FORMAT_RGBA8, 3, 6},
        {7, 1, 1, FORMAT_L8, 3, 1},      {4, 4, 1, FORMAT_L16, 1, 1},
        {2, 2, 1, FORMAT_RG16, 2, 1},    {2, 2, 1, FORMAT_RGBA16, 1, 6},
        {3, 3, 1, FORMAT_R16F, 1, 1},    {3, 3, 1, FORMAT_RG16F, 1, 1},
        {8, 8, 1, FORMAT_RGBA16F, 4, 6}, {2, 8, 1, FORMAT_R32F, 4, 1},
        {3, 2, 1, FORMAT_RG32F, 1, 1},   {4, 4, 4, FORMAT_RGBA32F, 3, 1},
        {4, 2, 2, FORMAT_RGBA8, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << "format " << c.format << " " << c.width << "x" << c.height << "x" << c.depth
                     << " mips " << c.mips << " faces " << c.faces);
        Image original = numberedImage(c.width, c.height, c.depth, c.format, c.mips, c.faces);
        Image read;
        ASSERT_TRUE(decode(encoded(original), read));
        EXPECT_EQ(read.width(), c.width);
        EXPECT_EQ(read.height(), c.height);
        EXPECT_EQ(read.depth(), c.depth);
        EXPECT_EQ(read.format(), c.format);
        EXPECT_EQ(read.mipLevels(), c.mips);
        EXPECT_EQ(read.faces(), c.faces);
        EXPECT_EQ(pixels(read), pixels(original));
    }
}

TEST(DDSReadTest, ChoosesTheFormatFromCodeOrBitLayout) {
    struct Case {
        uint32_t fourCC, bitCount, blueMask, alphaMask;
        ImageFormat expected;
    };
    const Case cases[] = {
        {code("DXT1"), 0, 0, 0, FORMAT_DXT1},
        {code("DXT3"), 0, 0, 0, FORMAT_DXT3},
        {code("DXT5"), 32, 0, 0, FORMAT_DXT5},
        {34, 0, 0, 0, FORMAT_RG16},
        {36, 0, 0, 0, FORMAT_RGBA16},
        {111, 0, 0, 0, FORMAT_R16F},
        {112, 0, 0, 0, FORMAT_RG16F},
        {113, 0, 0, 0, FORMAT_RGBA16F},
        {114, 0, 0, 0, FORMAT_R32F},
        {115, 0, 0, 0, FORMAT_RG32F},
        {116, 0, 0, 0, FORMAT_RGBA32F},
        {code("ATI2"), 8, 0, 0, FORMAT_L8}, // unknown code, 8 bits
        {0, 16, 0x0F, 0xF000, FORMAT_RGBA4},
        {0, 16, 0, 0xFF00, FORMAT_A8L8},
        {0, 16, 0x1F, 0, FORMAT_R5G6B5},
        {0, 16, 0, 0, FORMAT_L16},
        {0, 24, 0xFF, 0, FORMAT_RGB8},
        {0, 32, 0xFF, 0xFF000000, FORMAT_RGBA8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        std::string bytes = header(4, 4, c.fourCC, c.bitCount);
        putWord(bytes, 100, c.blueMask);
        putWord(bytes, 104, c.alphaMask);
        Image probe;
        probe.create(4, 4, 1, c.expected, 1, 1);
        bytes += std::string(probe.byteCount(), '\x11');
        Image image;
        ASSERT_TRUE(decode(bytes, image));
        EXPECT_EQ(image.format(), c.expected);
        EXPECT_EQ(image.byteCount(), probe.byteCount());
    }
    for (uint32_t bits : {0u, 12u, 48u, 64u}) {
        Image image;
        EXPECT_FALSE(decode(header(4, 4, 0, bits) + std::string(1024, '\0'), image)) << bits;
        EXPECT_EQ(image.data(), nullptr);
    }
}

TEST(DDSReadTest, DXT1ChainAndCubeMapHeaders) {
    // 256x256 DXT1 with 9 levels: 43704 bytes of data, read into format 20.
    std::string bytes = header(256, 256, code("DXT1"), 0);
    putWord(bytes, 28, 9);
    std::string data(43704, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    Image image;
    ASSERT_TRUE(decode(bytes + data, image));
    EXPECT_EQ(image.format(), FORMAT_DXT1);
    EXPECT_EQ(image.mipLevels(), 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.data()), image.byteCount()), data);

    // caps2 0xFE00 includes the cube bit 0x200: six faces, depth 1 even with depth 0.
    bytes = header(2, 2, 116, 0);
    putWord(bytes, 112, 0xFE00);
    ASSERT_TRUE(decode(bytes + std::string(6 * 4 * 16, '\0'), image));
    EXPECT_EQ(image.faces(), 6);
    EXPECT_EQ(image.depth(), 1);
    EXPECT_EQ(image.mipLevels(), 1);

    // A mip count beyond the full chain reads the full chain.
    bytes = header(4, 2, 0, 8);
    putWord(bytes, 28, 100);
    ASSERT_TRUE(decode(bytes + std::string(8 + 2 + 1, '\0'), image));
    EXPECT_EQ(image.mipLevels(), 3);
}

TEST(DDSReadTest, ColourIsRedFirstInTheImage) {
    std::string blueFirst = header(2, 1, 0, 24);
    putWord(blueFirst, 92, 0xFF0000);
    Image image;
    ASSERT_TRUE(decode(blueFirst + std::string("\x01\x02\x03\x04\x05\x06", 6), image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));

    // A file whose masks put red in the lowest byte is already red first.
    std::string redFirst = header(1, 1, 0, 32);
    putWord(redFirst, 92, 0xFF);
    ASSERT_TRUE(decode(redFirst + std::string("\x01\x02\x03\x04", 4), image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(DDSReadTest, ShortOrImpossibleFilesFailAndLeaveTheImageAlone) {
    Image image = numberedImage(2, 2, 1, FORMAT_L8, 1, 1);
    const auto before = pixels(image);
    auto expectRefused = [&](const std::string& bytes, const char* what) {
        EXPECT_FALSE(decode(bytes, image)) << what;
        EXPECT_EQ(pixels(image), before) << what;
        EXPECT_EQ(image.format(), FORMAT_L8) << what;
    };
    const std::string good = header(4, 4, 0, 32) + std::string(64, '\x55');
    Image check;
    ASSERT_TRUE(decode(good, check));

    expectRefused("", "empty");
    expectRefused(good.substr(0, 100), "header cut short");
    expectRefused(good.substr(0, 128), "no pixel data");
    expectRefused(good.substr(0, good.size() - 1), "one byte short");
    std::string wrongMagic = good;
    wrongMagic[3] = 'X';
    expectRefused(wrongMagic, "wrong magic");

    // Sizes far beyond what the file holds are refused before anything is allocated.
    std::string huge = header(0xFFFFFFFF, 0xFFFFFFFF, 116, 0) + std::string(64, '\0');
    expectRefused(huge, "width beyond 31 bits");
    huge = header(65535, 65535, 116, 0);
    putWord(huge, 24, 65535);
    putWord(huge, 28, 32);
    expectRefused(huge + std::string(64, '\0'), "volume of 2^48 texels");
    huge = header(65536, 65536, 116, 0);
    putWord(huge, 112, 0x200);
    expectRefused(huge + std::string(64, '\0'), "cube map of 2^38 bytes");
}

} // namespace
} // namespace Vrenn
