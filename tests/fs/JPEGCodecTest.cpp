#include "fs/JPEGCodec.h"

#include "CodecTestSupport.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::pixels;

struct JPEGTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;
    Vrenn::Test::TempDir dir;
    JPEGCodec codec;
    const std::string colour =
        Vrenn::Test::readBytes(Vrenn::Test::testDataPath("fs/cjpeg_color.jpg"));

    JPEGTest() { environment.logs.CreateLog(LOG_DEFAULT, dir.file("app.log")); }

    bool decode(const std::string& bytes, Image& image) {
        return codec.decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image);
    }
    std::vector<std::string> log() const { return Vrenn::Test::lines(dir.read("app.log")); }
};

TEST_F(JPEGTest, TruncatedFilesFailWithOneLogLineEach) {
    Image image;
    ASSERT_TRUE(decode(colour, image));
    const auto good = pixels(image);
    // Cuts inside the markers, inside the entropy-coded data, and just before the end.
    size_t failures = 0;
    for (size_t length = 0; length < colour.size() - 1; length += 7, ++failures) {
        ASSERT_FALSE(decode(colour.substr(0, length), image)) << length;
        EXPECT_EQ(pixels(image), good); // unchanged
    }
    const auto logged = log();
    ASSERT_EQ(logged.size(), failures);
    for (const auto& line : logged)
        EXPECT_EQ(line.rfind("JPEG: cannot decode: ", 0), 0u) << line;
}

TEST_F(JPEGTest, CorruptOrOversizedDataFails) {
    const size_t scan = colour.find("\xFF\xDA", 0, 2);
    ASSERT_NE(scan, std::string::npos);
    Image image;
    std::string corrupt = colour; // entropy-coded data overwritten with a pattern
    for (size_t i = scan + 20; i < scan + 60; ++i)
        corrupt[i] = char(0x5A ^ i);
    EXPECT_FALSE(decode(corrupt, image));
    corrupt = colour.substr(0, scan + 30) + "\xFF\xD9" + colour.substr(scan + 32); // early end
    EXPECT_FALSE(decode(corrupt, image));
    EXPECT_FALSE(decode(std::string(500, 'x'), image));

    codec.setMaxPixels(33 * 17);
    EXPECT_TRUE(decode(colour, image));
    codec.setMaxPixels(33 * 17 - 1);
    EXPECT_FALSE(decode(colour, image));
    EXPECT_EQ(image.width(), 33); // the earlier picture stays
}

TEST_F(JPEGTest, LoadsThroughTheFileSystemAndNeverWrites) {
    dir.write("picture.jpg", colour);
    dir.write("cut.jpeg", colour.substr(0, 400));
    Image image;
    ASSERT_TRUE(image.load(dir.file("picture.jpg")));
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    EXPECT_FALSE(image.load(dir.file("cut.jpeg")));
    const auto logged = log();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[1], "--- Loading " + dir.file("cut.jpeg"));
    EXPECT_EQ(logged[2].rfind("JPEG: cannot decode: ", 0), 0u);

    EXPECT_FALSE(image.save(dir.file("copy.jpg")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.jpg")));
}

} // namespace
} // namespace Vrenn
