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
    DDSCodec codec;
    return Vrenn::Test::decode(codec, bytes, image);
}

// Each image of the table is written with the header words listed there (and the fixed magic,
// sizes and pitch), or refused; what is written reads back as the same image.
TEST(DDSWriteTest, HeaderWordsForEachFormatAndShapeAndTheSameImageReadBack) {
    const size_t offsets[] = {8, 12, 16, 24, 28, 80, 84, 88, 92, 96, 100, 104, 108, 112};
    for (const auto& row : Vrenn::Test::table("dds-write.txt")) {
        int v[6];
        for (size_t i = 0; i < 6; ++i)
            v[i] = std::stoi(row[i]);
        Image original = numbered(v[0], v[1], v[2], ImageFormat(v[3]), v[4], v[5]);
        const auto before = pixels(original);
        SCOPED_TRACE(::testing::Message() << "row " << ::testing::PrintToString(row));
        std::shared_ptr<File> file = std::make_shared<RamFile>();
        const bool refused = row[6] == "refused";
        EXPECT_EQ(DDSCodec().encode(file, original), !refused);
        const std::string bytes = Vrenn::Test::contents(file);
        if (refused) {
            EXPECT_EQ(bytes, "");
            continue;
        }
        EXPECT_EQ(pixels(original), before); // writing leaves the image alone
        ASSERT_EQ(bytes.size(), 128 + before.size());
        for (const auto& [offset, value] :
             {std::pair{0, 0x20534444u}, {4, 124u}, {20, 0u}, {76, 32u}})
            EXPECT_EQ(word(bytes, offset), value) << "at " << offset;
        for (size_t i = 0; i < std::size(offsets); ++i) {
            if (row[6 + i] != "-") {
                EXPECT_EQ(word(bytes, offsets[i]), std::stoul(row[6 + i], nullptr, 0))
                    << "at " << offsets[i];
            }
        }
        Image read;
        ASSERT_TRUE(decode(bytes, read));
        EXPECT_EQ(std::tuple(read.width(), read.height(), read.depth(), read.format(),
                             read.mipLevels(), read.faces()),
                  std::tuple(std::max(v[0], 1), std::max(v[1], 1), std::max(v[2], 1),
                             ImageFormat(v[3]), std::max(int(word(bytes, 28)), 1), v[5]));
        EXPECT_EQ(pixels(read), before);
    }
    // 24-bit colour is blue first in the file.
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    Image rgb = numbered(2, 1, 1, FORMAT_RGB8, 1, 1);
    ASSERT_TRUE(DDSCodec().encode(file, rgb));
    EXPECT_EQ(Vrenn::Test::contents(file).substr(128), std::string("\x02\x01\x00\x05\x04\x03", 6));
}

// Files of other writers: the format comes from the code or the bit layout; colour is blue first
// unless the masks put red lowest; luminance with alpha comes back as RGBA.
TEST(DDSReadTest, FormatAndChannelOrderFromTheHeader) {
    Image image;
    for (const auto& row : Vrenn::Test::table("dds-read.txt")) {
        uint32_t code = 0;
        if (row[0] != "-") std::memcpy(&code, row[0].data(), 4);
        uint32_t n[5];
        for (size_t i = 0; i < 5; ++i)
            n[i] = uint32_t(std::stoul(row[1 + i], nullptr, 0));
        const bool read =
            decode(header(4, 4, code, n[0], n[1], n[2], n[3]) + std::string(1024, '\x11'), image);
        EXPECT_EQ(read, n[4] != 0) << ::testing::PrintToString(row);
        if (read) {
            EXPECT_EQ(image.format(), ImageFormat(n[4])) << ::testing::PrintToString(row);
        }
    }

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
