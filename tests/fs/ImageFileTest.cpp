#include "CodecTestSupport.h"
#include "fs/RGBECodec.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::LoggedCodecEnvironment;

// Writes a few bytes and then reports failure, as an encoder that runs out of disk.
class FailingCodec : public Codec {
public:
    FailingCodec() : Codec("fail") {}
    bool decode(std::shared_ptr<File>&, Image&) override { return false; }
    bool encode(std::shared_ptr<File>& file, Image&) override {
        file->write("partial", 7);
        return false;
    }
};

TEST(CodecMgrTest, StandardRegistrationsAndFirstCodecWins) {
    {
        CodecMgr manager;
        registerStandardCodecs(manager);
        std::vector<std::string> names;
        for (const auto& [name, codec] : manager.codecs())
            names.push_back(codec->getName());
        EXPECT_EQ(names, (std::vector<std::string>{"dds", "exr", "hdr", "jpeg", "jpg", "png"}));
        const auto first = manager.getCodec("dds");
        EXPECT_FALSE(manager.registerCodec(std::make_shared<RGBECodec>("dds")));
        EXPECT_EQ(manager.getCodec("dds"), first);
        EXPECT_EQ(manager.getCodec("DDS"), nullptr);
    }
    EXPECT_FALSE(Image().load("anything.dds")); // no codec manager any more
}

TEST(ImageFileTest, LoadPicksTheCodecByTheExactLastExtension) {
    LoggedCodecEnvironment environment;
    const auto& dir = environment.dir;
    std::string smallHDR = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 8\n";
    for (int i = 0; i < 8; ++i)
        smallHDR += "\x80\x40\x20\x81";
    for (const char* name : {"probe.hdr", "probe.HDR", "probe", "probe.tga"})
        dir.write(name, smallHDR);
    // The temporary folder lies outside the run folder (the working directory).
    for (const char* name : {"probe.hdr", "missing.hdr", "a.b.dds"})
        environment.fileSystem.addUserFile(dir.file(name));

    std::vector<std::string> expectedLog{"--- Loading " + dir.file("probe.hdr")};
    EXPECT_EQ(loadImage(dir.file("probe.hdr"))->width(), 8);
    for (const char* name : {"probe.HDR", "probe", "probe.tga"}) {
        EXPECT_FALSE(Image().load(dir.file(name)));
        expectedLog.push_back("Warning: Loading " + dir.file(name) +
                              " failed: no codec for its extension.");
    }
    // loadImage hands out an image either way; a failed one holds no data.
    EXPECT_EQ(loadImage(dir.file("missing.hdr"))->data(), nullptr);
    expectedLog.push_back("--- Loading " + dir.file("missing.hdr"));
    expectedLog.push_back("Warning: Loading " + dir.file("missing.hdr") + " failed.");
    EXPECT_EQ(environment.log(), expectedLog);

    Image cube;
    ASSERT_TRUE(cube.create(2, 2, 1, FORMAT_RGBA8, 1, 6));
    ASSERT_TRUE(cube.save(dir.file("a.b.dds")));
    EXPECT_EQ(loadImage(dir.file("a.b.dds"))->faces(), 6);
}

