#include "CodecTestSupport.h"
#include "fs/RGBECodec.h"

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

} // namespace
} // namespace Vrenn
