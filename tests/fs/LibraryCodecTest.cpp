#include "CodecTestSupport.h"
#include "fs/JPEGCodec.h"
#include "fs/PNGCodec.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <zlib.h>

namespace Vrenn {
namespace {

using Vrenn::Test::fixture;
using Vrenn::Test::pixels;

// A codec of the image libraries fed from memory, with the log lines it writes.
template <typename CodecType>
struct MemoryCodecTest : ::testing::Test, Vrenn::Test::LoggedCodecEnvironment {
    CodecType codec;

    bool decode(const std::string& bytes, Image& image) {
        return Vrenn::Test::decode(codec, bytes, image);
    }

    // Each input fails with one log line starting with prefix, the earlier picture staying.
    void expectRefused(const std::vector<std::string>& inputs, Image& image,
                       const std::string& prefix) {
        const auto good = pixels(image);
        const size_t before = log().size();
        for (size_t i = 0; i < inputs.size(); ++i) {
            ASSERT_FALSE(decode(inputs[i], image)) << i;
            EXPECT_EQ(pixels(image), good) << i;
        }
        const auto logged = log();
        ASSERT_EQ(logged.size(), before + inputs.size());
        for (size_t i = before; i < logged.size(); ++i)
            EXPECT_EQ(logged[i].rfind(prefix, 0), 0u) << logged[i];
    }
};

// The first bytes of a file, cut every step bytes.
std::vector<std::string> cuts(const std::string& bytes, size_t step) {
    std::vector<std::string> cut;
    for (size_t length = 0; length + 1 < bytes.size(); length += step)
        cut.push_back(bytes.substr(0, length));
    return cut;
}
using JPEGTest = MemoryCodecTest<JPEGCodec>;
using PNGTest = MemoryCodecTest<PNGCodec>;

// Cut, corrupt or oversized data fails with one line giving the reason, the earlier picture
// staying; a progressive file (which keeps every coefficient) claiming a large size is refused
// from its header.
TEST_F(JPEGTest, DamagedOrOversizedDataFailsWithOneLogLineEach) {
    const std::string colour = fixture("cjpeg_color.jpg");
    const std::string progressive = fixture("cjpeg_progressive.jpg");
    Image image;
    ASSERT_TRUE(decode(colour, image));
    std::vector<std::string> damaged = cuts(colour, 7);
    const size_t scan = colour.find("\xFF\xDA", 0, 2);
    std::string corrupt = colour; // entropy-coded data overwritten with a pattern
    for (size_t i = scan + 20; i < scan + 60; ++i)
        corrupt[i] = char(0x5A ^ i);
    damaged.push_back(corrupt);
    damaged.push_back(colour.substr(0, scan + 30) + "\xFF\xD9" + colour.substr(scan + 32));
    damaged.push_back(std::string(500, 'x'));
    expectRefused(damaged, image, "JPEG: cannot decode: ");
    codec.setMaxPixels(33 * 17);
    EXPECT_TRUE(decode(colour, image));
    codec.setMaxPixels(33 * 17 - 1);
    expectRefused({colour}, image, "JPEG: cannot decode: ");
    codec.setMaxPixels(JPEGCodec::kDefaultMaxPixels);

    const size_t frame = progressive.find("\xFF\xC2", 0, 2); // 4:2:0 colour, 33x17
    const auto claiming = [&](int width, int height) {
        const char size[4] = {char(height >> 8), char(height), char(width >> 8), char(width)};
        return std::string(progressive).replace(frame + 5, 4, size, 4);
    };
    ASSERT_TRUE(decode(progressive, image));
    EXPECT_FALSE(decode(claiming(16384, 16384), image)); // 768 MiB of coefficients
    codec.setMaxDecoderMemory(200000);
    EXPECT_TRUE(decode(progressive, image));
    EXPECT_FALSE(decode(claiming(256, 256), image)); // its coefficients fit, the rest does not
    EXPECT_EQ(image.width(), 33);
    const auto logged = log();
    EXPECT_EQ(std::vector(logged.end() - 2, logged.end()),
              (std::vector<std::string>{
                  "JPEG: cannot decode: a 16384x16384 picture in several scans needs 768 MiB of "
                  "decoder memory, more than the limit of 256 MiB",
                  "JPEG: cannot decode: the decoder needs more memory than the limit of 200000 "
                  "bytes"}));

    // Loaded by name, the decoder's line stands for the failure: no second warning.
    dir.write("cut.jpeg", colour.substr(0, 400));
    fileSystem.addUserFile(dir.file("cut.jpeg"));
    EXPECT_FALSE(image.load(dir.file("cut.jpeg")));
    EXPECT_EQ(log().size(), logged.size() + 2);
    EXPECT_EQ(log()[logged.size()], "--- Loading " + dir.file("cut.jpeg"));
}

// A smooth picture of odd size (red across, green down, blue against both, alpha the file
// cannot hold) written as grey, RGB and RGBA decodes alike with djpeg, close to the source.
TEST_F(JPEGTest, WrittenFilesDecodeAlikeWithDjpegAndCloseToTheSource) {
    const auto gradient = [](ImageFormat format) {
        Image image;
        uint8_t* texel = image.create(41, 23, 1, format, 1, 1);
        for (int y = 0; y < 23; ++y)
            for (int x = 0; x < 41; ++x, texel += channelCount(format)) {
                const int r = x * 255 / 40, g = y * 255 / 22;
                const uint8_t values[4] = {uint8_t(r), uint8_t(g), uint8_t(255 - (r + g) / 2),
                                           uint8_t(x * 6)};
                std::memcpy(texel, values, size_t(channelCount(format)));
            }
        return image;
    };
    // Alpha is dropped: RGBA is written exactly as the same colours in RGB; quality counts.
    Image rgb = gradient(FORMAT_RGB8);
    ASSERT_TRUE(rgb.save(dir.file("rgb.jpg")));
    ASSERT_TRUE(gradient(FORMAT_RGBA8).save(dir.file("rgba.jpg")));
    EXPECT_EQ(dir.read("rgb.jpg"), dir.read("rgba.jpg"));
    auto coarse = std::make_shared<JPEGCodec>();
    coarse->setQuality(10);
    ASSERT_TRUE(coarse->save(dir.file("coarse.jpg"), rgb));
    EXPECT_LT(dir.read("coarse.jpg").size(), dir.read("rgb.jpg").size());
    Image wide, cube;
    ASSERT_TRUE(wide.create(2, 2, 1, FORMAT_RGBA16, 1, 1));
    ASSERT_TRUE(cube.create(2, 2, 1, FORMAT_RGB8, 1, 6));
    dir.write("kept.jpg", "previous");
    EXPECT_FALSE(wide.save(dir.file("kept.jpg")));
    EXPECT_FALSE(cube.save(dir.file("kept.jpg")));
    EXPECT_EQ(dir.read("kept.jpg"), "previous");
    EXPECT_EQ(log(), (std::vector<std::string>{
                         "JPEG: format 8 cannot be written, only 8-bit grey, RGB and RGBA",
                         "JPEG: 6 faces and depth 1 cannot be written, only a flat picture"}));

    if (std::system("command -v djpeg > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "djpeg (libjpeg-turbo-progs) is not installed";
    fileSystem.addUserFile(dir.file("written.jpg"));
    for (const ImageFormat format : {FORMAT_RGB8, FORMAT_RGBA8, FORMAT_L8}) {
        SCOPED_TRACE(format);
        Image source = gradient(format);
        ASSERT_TRUE(source.save(dir.file("written.jpg")));
        const std::string command = "djpeg -pnm -outfile '" + dir.file("decoded.pnm") + "' '" +
                                    dir.file("written.jpg") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const std::string pnm = dir.read("decoded.pnm");
        const size_t kept = format == FORMAT_L8 ? 1 : 3, channels = size_t(channelCount(format));
        const std::string header = (kept == 1 ? "P5" : "P6") + std::string("\n41 23\n255\n");
        ASSERT_EQ(pnm.substr(0, header.size()), header);
        const std::vector<uint8_t> decoded(pnm.begin() + long(header.size()), pnm.end());
        ASSERT_EQ(decoded.size(), 41u * 23 * kept);
        double sum = 0; // within what quality 90 loses on a smooth picture
        int worst = 0;
        for (size_t i = 0; i < 41 * 23; ++i)
            for (size_t c = 0; c < kept; ++c) {
                const int d = std::abs(source.data()[i * channels + c] - decoded[i * kept + c]);
                sum += d;
                worst = std::max(worst, d);
            }
        EXPECT_LT(sum / double(41 * 23 * kept), 2.5);
        EXPECT_LE(worst, 24);
        Image reread; // our reader agrees with djpeg byte for byte
        ASSERT_TRUE(reread.load(dir.file("written.jpg")));
        EXPECT_EQ(pixels(reread), decoded);
    }
}

std::string bigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// Damaged files and pictures beyond the limits fail with one log line each, the earlier
// picture staying; a small file claiming an enormous size is refused before allocating.
TEST_F(PNGTest, DamagedOrOversizedFilesFailWithOneLogLineEach) {
    const std::string rgb = fixture("im_png_rgb.png");
    const std::string interlaced = fixture("im_png_interlaced.png");
    Image image;
    codec.setMaxPixels(13 * 7);
    ASSERT_TRUE(decode(rgb, image));
    std::vector<std::string> damaged = cuts(rgb, 11), more = cuts(interlaced, 11);
    damaged.insert(damaged.end(), more.begin(), more.end());
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
    expectRefused(damaged, image, "PNG: cannot decode: ");
    codec.setMaxPixels(13 * 7 - 1);
    expectRefused({rgb}, image, "PNG: cannot decode: ");
    const auto logged = log();
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