// A failed or refused encoding leaves the previous file and no temporary; a file that cannot
// be created is reported, not taken for success.
TEST(ImageFileTest, SaveReplacesTheFileWholeOrNotAtAll) {
    LoggedCodecEnvironment environment;
    environment.codecs.registerCodec(std::make_shared<FailingCodec>());
    const auto& dir = environment.dir;
    Image image, compressed;
    ASSERT_TRUE(image.create(4, 4, 1, FORMAT_L8, 1, 1));
    ASSERT_TRUE(image.save(dir.file("out.dds")));
    const std::string written = dir.read("out.dds");
    EXPECT_EQ(written.size(), 128u + 16);
    ASSERT_TRUE(compressed.create(4, 4, 1, FORMAT_DXT1, 1, 1));
    EXPECT_FALSE(compressed.save(dir.file("out.dds")));
    dir.write("out.fail", "previous");
    EXPECT_FALSE(image.save(dir.file("out.fail")));
    EXPECT_FALSE(image.save(dir.file("out.hdr")));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string() + "=" + dir.read(entry.path().filename()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(names[1], "out.dds=" + written);
    EXPECT_EQ(names[2], "out.fail=previous");
    EXPECT_FALSE(image.save(dir.file("no/such/folder/out.dds")));
    EXPECT_NE(environment.log().back().find("no/such/folder/out.dds"), std::string::npos);
}

using Vrenn::Test::pixels;

std::vector<uint8_t> fixtureBytes(const std::string& name) {
    const std::string bytes = Vrenn::Test::fixture(name);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

struct FixtureTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;

    Image load(const std::string& name) {
        Image image;
        // The fixtures lie outside the run folder (the working directory).
        const std::string path = Vrenn::Test::testDataPath("fs/" + name);
        environment.fileSystem.addUserFile(path);
        EXPECT_TRUE(image.load(path)) << name;
        return image;
    }
};

// Every fixture of tests/data/fs/fixtures.txt, loaded by name, has the listed format and size
// and the texels of the writing program's own decode.
TEST_F(FixtureTest, FilesOfOtherProgramsMatchTheirDecodes) {
    for (const auto& row : Vrenn::Test::table("fixtures.txt")) {
        SCOPED_TRACE(row[0]);
        const Image image = load(row[0]);
        EXPECT_EQ(std::tuple(int(image.format()), image.width(), image.height(), image.mipLevels(),
                             image.byteCount()),
                  std::tuple(std::stoi(row[1]), std::stoi(row[2]), std::stoi(row[3]),
                             std::stoi(row[4]), std::stoul(row[5])));
        const std::string& reference = row[6];
        std::vector<uint8_t> expected = fixtureBytes(reference), got = pixels(image);
        const auto ends = [&](const char* suffix) {
            return reference.size() > std::strlen(suffix) &&
                   reference.compare(reference.size() - std::strlen(suffix), std::string::npos,
                                     suffix) == 0;
        };
        if (ends(".pnm")) { // P6 (colour) or P5 (grey), maxval 255, one white space
            int headerLength = 0;
            std::sscanf(reinterpret_cast<const char*>(expected.data()), "P%*d %*d %*d %*d%n",
                        &headerLength);
            ASSERT_GT(headerLength, 0);
            expected.erase(expected.begin(), expected.begin() + headerLength + 1);
        } else if (ends(".rgba16")) { // rounded to the nearest 8-bit value
            for (size_t i = 0; i < expected.size() / 2; ++i)
                expected[i] =
                    uint8_t(((expected[2 * i] << 8 | expected[2 * i + 1]) * 255 + 32767) / 65535);
            expected.resize(expected.size() / 2);
        } else if (!ends(".rgba")) {
            expected.erase(expected.begin(), expected.begin() + std::stol(row.at(7)));
        }
        if (ends(".rgba") || ends(".rgba16")) { // grey repeated, alpha 255 where there is none
            const size_t channels = size_t(channelCount(image.format()));
            got.clear();
            for (const uint8_t* t = image.data(); t < image.data() + image.byteCount();
                 t += channels)
                got.insert(got.end(), {t[0], t[channels >= 3 ? 1 : 0], t[channels >= 3 ? 2 : 0],
                                       channels == 4 ? t[3] : uint8_t(255)});
        }
        got.resize(std::min(got.size(), expected.size())); // the top level only
        EXPECT_EQ(got, expected);
    }
    // Pictures in CMYK (written by ImageMagick) have no image format here.
    Image image;
    EXPECT_FALSE(image.load(Vrenn::Test::testDataPath("fs/im_cmyk.jpg")));
    EXPECT_EQ(image.data(), nullptr);
}

TEST_F(FixtureTest, RadianceFromImageMagickMatchesItsDecode) {
    struct Case {
        const char* name;
        int width, height;
        bool cross;
    };
    for (const float range : {0.0f, 1.0f, 0.25f}) {
        environment.setMaxLuminance(range);
        for (const Case c :
             {Case{"im_rle_cross", 24, 32, true}, Case{"im_rle_square", 16, 12, false},
              Case{"im_flat", 6, 5, false}, Case{"im_flat_cross", 6, 8, true},
              Case{"im_rle_comment", 10, 9, false}}) {
            SCOPED_TRACE(::testing::Message() << c.name << " range " << range);
            // ImageMagick's float decode, packed by the reference formula.
            const auto floats = fixtureBytes(std::string(c.name) + ".f32");
            ASSERT_EQ(floats.size(), size_t(c.width) * c.height * 12);
            Image expected;
            expected.create(c.width, c.height, 1, FORMAT_RGBA8, 1, 1);
            for (size_t i = 0; i < size_t(c.width) * c.height; ++i) {
                float rgb[3];
                std::memcpy(rgb, floats.data() + 12 * i, 12);
                const auto packed = Vrenn::Test::referencePack(rgb[0], rgb[1], rgb[2], range);
                std::memcpy(expected.data() + 4 * i, packed.data(), 4);
            }
            if (c.cross) {
                ASSERT_TRUE(expected.crossToCube());
            }
            Image image = load(std::string(c.name) + ".hdr");
            EXPECT_EQ(image.width(), expected.width());
            EXPECT_EQ(image.faces(), c.cross ? 6 : 1);
            ASSERT_EQ(image.byteCount(), expected.byteCount());
            // ImageMagick keeps 16 bits per channel, so a byte may land one step away.
            int worst = 0;
            for (size_t i = 0; i < image.byteCount(); ++i)
                worst = std::max(worst, std::abs(image.data()[i] - expected.data()[i]));
            EXPECT_LE(worst, 1);
        }
    }
}

} // namespace
} // namespace Vrenn
