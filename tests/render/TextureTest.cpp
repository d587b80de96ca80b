// Every texture path: images uploaded, then read back from the texture or sampled
// through a shader into a float target.

#include "fs/Image.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

class TextureTest : public ::testing::Test {
protected:
    void SetUp() override {
        renderer = &GLTestContext::get().renderer();
        textures = TextureManager::instance();
        ASSERT_NE(textures, nullptr);
    }
    void TearDown() override {
        renderer->setRenderTarget(renderer->primaryTarget());
        RenderTargetMgr::instance()->removeAll();
    }

    static std::shared_ptr<Image> image(int32_t w, int32_t h, int32_t d, ImageFormat format,
                                        int32_t levels, int32_t faces) {
        auto result = std::make_shared<Image>();
        EXPECT_NE(result->create(w, h, d, format, levels, faces), nullptr);
        return result;
    }

    static std::shared_ptr<GLTexture> asGL(const std::shared_ptr<Texture>& texture) {
        return std::dynamic_pointer_cast<GLTexture>(texture);
    }

    // What a shader reads from each texel of a level, as RGBA floats, top row first.
    std::vector<float> sampled(const std::shared_ptr<Texture>& texture, int32_t level,
                               int32_t width, int32_t height) {
        if (!copy) copy = ShaderMgr::instance()->createEffect(fixture("render/copy.fx"));
        EXPECT_NE(copy, nullptr);
        static int counter = 0;
        auto target = RenderTargetMgr::instance()->createRenderTexture(
            "sampled" + std::to_string(counter++), RENDER_TEXTURE_2D, width, height, 16, 0, 0, 0,
            false);
        EXPECT_NE(target, nullptr);
        renderer->setRenderTarget(target);
        EXPECT_TRUE(copy->getParameter("source")->setTexture(texture));
        copy->getParameter("level")->setInt(level);
        EXPECT_TRUE(drawPasses(*copy));
        renderer->setRenderTarget(renderer->primaryTarget());
        return Vrenn::Test::readTarget(target);
    }

    GLRenderer* renderer = nullptr;
    TextureManager* textures = nullptr;
    std::shared_ptr<Effect> copy;
};

TEST_F(TextureTest, TwoDimensionalImageWithMipLevelsFillsExactlyThoseLevels) {
    // 4x4 with three levels; every texel of level l holds (l, x, y, 255) scaled.
    auto source = image(4, 4, 1, FORMAT_RGBA8, 3, 1);
    for (int32_t level = 0; level < 3; ++level) {
        const int32_t size = 4 >> level;
        uint8_t* texel = source->getLevelData(level);
        for (int32_t y = 0; y < size; ++y)
            for (int32_t x = 0; x < size; ++x, texel += 4) {
                texel[0] = static_cast<uint8_t>(level * 100);
                texel[1] = static_cast<uint8_t>(x * 60);
                texel[2] = static_cast<uint8_t>(y * 60);
                texel[3] = 255;
            }
    }
    auto texture = asGL(textures->createTexture("mips", source));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->type(), TEXTURE_2D);
    EXPECT_EQ(texture->levels(), 3);
    EXPECT_EQ(texture->image(), nullptr); // the pixels are not kept
    EXPECT_EQ(textures->find("mips"), texture);
    for (int32_t level = 0; level < 3; ++level) {
        const int32_t size = 4 >> level;
        const auto texels = sampled(texture, level, size, size);
        // The last texel of the level: bottom-right.
        const size_t last = texels.size() - 4;
        EXPECT_NEAR(texels[last + 0], level * 100 / 255.0f, 1e-6f) << level;
        EXPECT_NEAR(texels[last + 1], (size - 1) * 60 / 255.0f, 1e-6f) << level;
        EXPECT_NEAR(texels[last + 2], (size - 1) * 60 / 255.0f, 1e-6f) << level;
    }
}

TEST_F(TextureTest, SixFaceImageIsACubeAndADeepOneAVolume) {
    // Six faces, even with a depth above 1.
    auto source = image(2, 2, 3, FORMAT_RGBA8, 1, 6);
    for (int32_t face = 0; face < 6; ++face) {
        uint8_t* texel = source->getFaceData(face, 0);
        for (int i = 0; i < 4; ++i, texel += 4) {
            texel[0] = static_cast<uint8_t>(face * 40);
            texel[1] = static_cast<uint8_t>(i * 50);
            texel[2] = 0;
            texel[3] = 255;
        }
    }
    auto texture = asGL(textures->createTexture("cube", source));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->type(), TEXTURE_CUBE);
    for (int32_t face = 0; face < 6; ++face) {
        const auto texels = readTextureRGBA(texture->id(), 0, 2, 2, face);
        EXPECT_NEAR(texels[0], face * 40 / 255.0f, 1e-6f) << face;
        EXPECT_NEAR(texels[13], 3 * 50 / 255.0f, 1e-6f) << face;
    }
    // A cube needs square faces.
    LogCapture log;
    EXPECT_EQ(textures->createTexture("flat cube", image(4, 2, 1, FORMAT_RGBA8, 1, 6)), nullptr);
    EXPECT_EQ(log.text(), "Could not Create Cube Texture \n");

    // One face, deeper than 1: a volume.
    source = image(2, 2, 4, FORMAT_R32F, 1, 1);
    auto* values = reinterpret_cast<float*>(source->data());
    for (int i = 0; i < 16; ++i)
        values[i] = static_cast<float>(i) * 0.5f - 3.0f;
    texture = asGL(textures->createTexture("volume", source));
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->type(), TEXTURE_VOLUME);
    EXPECT_EQ(texture->depth(), 4);
    std::vector<float> red(16);
    glGetTextureImage(texture->id(), 0, GL_RED, GL_FLOAT, 64, red.data());
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(red[static_cast<size_t>(i)], i * 0.5f - 3.0f) << i;
}

