#include "fs/JPEGCodec.h"

#include "CodecTestSupport.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A progressive file keeps every coefficient until its last scan: a small file that
// claims a large size is refused from its header, before the decoder allocates.
TEST_F(JPEGTest, ProgressiveFilesNeedingTooMuchDecoderMemoryAreRefused) {
    const std::string progressive =
        Vrenn::Test::readBytes(Vrenn::Test::testDataPath("fs/cjpeg_progressive.jpg"));
    const size_t frame = progressive.find("\xFF\xC2", 0, 2); // 4:2:0 colour, 33x17
    ASSERT_NE(frame, std::string::npos);
    const auto claiming = [&](int width, int height) {
        std::string bytes = progressive;
        const char size[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
        bytes.replace(frame + 5, 4, size, 4);
        return bytes;
    };
    Image image;
    ASSERT_TRUE(decode(progressive, image));
    const auto good = pixels(image);

    // Within the texel limit, but its coefficients alone would take 768 MiB.
    EXPECT_FALSE(decode(claiming(16384, 16384), image));
    codec.setMaxDecoderMemory(200000);
    EXPECT_TRUE(decode(progressive, image));
    // The coefficients (196608 bytes) fit, the library's other allocations do not.
    EXPECT_FALSE(decode(claiming(256, 256), image));
    EXPECT_EQ(pixels(image), good);
    EXPECT_EQ(log(),
              (std::vector<std::string>{
                  "JPEG: cannot decode: a 16384x16384 picture in several scans needs 768 MiB of "
                  "decoder memory, more than the limit of 256 MiB",
                  "JPEG: cannot decode: the decoder needs more memory than the limit of 200000 "
                  "bytes"}));
}

// The decoder's line stands for the failure: no second warning follows it.
TEST_F(JPEGTest, AFailedLoadLogsTheNameAndTheDecodersReason) {
    dir.write("cut.jpeg", colour.substr(0, 400));
    environment.fileSystem.addUserFile(dir.file("cut.jpeg"));
    Image image;
    EXPECT_FALSE(image.load(dir.file("cut.jpeg")));
    const auto logged = log();
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[0], "--- Loading " + dir.file("cut.jpeg"));
    EXPECT_EQ(logged[1].rfind("JPEG: cannot decode: ", 0), 0u);
}

// A smooth picture of odd size: red across, green down, blue against both, and an
// alpha that the file cannot hold.
Image gradient(ImageFormat format) {
    constexpr int32_t kWidth = 41, kHeight = 23;
    Image image;
    uint8_t* texel = image.create(kWidth, kHeight, 1, format, 1, 1);
    const int channels = format == FORMAT_L8 ? 1 : format == FORMAT_RGB8 ? 3 : 4;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x, texel += channels) {
            const int r = x * 255 / (kWidth - 1), g = y * 255 / (kHeight - 1);
            const uint8_t values[4] = {uint8_t(r), uint8_t(g), uint8_t(255 - (r + g) / 2),
                                       uint8_t(x * 6)};
            std::memcpy(texel, values, static_cast<size_t>(channels));
        }
    return image;
}

// djpeg's decode of a file: its binary PNM header fields and pixels.
struct Decoded {
    std::string magic;
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;
};

Decoded djpeg(const Vrenn::Test::TempDir& dir, const std::string& name) {
    const std::string command = "djpeg -pnm -outfile '" + dir.file("decoded.pnm") + "' '" +
                                dir.file(name) + "'";
    Decoded decoded;
    if (std::system(command.c_str()) != 0) return decoded;
    const std::string pnm = dir.read("decoded.pnm");
    char magic[3] = {};
    int maxValue = 0, header = 0;
    if (std::sscanf(pnm.c_str(), "%2s %d %d %d%n", magic, &decoded.width, &decoded.height,
                    &maxValue, &header) != 4)
        return decoded;
    decoded.magic = magic;
    decoded.pixels.assign(pnm.begin() + header + 1, pnm.end());
    return decoded;
}

