#include "fs/EXRCodec.h"

#include "CodecTestSupport.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

std::string fixture(const std::string& name) {
    return Vrenn::Test::fixture("exr/" + name);
}

struct EXRTest : ::testing::Test {
    Vrenn::Test::CodecEnvironment environment;
    std::string messages;

    EXRTest() {
        environment.logs.setListener([this](const char* text) { messages += text; });
    }
    ~EXRTest() override { environment.logs.setListener({}); }

    bool decode(const std::string& bytes, Image& image) {
        messages.clear();
        EXRCodec codec;
        return Vrenn::Test::decode(codec, bytes, image);
    }
};

// Every layout, compression, pixel type and channel set the fixtures hold, decoded as
// oiiotool decodes them (tests/data/fs/exr/make-exr-fixtures.sh).
TEST_F(EXRTest, FixturesMatchAnIndependentDecode) {
    for (const auto& row : Vrenn::Test::table("exr/fixtures.txt")) {
        SCOPED_TRACE(row[0]);
        Image image;
        ASSERT_TRUE(decode(fixture(row[0]), image)) << messages;
        EXPECT_EQ(std::tuple(image.format(), image.width(), image.height(), image.faces()),
                  std::tuple(FORMAT_RGBA32F, std::stoi(row[1]), std::stoi(row[2]), 1));
        const std::string expected = fixture(row[0] + ".f32");
        ASSERT_EQ(image.byteCount(), expected.size());
        const auto* decoded = reinterpret_cast<const float*>(image.data());
        size_t wrong = 0;
        for (size_t i = 0; i < expected.size() / sizeof(float); ++i) {
            float want;
            std::memcpy(&want, expected.data() + i * sizeof(float), sizeof want);
            // oiiotool prints nine decimals.
            if (!(std::fabs(decoded[i] - want) <= 1e-6f * std::fabs(want) + 1e-9f)) ++wrong;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

// The header's data window attribute ("dataWindow", "box2i", 16, then four int32) replaced.
std::string withDataWindow(std::string bytes, int32_t width, int32_t height) {
    const std::string key("dataWindow\0box2i\0\x10\0\0\0", 21);
    const int32_t box[4] = {0, 0, width - 1, height - 1};
    const size_t at = bytes.find(key);
    EXPECT_NE(at, std::string::npos);
    return at == std::string::npos
               ? bytes
               : bytes.replace(at + key.size(), 16, reinterpret_cast<const char*>(box), 16);
}

TEST_F(EXRTest, DamagedFilesAreRefusedWithTheirReason) {
    const std::string scan = fixture("scan_zip_float_rgb.exr");
    const std::string tiled = fixture("tile_piz_float_rgba.exr");
    Image image;
    // Cut anywhere from inside the header to one byte short: refused, named as cut.
    for (const std::string* bytes : {&scan, &tiled})
        for (const size_t keep : {size_t(3), size_t(200), bytes->size() / 2, bytes->size() - 1}) {
            SCOPED_TRACE(keep);
            EXPECT_FALSE(decode(bytes->substr(0, keep), image));
            EXPECT_NE(messages.find("OpenEXR: "), std::string::npos) << messages;
            if (keep > 200) {
                EXPECT_NE(messages.find("cut short"), std::string::npos) << messages;
            }
        }
    // Small files claiming huge pictures or header values the library would reserve memory
    // for before reading them are refused first; so are header entries the library would read
    // from other bytes than the walk over the header does.
    const std::string signature("\x76\x2f\x31\x01\x02\0\0\0", 8);
    std::string tiny = withDataWindow(tiled, 1000, 1000);
    const size_t tiles = tiny.find(std::string("tiles\0tiledesc\0\x09\0\0\0", 19));
    ASSERT_NE(tiles, std::string::npos);
    tiny.replace(tiles + 19, 8, std::string("\x01\0\0\0\x01\0\0\0", 8)); // 1x1 tiles
    std::string wide = withDataWindow(tiled, 20000, 8);                  // tiles 1024 high
    wide.replace(tiles + 19, 8, std::string("\x00\x04\0\0\x00\x04\0\0", 8));
    const std::pair<std::string, const char*> refused[] = {
        {"#?RADIANCE\nnot an OpenEXR file at all\n", "OpenEXR: "},
        {fixture("depth_only.exr"), "no R, G, B or Y channel (it has: Z)"},
        {withDataWindow(scan, 20000, 20000), "more than an image holds"},
        {withDataWindow(scan, EXRCodec::kMaxSide + 1, 8), "OpenEXR: "},
        {withDataWindow(scan, 16000, 1000), "cut short"},
        {signature + std::string("comments\0string\0\xff\xff\xff\x7f"
                                 "ab",
                                 21),
         "the attribute comments claims 2147483647 bytes"},
        {signature + std::string(40, 'n') + std::string("\0string\0\x01\0\0\0x", 13),
         "a header name is longer than 31 characters"},
        {signature + std::string("dataWindow\0box2i\0\x11\0\0\0", 21) + std::string(17, '\0'),
         "dataWindow (box2i) does not fill its 17 bytes"},
        {tiny, "1000000 tiles need more offsets"},
        {wide, "unpacks to 312 MiB"},
    };
    for (const auto& [bytes, reason] : refused) {
        EXPECT_FALSE(decode(bytes, image)) << reason;
        EXPECT_NE(messages.find(reason), std::string::npos) << messages;
    }
    EXPECT_FALSE(image.data());
}

} // namespace
} // namespace Vrenn
