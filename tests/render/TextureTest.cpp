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
#include <gtest/gtest.h>
#include <map>
#include <sstream>

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

// Each format of the data file as a shader reads it; an image one texel high is kept in a 2D GL
// texture.
TEST_F(TextureTest, FormatsSampleAsTheirValues) {
    const std::map<std::string, ImageFormat> formats = {{"L8", FORMAT_L8},
                                                        {"RGB8", FORMAT_RGB8},
                                                        {"RGBA16F", FORMAT_RGBA16F},
                                                        {"RG32F", FORMAT_RG32F},
                                                        {"DXT1", FORMAT_DXT1}};
    std::istringstream file(fixture("render/texture-formats.txt"));
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::string format, type, bar, word;
        int32_t width = 0, height = 0;
        in >> format >> type >> width >> height >> bar;
        auto source = image(width, height, 1, formats.at(format), 1, 1);
        for (uint8_t* byte = source->data(); in >> word && word != "|";)
            *byte++ = static_cast<uint8_t>(std::stoi(word, nullptr, 16));
        std::vector<float> rgba;
        while (in >> word && word != "|") {
            const size_t slash = word.find('/');
            rgba.push_back(slash == std::string::npos
                               ? std::stof(word)
                               : std::stof(word) / std::stof(word.substr(slash + 1)));
        }
        float near = 0.0f;
        in >> near;
        auto texture = asGL(textures->createTexture("format " + format, source));
        ASSERT_NE(texture, nullptr) << format;
        EXPECT_EQ(texture->type(), type == "1D" ? TEXTURE_1D : TEXTURE_2D) << format;
        EXPECT_EQ(texture->target(), static_cast<GLenum>(GL_TEXTURE_2D)) << format;
        EXPECT_EQ(source->format(), formats.at(format)); // the image is left alone
        const auto texels = sampled(texture, 0, width, height);
        ASSERT_EQ(texels.size(), rgba.size()) << format;
        for (size_t i = 0; i < rgba.size(); ++i)
            EXPECT_NEAR(texels[i], rgba[i], near * std::max(1.0f, std::fabs(rgba[i])))
                << format << " " << i;
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
