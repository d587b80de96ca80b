#include "fs/JPEGCodec.h"

#include "CodecTestSupport.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::lines;
using Vrenn::Test::pixels;

std::string colourJPEG() {
    return Vrenn::Test::readBytes(Vrenn::Test::testDataPath("fs/cjpeg_color.jpg"));
}

struct JPEGTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;
    Vrenn::Test::TempDir dir;
    JPEGCodec codec;

    JPEGTest() { environment.logs.CreateLog(LOG_DEFAULT, dir.file("app.log")); }

    bool decode(const std::string& bytes, Image& image) {
        return codec.decodeMemory(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                  image);
    }
    std::vector<std::string> log() const { return lines(dir.read("app.log")); }
};

TEST_F(JPEGTest, TruncatedFilesFailWithOneLogLine) {
    const std::string whole = colourJPEG();
    Image image;
    ASSERT_TRUE(decode(whole, image));
    const auto good = pixels(image);
    // Every cut: inside the markers, inside the entropy-coded data, just before the end.
    size_t failures = 0;
    for (size_t length = 0; length < whole.size() - 2; length += 7) {
        SCOPED_TRACE(length);
        ASSERT_FALSE(decode(whole.substr(0, length), image));
        ++failures;
        EXPECT_EQ(pixels(image), good); // unchanged
    }
    const auto logged = log();
    ASSERT_EQ(logged.size(), failures);
    for (const auto& line : logged)
        EXPECT_EQ(line.rfind("JPEG: cannot decode: ", 0), 0u) << line;
}

TEST_F(JPEGTest, CorruptDataFails) {
    const std::string whole = colourJPEG();
    const size_t scan = whole.find("\xFF\xDA", 0, 2);
    ASSERT_NE(scan, std::string::npos);
    Image image;
    // Overwrite a stretch of entropy-coded data with a marker-free pattern.
    std::string corrupt = whole;
    for (size_t i = scan + 20; i < scan + 60; ++i)
        corrupt[i] = static_cast<char>(0x5A ^ i);
    EXPECT_FALSE(decode(corrupt, image));
    // A marker in the middle of the data.
    corrupt = whole;
    corrupt[scan + 30] = '\xFF';
    corrupt[scan + 31] = '\xD9';
    EXPECT_FALSE(decode(corrupt, image));
    // Not a JPEG at all; a JPEG start with nothing sensible after it.
    EXPECT_FALSE(decode(std::string(500, 'x'), image));
    EXPECT_FALSE(
        decode(std::string("\xFF\xD8\xFF\xC0\x00\x02", 6) + std::string(100, '\0'), image));
    EXPECT_EQ(image.data(), nullptr);
}

TEST_F(JPEGTest, LoadThroughTheFileSystemAndNoWriting) {
    dir.write("picture.jpg", colourJPEG());
    dir.write("cut.jpeg", colourJPEG().substr(0, 400));
    Image image;
    ASSERT_TRUE(image.load(dir.file("picture.jpg")));
    EXPECT_EQ(image.format(), FORMAT_RGB8);
    EXPECT_EQ(image.width(), 33);
    EXPECT_FALSE(image.load(dir.file("cut.jpeg")));
    EXPECT_EQ(image.width(), 33); // the earlier picture stays

    // One line for the failure besides the file system's own.
    const auto logged = log();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[1], "--- Loading " + dir.file("cut.jpeg"));
    EXPECT_EQ(logged[2].rfind("JPEG: cannot decode: ", 0), 0u);

    EXPECT_FALSE(image.save(dir.file("copy.jpg")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("copy.jpg")));
    std::shared_ptr<File> file = std::make_shared<RamFile>();
    EXPECT_FALSE(codec.encode(file, image));
}

TEST_F(JPEGTest, OversizedPicturesAreRefusedBeforeDecoding) {
    Image image;
    codec.setMaxPixels(33 * 17);
    EXPECT_TRUE(decode(colourJPEG(), image));
    codec.setMaxPixels(33 * 17 - 1);
    EXPECT_FALSE(decode(colourJPEG(), image));
    // A header claiming 65000x65000 texels in a few bytes.
    std::string huge = colourJPEG();
    const size_t frame = huge.find("\xFF\xC0", 0, 2);
    ASSERT_NE(frame, std::string::npos);
    huge[frame + 5] = '\xFD';
    huge[frame + 6] = '\xE8';
    huge[frame + 7] = '\xFD';
    huge[frame + 8] = '\xE8';
    codec.setMaxPixels(JPEGCodec::kDefaultMaxPixels);
    EXPECT_FALSE(decode(huge, image));
}

} // namespace
} // namespace Vrenn