TEST_F(TextureTest, DXT1BlockDecodesToItsFourColours) {
    // Colour 0 pure red, colour 1 pure blue (565); colour 0 > colour 1 gives the four
    // colour mode: index 2 is 2/3 red + 1/3 blue, index 3 the reverse. Row r of the
    // block uses index r throughout.
    auto source = image(4, 4, 1, FORMAT_DXT1, 1, 1);
    const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x55, 0xAA, 0xFF};
    std::memcpy(source->data(), block, sizeof block);
    auto texture = textures->createTexture("dxt1", source);
    ASSERT_NE(texture, nullptr);
    const auto texels = sampled(texture, 0, 4, 4);
    const float expectedRed[4] = {1.0f, 0.0f, 2.0f / 3.0f, 1.0f / 3.0f};
    for (int row = 0; row < 4; ++row) {
        for (int x = 0; x < 4; ++x) {
            const size_t at = static_cast<size_t>((row * 4 + x) * 4);
            EXPECT_NEAR(texels[at + 0], expectedRed[row], 1.5f / 255.0f) << row;
            EXPECT_NEAR(texels[at + 1], 0.0f, 1e-6f) << row;
            EXPECT_NEAR(texels[at + 2], 1.0f - expectedRed[row], 1.5f / 255.0f) << row;
            EXPECT_EQ(texels[at + 3], 1.0f);
        }
    }
}

// Each format as a shader reads it: luminance as grey, three bytes with alpha 1, half and full
// floats exactly, missing channels as 0 (colour) and 1 (alpha). An image one texel high is
// one-dimensional, kept in a 2D GL texture.
TEST_F(TextureTest, FormatsSampleAsTheirValues) {
    auto bytesOf = [](const auto& values) {
        const auto* first = reinterpret_cast<const uint8_t*>(values.data());
        return std::vector<uint8_t>(first, first + values.size() * sizeof(values[0]));
    };
    struct Case {
        ImageFormat format;
        TextureType type;
        int32_t width, height;
        std::vector<uint8_t> bytes;
        std::vector<float> rgba;
    };
    const float b = 1.0f / 255.0f;
    const Case cases[] = {
        {FORMAT_L8, TEXTURE_1D, 2, 1, {51, 204}, {0.2f, 0.2f, 0.2f, 1, 0.8f, 0.8f, 0.8f, 1}},
        {FORMAT_RGB8,
         TEXTURE_1D,
         2,
         1,
         {10, 20, 30, 40, 50, 60},
         {10 * b, 20 * b, 30 * b, 1, 40 * b, 50 * b, 60 * b, 1}},
        // 1.5, -2, 0.25, 65504, 1, 0, -1, 0.5 as half floats.
        {FORMAT_RGBA16F,
         TEXTURE_2D,
         1,
         2,
         bytesOf(
             std::array<uint16_t, 8>{0x3E00, 0xC000, 0x3400, 0x7BFF, 0x3C00, 0, 0xBC00, 0x3800}),
         {1.5f, -2.0f, 0.25f, 65504.0f, 1.0f, 0.0f, -1.0f, 0.5f}},
        {FORMAT_RG32F,
         TEXTURE_1D,
         2,
         1,
         bytesOf(std::array<float, 4>{1e-20f, -3.25f, 1e20f, 0.1f}),
         {1e-20f, -3.25f, 0, 1, 1e20f, 0.1f, 0, 1}},
    };
    for (const Case& c : cases) {
        auto source = image(c.width, c.height, 1, c.format, 1, 1);
        std::copy(c.bytes.begin(), c.bytes.end(), source->data());
        auto texture = asGL(textures->createTexture("format" + std::to_string(c.format), source));
        ASSERT_NE(texture, nullptr) << c.format;
        EXPECT_EQ(texture->type(), c.type) << c.format;
        EXPECT_EQ(texture->target(), static_cast<GLenum>(GL_TEXTURE_2D)) << c.format;
        EXPECT_EQ(source->format(), c.format); // the image is left alone
        const auto texels = sampled(texture, 0, c.width, c.height);
        for (size_t i = 0; i < c.rgba.size(); ++i)
            EXPECT_NEAR(texels[i], c.rgba[i], 1e-6f * std::max(1.0f, std::fabs(c.rgba[i])))
                << c.format << " " << i;
    }
}

TEST_F(TextureTest, ImagesWithoutAGLFormatOrPixelsAreRefused) {
    LogCapture log;
    EXPECT_EQ(textures->createTexture("rgb16", image(2, 2, 1, FORMAT_RGB16, 1, 1)), nullptr);
    EXPECT_EQ(textures->createTexture("empty", std::make_shared<Image>()), nullptr);
    EXPECT_EQ(textures->createTexture("null", nullptr), nullptr);
    EXPECT_EQ(textures->find("rgb16"), nullptr);
    EXPECT_EQ(log.text(), "Could not Create Texture \nCould not Create Texture \n");
    // A file that does not load gives no texture either.
    EXPECT_EQ(textures->loadTexture("no/such/file.dds", 0), nullptr);
}

} // namespace
} // namespace Vrenn
