#include "fs/DDSCodec.h"

#include "CodecTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <tuple>

namespace Vrenn {
namespace {

using Vrenn::Test::pixels;

uint32_t word(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t{uint8_t(bytes.at(offset + i))} << (8 * i);
    return value;
}

void putWord(std::string& bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = char(value >> (8 * i));
}

// An image whose bytes count up, so that any reordering shows.
Image numbered(int width, int height, int depth, ImageFormat format, int mips, int faces) {
    Image image;
    image.create(width, height, depth, format, mips, faces);
    std::iota(image.data(), image.data() + image.byteCount(), uint8_t{7});
    return image;
}

std::string encoded(Image& image) {
    DDSCodec codec;
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    EXPECT_TRUE(codec.encode(file, image));
    return Vrenn::Test::contents(file);
}

// A header as another writer might make it.
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

constexpr uint32_t fourCC(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

bool decode(const std::string& bytes, Image& image) {
    DDSCodec codec;
    auto file = Vrenn::Test::memoryFile(bytes);
    return codec.decode(file, image);
}

TEST(DDSWriteTest, HeaderFieldsForEachWritableFormat) {
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
        Image image = numbered(4, 2, 1, e.format, 1, 1);
        const std::string bytes = encoded(image);
        ASSERT_EQ(bytes.size(), 128u + 8u * bytesPerPixel(e.format));
        EXPECT_EQ(bytes.substr(0, 4), "DDS ");
        // size, flags, height, width, pitch, depth, mips, then pixel format size
        const uint32_t fixed[] = {124, 0x1007, 2, 4, 0, 0, 0};
        for (size_t i = 0; i < 7; ++i)
            EXPECT_EQ(word(bytes, 4 + 4 * i), fixed[i]) << i;
        EXPECT_EQ(word(bytes, 76), 32u);
        const uint32_t pixelFormat[] = {e.flags, e.fourCC, e.bitCount, e.red,
                                        e.green, e.blue,   e.alpha};
        for (size_t i = 0; i < 7; ++i)
            EXPECT_EQ(word(bytes, 80 + 4 * i), pixelFormat[i]) << i;
        EXPECT_EQ(word(bytes, 108), 0x1000u);
        EXPECT_EQ(word(bytes, 112), 0u);
    }

    Image cube = numbered(8, 8, 1, FORMAT_RGBA32F, 1, 6);
    std::string bytes = encoded(cube);
    EXPECT_EQ(word(bytes, 84), 116u);
    EXPECT_EQ(word(bytes, 108), 0x1008u);
    EXPECT_EQ(word(bytes, 112), 0xFE00u);
    Image mipmappedCube = numbered(8, 4, 1, FORMAT_L8, 4, 6);
    bytes = encoded(mipmappedCube);
    EXPECT_EQ(word(bytes, 8), 0x21007u);
    EXPECT_EQ(word(bytes, 28), 4u);
    EXPECT_EQ(word(bytes, 108), 0x401008u);
    Image volume = numbered(4, 4, 3, FORMAT_L8, 1, 1);
    bytes = encoded(volume);
    EXPECT_EQ(word(bytes, 8), 0x801007u);
    EXPECT_EQ(word(bytes, 24), 3u);
    EXPECT_EQ(word(bytes, 108), 0x1008u);
    EXPECT_EQ(word(bytes, 112), 0x200000u);
}

TEST(DDSWriteTest, RefusesFormatsWithoutAFileLayoutAndWritesNothing) {
    DDSCodec codec;
    for (ImageFormat format :
         {FORMAT_UNKNOWN, FORMAT_A8L8, FORMAT_RGB16, FORMAT_RGB16F, FORMAT_RGB32F, FORMAT_RGBA4,
          FORMAT_R5G6B5, FORMAT_DXT1, FORMAT_DXT5, FORMAT_D32}) {
        Image image = numbered(4, 4, 1, format, 1, 1);
        std::shared_ptr<File> file = std::make_shared<RamFile>();
        EXPECT_FALSE(codec.encode(file, image)) << format;
        EXPECT_EQ(file->size(), 0u) << format;
    }
    // Shapes the reader could not give back: two faces, a cube of volumes, no levels.
    for (const auto& [depth, mips, faces] : {std::tuple{1, 1, 2}, {2, 1, 6}, {1, 0, 1}}) {
        Image image = numbered(4, 4, depth, FORMAT_L8, mips, faces);
        std::shared_ptr<File> file = std::make_shared<RamFile>();
        EXPECT_FALSE(codec.encode(file, image)) << depth << " " << mips << " " << faces;
        EXPECT_EQ(file->size(), 0u);
    }
    // A mip count beyond the full chain is written as the full chain.
    Image extraLevels = numbered(4, 4, 1, FORMAT_L8, 20, 1);
    EXPECT_EQ(word(encoded(extraLevels), 28), 3u);
}

TEST(DDSRoundTripTest, WriteThenReadGivesTheSameImage) {
    struct Case {
        int width, height, depth;
        ImageFormat format;
        int mips, faces;
    };
    for (const Case c : {Case{5, 3, 1, FORMAT_RGB8, 3, 1}, Case{4, 4, 1, FORMAT_RGBA8, 3, 6},
                         Case{7, 1, 1, FORMAT_L8, 3, 1}, Case{4, 4, 1, FORMAT_L16, 1, 1},
                         Case{2, 2, 1, FORMAT_RGBA16, 2, 6}, Case{8, 8, 1, FORMAT_RGBA16F, 4, 6},
                         Case{3, 2, 1, FORMAT_RG32F, 1, 1}, Case{4, 4, 4, FORMAT_RGBA32F, 3, 1},
                         Case{0, 0, 0, FORMAT_R16F, 1, 1}, Case{2, 3, 1, FORMAT_RG16, 1, 1},
                         Case{3, 3, 1, FORMAT_RG16F, 2, 1}, Case{1, 4, 1, FORMAT_R32F, 1, 1}}) {
        SCOPED_TRACE(::testing::Message() << "format " << c.format << " " << c.width << "x"
                                          << c.height << "x" << c.depth);
        Image original = numbered(c.width, c.height, c.depth, c.format, c.mips, c.faces);
        const auto before = pixels(original);
        Image read;
        ASSERT_TRUE(decode(encoded(original), read));
        EXPECT_EQ(pixels(original), before); // writing leaves the image alone
        EXPECT_EQ(read.width(), std::max(c.width, 1));
        EXPECT_EQ(read.height(), std::max(c.height, 1));
        EXPECT_EQ(read.depth(), std::max(c.depth, 1));
        EXPECT_EQ(read.format(), c.format);
        EXPECT_EQ(read.mipLevels(), c.mips);
        EXPECT_EQ(read.faces(), c.faces);
        EXPECT_EQ(pixels(read), before);
    }
}

TEST(DDSReadTest, ColourIsBlueFirstInTheFileAndRedFirstInTheImage) {
    Image image;
    ASSERT_TRUE(image.create(2, 1, 1, FORMAT_RGB8, 1, 1));
    std::iota(image.data(), image.data() + 6, uint8_t{1});
    EXPECT_EQ(encoded(image).substr(128), std::string("\x03\x02\x01\x06\x05\x04", 6));

    std::string blueFirst = header(2, 1, 0, 24);
    putWord(blueFirst, 92, 0xFF0000);
    ASSERT_TRUE(decode(blueFirst + std::string("\x01\x02\x03\x04\x05\x06", 6), image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    // Masks that put red in the lowest byte mean the file is already red first.
    std::string redFirst = header(1, 1, 0, 32);
    putWord(redFirst, 92, 0xFF);
    ASSERT_TRUE(decode(redFirst + std::string("\x01\x02\x03\x04", 4), image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{1, 2, 3, 4}));
}

// Luminance with alpha has no layout in an Image: its (L, A) pairs come back as RGBA, and a
// file too short for the pairs is refused.
TEST(DDSReadTest, LuminanceWithAlphaIsWidenedToRgba) {
    std::string bytes = header(2, 1, 0, 16);
    putWord(bytes, 104, 0xFF00);
    Image image;
    ASSERT_TRUE(decode(bytes + std::string("\x10\x80\x20\xFF", 4), image));
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(pixels(image),
              (std::vector<uint8_t>{0x10, 0x10, 0x10, 0x80, 0x20, 0x20, 0x20, 0xFF}));
    EXPECT_FALSE(decode(bytes + std::string("\x10\x80\x20", 3), image));
}

// The numeric codes (34 to 116) are those the writer's header test fixes; the round trip
// reads each of them back.
TEST(DDSReadTest, ChoosesTheFormatFromCodeOrBitLayout) {
    struct Case {
        uint32_t fourCC, bitCount, blueMask, alphaMask;
        ImageFormat expected;
    };
    const Case cases[] = {
        {fourCC("DXT1"), 0, 0, 0, FORMAT_DXT1},  {fourCC("DXT3"), 0, 0, 0, FORMAT_DXT3},
        {fourCC("DXT5"), 32, 0, 0, FORMAT_DXT5}, {fourCC("ATI2"), 8, 0, 0, FORMAT_L8},
        {0, 16, 0x0F, 0xF000, FORMAT_RGBA4},     {0, 16, 0, 0xFF00, FORMAT_RGBA8},
        {0, 16, 0x1F, 0, FORMAT_R5G6B5},         {0, 16, 0, 0, FORMAT_L16},
        {0, 24, 0xFF, 0, FORMAT_RGB8},           {0, 32, 0xFF, 0xFF000000, FORMAT_RGBA8},
    };
    for (const Case& c : cases) {
        std::string bytes = header(4, 4, c.fourCC, c.bitCount);
        putWord(bytes, 100, c.blueMask);
        putWord(bytes, 104, c.alphaMask);
        Image image;
        ASSERT_TRUE(decode(bytes + std::string(256, '\x11'), image)) << c.expected;
        EXPECT_EQ(image.format(), c.expected);
    }
    for (uint32_t bits : {0u, 12u, 48u}) {
        Image image;
        EXPECT_FALSE(decode(header(4, 4, 0, bits) + std::string(1024, '\0'), image)) << bits;
    }
}

TEST(DDSReadTest, MipChainsAndCubeMaps) {
    // 256x256 DXT1 with 9 levels reads 43704 bytes of data into format 20.
    std::string bytes = header(256, 256, fourCC("DXT1"), 0);
    putWord(bytes, 28, 9);
    std::string data(43704, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    Image image;
    ASSERT_TRUE(decode(bytes + data + "extra", image));
    EXPECT_EQ(image.format(), FORMAT_DXT1);
    EXPECT_EQ(image.mipLevels(), 9);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(image.data()), image.byteCount()), data);

    // caps2 0xFE00 includes the cube bit 0x200: six faces, depth 1 even with depth 0.
    bytes = header(2, 2, 116, 0);
    putWord(bytes, 112, 0xFE00);
    ASSERT_TRUE(decode(bytes + std::string(6 * 4 * 16, '\0'), image));
    EXPECT_EQ(image.faces(), 6);
    EXPECT_EQ(image.depth(), 1);

    // A mip count beyond the full chain reads the full chain.
    bytes = header(4, 2, 0, 8);
    putWord(bytes, 28, 100);
    ASSERT_TRUE(decode(bytes + std::string(8 + 2 + 1, '\0'), image));
    EXPECT_EQ(image.mipLevels(), 3);
}

TEST(DDSReadTest, ShortOrImpossibleFilesFailAndLeaveTheImageAlone) {
    Image image = numbered(2, 2, 1, FORMAT_L8, 1, 1);
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
    expectRefused(good.substr(0, good.size() - 1), "pixel data one byte short");
    std::string wrongMagic = good;
    wrongMagic[3] = 'X';
    expectRefused(wrongMagic, "wrong magic");

    // Sizes far beyond what the file holds are refused before anything is allocated.
    expectRefused(header(0xFFFFFFFF, 0xFFFFFFFF, 116, 0) + std::string(64, '\0'), "beyond 31 bits");
    std::string huge = header(65535, 65535, 116, 0);
    putWord(huge, 24, 65535);
    putWord(huge, 28, 32);
    expectRefused(huge + std::string(64, '\0'), "volume of 2^48 texels");
    huge = header(65536, 65536, 116, 0);
    putWord(huge, 112, 0x200);
    expectRefused(huge + std::string(64, '\0'), "cube map of 2^38 bytes");
}

} // namespace
} // namespace Vrenn
