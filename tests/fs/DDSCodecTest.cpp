#include "fs/DDSCodec.h"

#include "CodecTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::numbered;
using Vrenn::Test::pixels;

uint32_t word(const std::string& bytes, size_t offset) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value |= uint32_t{uint8_t(bytes.at(offset + i))} << (8 * i);
    return value;
}

std::string withWord(std::string bytes, size_t offset, uint32_t value) {
    for (size_t i = 0; i < 4; ++i)
        bytes[offset + i] = char(value >> (8 * i));
    return bytes;
}

std::string encoded(Image image, bool succeeds = true) {
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    EXPECT_EQ(DDSCodec().encode(file, image), succeeds);
    return Vrenn::Test::contents(file);
}

// A header as another writer might make it.
std::string header(uint32_t width, uint32_t height, uint32_t fourCC, uint32_t bitCount,
                   uint32_t red = 0, uint32_t blue = 0, uint32_t alpha = 0) {
    std::string bytes = "DDS " + std::string(124, '\0');
    const std::pair<size_t, uint32_t> fields[] = {{4, 124},     {12, height},   {16, width},
                                                  {84, fourCC}, {88, bitCount}, {92, red},
                                                  {100, blue},  {104, alpha}};
    for (const auto& [offset, value] : fields)
        bytes = withWord(bytes, offset, value);
    return bytes;
}

bool decode(const std::string& bytes, Image& image) {
    auto file = Vrenn::Test::memoryFile(bytes);
    return DDSCodec().decode(file, image);
}

TEST(DDSWriteTest, HeaderFieldsForEachFormatAndShapeAndRefusals) {
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
        const std::string bytes = encoded(numbered(4, 2, 1, e.format, 1, 1));
        ASSERT_EQ(bytes.size(), 128u + 8u * bytesPerPixel(e.format)) << e.format;
        // magic, size, flags, height, width, pitch, depth, mips, pixel format size, flags,
        // code, bits, masks, caps, caps2
        const uint32_t fields[] = {0x20534444, 124,     0x1007, 2,       4,        0,
                                   0,          0,       32,     e.flags, e.fourCC, e.bitCount,
                                   e.red,      e.green, e.blue, e.alpha, 0x1000,   0};
        const size_t offsets[] = {0,  4,  8,  12, 16, 20,  24,  28,  76,
                                  80, 84, 88, 92, 96, 100, 104, 108, 112};
        for (size_t i = 0; i < std::size(fields); ++i)
            EXPECT_EQ(word(bytes, offsets[i]), fields[i]) << e.format << " at " << offsets[i];
    }

    // flags, depth, mips, caps, caps2 of a cube, a mipmapped cube and a volume.
    const struct {
        Image image;
        uint32_t fields[5];
    } shapes[] = {{numbered(8, 8, 1, FORMAT_RGBA32F, 1, 6), {0x1007, 0, 0, 0x1008, 0xFE00}},
                  {numbered(8, 4, 1, FORMAT_L8, 4, 6), {0x21007, 0, 4, 0x401008, 0xFE00}},
                  {numbered(4, 4, 3, FORMAT_L8, 1, 1), {0x801007, 3, 0, 0x1008, 0x200000}},
                  // a mip count beyond the full chain is written as the full chain
                  {numbered(4, 4, 1, FORMAT_L8, 20, 1), {0x21007, 0, 3, 0x401008, 0}}};
    for (const auto& shape : shapes) {
        const std::string bytes = encoded(shape.image);
        const size_t offsets[] = {8, 24, 28, 108, 112};
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(word(bytes, offsets[i]), shape.fields[i]) << shape.image.width() << " " << i;
    }

    // Formats without a file layout and shapes the reader could not give back are refused.
    for (ImageFormat format :
         {FORMAT_UNKNOWN, FORMAT_A8L8, FORMAT_RGB16, FORMAT_RGB16F, FORMAT_RGB32F, FORMAT_RGBA4,
          FORMAT_R5G6B5, FORMAT_DXT1, FORMAT_DXT5, FORMAT_D32})
        EXPECT_EQ(encoded(numbered(4, 4, 1, format, 1, 1), false), "") << format;
    for (const auto& [depth, mips, faces] : {std::tuple{1, 1, 2}, {2, 1, 6}, {1, 0, 1}})
        EXPECT_EQ(encoded(numbered(4, 4, depth, FORMAT_L8, mips, faces), false), "");
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
        SCOPED_TRACE(::testing::Message() << "format " << c.format << " " << c.width);
        Image original = numbered(c.width, c.height, c.depth, c.format, c.mips, c.faces);
        const auto before = pixels(original);
        Image read;
        ASSERT_TRUE(decode(encoded(original), read));
        EXPECT_EQ(pixels(original), before); // writing leaves the image alone
        EXPECT_EQ(std::tuple(read.width(), read.height(), read.depth(), read.format(),
                             read.mipLevels(), read.faces()),
                  std::tuple(std::max(c.width, 1), std::max(c.height, 1), std::max(c.depth, 1),
                             c.format, c.mips, c.faces));
        EXPECT_EQ(pixels(read), before);
    }
    // 24-bit colour is blue first in the file.
    EXPECT_EQ(encoded(numbered(2, 1, 1, FORMAT_RGB8, 1, 1)).substr(128),
              std::string("\x02\x01\x00\x05\x04\x03", 6));
}