// Mean and largest difference between the colours of an image and a decode.
std::pair<double, int> difference(const Image& image, const std::vector<uint8_t>& decoded) {
    const int channels = image.format() == FORMAT_L8 ? 1 : image.format() == FORMAT_RGB8 ? 3 : 4;
    const int kept = channels == 1 ? 1 : 3;
    double sum = 0;
    int worst = 0;
    const size_t texels = static_cast<size_t>(image.width()) * image.height();
    for (size_t i = 0; i < texels; ++i)
        for (int c = 0; c < kept; ++c) {
            const int d = std::abs(image.data()[i * channels + c] - decoded[i * kept + c]);
            sum += d;
            worst = std::max(worst, d);
        }
    return {sum / static_cast<double>(texels * kept), worst};
}

TEST_F(JPEGTest, WrittenFilesDecodeAlikeWithDjpegAndCloseToTheSource) {
    if (std::system("command -v djpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    environment.fileSystem.addUserFile(dir.file("written.jpg"));
    for (const ImageFormat format : {FORMAT_RGB8, FORMAT_RGBA8, FORMAT_L8}) {
        SCOPED_TRACE(format);
        Image source = gradient(format);
        ASSERT_TRUE(source.save(dir.file("written.jpg")));
        const Decoded decoded = djpeg(dir, "written.jpg");
        EXPECT_EQ(decoded.magic, format == FORMAT_L8 ? "P5" : "P6");
        EXPECT_EQ(decoded.width, 41);
        EXPECT_EQ(decoded.height, 23);
        ASSERT_EQ(decoded.pixels.size(), 41u * 23 * (format == FORMAT_L8 ? 1 : 3));
        // Within what quality 90 loses on a smooth picture.
        const auto [mean, worst] = difference(source, decoded.pixels);
        EXPECT_LT(mean, 2.5);
        EXPECT_LE(worst, 24);
        // Our reader agrees with djpeg byte for byte.
        Image reread;
        ASSERT_TRUE(reread.load(dir.file("written.jpg")));
        EXPECT_EQ(pixels(reread), decoded.pixels);
    }
}

TEST_F(JPEGTest, AlphaIsDroppedQualityCountsAndOtherImagesAreRefused) {
    // RGBA is written exactly as the same colours in RGB.
    Image rgb = gradient(FORMAT_RGB8);
    Image rgba = gradient(FORMAT_RGBA8);
    ASSERT_TRUE(rgb.save(dir.file("rgb.jpg")));
    ASSERT_TRUE(rgba.save(dir.file("rgba.jpg")));
    EXPECT_EQ(dir.read("rgb.jpg"), dir.read("rgba.jpg"));
    auto coarse = std::make_shared<JPEGCodec>();
    coarse->setQuality(10);
    ASSERT_TRUE(coarse->save(dir.file("coarse.jpg"), rgb));
    EXPECT_LT(dir.read("coarse.jpg").size(), dir.read("rgb.jpg").size());

    Image wide;
    ASSERT_TRUE(wide.create(2, 2, 1, FORMAT_RGBA16, 1, 1));
    Image cube;
    ASSERT_TRUE(cube.create(2, 2, 1, FORMAT_RGB8, 1, 6));
    dir.write("kept.jpg", "previous");
    EXPECT_FALSE(wide.save(dir.file("kept.jpg")));
    EXPECT_FALSE(cube.save(dir.file("kept.jpg")));
    EXPECT_EQ(dir.read("kept.jpg"), "previous");
    EXPECT_EQ(log(), (std::vector<std::string>{
                         "JPEG: format 8 cannot be written, only 8-bit grey, RGB and RGBA",
                         "JPEG: 6 faces and depth 1 cannot be written, only a flat picture"}));
}

} // namespace
} // namespace Vrenn