constexpr uint32_t fourCC(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 |
           uint32_t(uint8_t(text[2])) << 16 | uint32_t(uint8_t(text[3])) << 24;
}

// Files of other writers: the format comes from the code or the bit layout; colour is blue first
// unless the masks put red lowest; luminance with alpha comes back as RGBA.
TEST(DDSReadTest, FormatAndChannelOrderFromTheHeader) {
    const struct {
        std::string header;
        ImageFormat expected;
    } cases[] = {
        {header(4, 4, fourCC("DXT1"), 0), FORMAT_DXT1},
        {header(4, 4, fourCC("DXT3"), 0), FORMAT_DXT3},
        {header(4, 4, fourCC("DXT5"), 32), FORMAT_DXT5},
        {header(4, 4, fourCC("ATI2"), 8), FORMAT_L8},
        {header(4, 4, 0, 16, 0, 0x0F, 0xF000), FORMAT_RGBA4},
        {header(4, 4, 0, 16, 0, 0x1F), FORMAT_R5G6B5},
        {header(4, 4, 0, 16), FORMAT_L16},
        {header(4, 4, 0, 24, 0, 0xFF), FORMAT_RGB8},
        {header(4, 4, 0, 32, 0, 0xFF, 0xFF000000), FORMAT_RGBA8},
    };
    for (const auto& c : cases) {
        Image image;
        ASSERT_TRUE(decode(c.header + std::string(256, '\x11'), image)) << c.expected;
        EXPECT_EQ(image.format(), c.expected);
    }
    Image image;
    for (uint32_t bits : {0u, 12u, 48u})
        EXPECT_FALSE(decode(header(4, 4, 0, bits) + std::string(1024, '\0'), image)) << bits;

    ASSERT_TRUE(decode(header(2, 1, 0, 24, 0xFF0000) + "\x01\x02\x03\x04\x05\x06", image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{3, 2, 1, 6, 5, 4}));
    ASSERT_TRUE(decode(header(1, 1, 0, 32, 0xFF) + "\x01\x02\x03\x04", image));
    EXPECT_EQ(pixels(image), (std::vector<uint8_t>{1, 2, 3, 4}));

    const std::string pairs = header(2, 1, 0, 16, 0, 0, 0xFF00);
    ASSERT_TRUE(decode(pairs + "\x10\x80\x20\xFF", image));
    EXPECT_EQ(image.format(), FORMAT_RGBA8);
    EXPECT_EQ(pixels(image),
              (std::vector<uint8_t>{0x10, 0x10, 0x10, 0x80, 0x20, 0x20, 0x20, 0xFF}));
    EXPECT_FALSE(decode(pairs + "\x10\x80\x20", image));

    // caps2 0xFE00 holds the cube bit 0x200: six faces, depth 1; too many mips read the chain.
    ASSERT_TRUE(
        decode(withWord(header(2, 2, 116, 0), 112, 0xFE00) + std::string(384, '\0'), image));
    EXPECT_EQ(image.faces(), 6);
    EXPECT_EQ(image.depth(), 1);
    ASSERT_TRUE(decode(withWord(header(4, 2, 0, 8), 28, 100) + std::string(11, '\0'), image));
    EXPECT_EQ(image.mipLevels(), 3);
}

TEST(DDSReadTest, ShortOrImpossibleFilesFailAndLeaveTheImageAlone) {
    Image image = numbered(2, 2, 1, FORMAT_L8, 1, 1);
    const auto before = pixels(image);
    const std::string good = header(4, 4, 0, 32) + std::string(64, '\x55');
    ASSERT_TRUE(decode(good, image));
    image = numbered(2, 2, 1, FORMAT_L8, 1, 1);
    const std::string huge = header(65535, 65535, 116, 0);
    for (const std::string& bytes : {
             std::string(), good.substr(0, 100), // header cut short
             good.substr(0, good.size() - 1),    // pixel data one byte short
             "DDSX" + good.substr(4),            // wrong magic
             // sizes far beyond what the file holds, refused before anything is allocated
             header(0xFFFFFFFF, 0xFFFFFFFF, 116, 0) + std::string(64, '\0'),
             withWord(withWord(huge, 24, 65535), 28, 32) + std::string(64, '\0'), // 2^48 texels
             withWord(header(65536, 65536, 116, 0), 112, 0x200) + std::string(64, '\0'), // cube
         }) {
        EXPECT_FALSE(decode(bytes, image)) << bytes.size();
        EXPECT_EQ(pixels(image), before);
    }
}

} // namespace
} // namespace Vrenn
