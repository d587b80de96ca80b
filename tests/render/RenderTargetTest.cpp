// Render textures on the test device: depth sharing, cube faces, automatic mip maps, depth
// formats; checked by reading the textures back.

#include "render/ShaderMgr.h"
#include "render/gl/GLDrawFramebuffer.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderTargetMgr.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLRenderbuffer.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <array>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using namespace Test;

constexpr int32_t kRGBA8 = 4;
constexpr int32_t kRGBA32F = 16;
constexpr int32_t kD16 = 23;

class RenderTargetTest : public ::testing::Test {
protected:
    void SetUp() override {
        renderer = &GLTestContext::get().renderer();
        targets = RenderTargetMgr::instance();
        renderer->setRenderTarget(renderer->primaryTarget());
        fill = ShaderMgr::instance()->createEffect(fixture("render/fill.fx"));
        ASSERT_NE(fill, nullptr);
    }
    void TearDown() override {
        renderer->setRenderTarget(renderer->primaryTarget());
        targets->removeAll();
    }

    void draw(const char* technique, Vector4 colour, float depth = 0.5f) {
        ASSERT_TRUE(fill->setTechnique(technique));
        fill->getParameter("colour")->setVector(colour);
        fill->getParameter("depth")->setFloat(depth);
        EXPECT_TRUE(drawPasses(*fill));
    }

    static std::shared_ptr<GLRenderTexture> asTexture(const std::shared_ptr<RenderTarget>& t) {
        return std::dynamic_pointer_cast<GLRenderTexture>(t);
    }

    GLRenderer* renderer = nullptr;
    RenderTargetMgr* targets = nullptr;
    std::shared_ptr<Effect> fill;
};

TEST_F(RenderTargetTest, DepthIsSharedWithTheBackBufferOnlyWhereEverythingMatches) {
    // The test window has 24 depth bits, 8 stencil bits and no multisampling.
    auto screen = asTexture(targets->createScreenRenderTexture("rt_screen", kRGBA8, 24, 8, 0));
    ASSERT_NE(screen, nullptr);
    const auto primary = renderer->glPrimaryTarget();
    EXPECT_EQ(screen->width(), primary->width());
    EXPECT_EQ(screen->depthBuffer(), primary->depthBuffer());
    EXPECT_EQ(screen->colourBits(), 32);

    // Depth written through the back buffer is seen through the texture.
    renderer->clear(true, true, false);
    draw("One", {1, 0, 0, 1}, 0.25f);
    renderer->setRenderTarget(screen);
    float depth = 0.0f;
    glReadPixels(3, 3, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 1e-3f);

    // Another size, or other settings, get a depth buffer of their own.
    auto small = asTexture(targets->createRenderTexture("rt_small", RENDER_TEXTURE_2D, 64, 64,
                                                        kRGBA8, 24, 8, 0, false));
    ASSERT_NE(small, nullptr);
    ASSERT_NE(small->depthBuffer(), nullptr);
    EXPECT_NE(small->depthBuffer(), primary->depthBuffer());
    EXPECT_EQ(small->depthBuffer()->internalFormat(), static_cast<GLenum>(GL_DEPTH_COMPONENT24));
    auto sixteen = asTexture(targets->createScreenRenderTexture("rt_d16", kRGBA8, 16, 8, 0));
    ASSERT_NE(sixteen, nullptr);
    EXPECT_EQ(sixteen->depthBuffer()->internalFormat(), static_cast<GLenum>(GL_DEPTH_COMPONENT16));

    // Without depth: none is bound after a target with depth, and the viewport is the target's.
    auto deep = asTexture(
        targets->createRenderTexture("rt_deep", RENDER_TEXTURE_2D, 16, 8, kRGBA8, 32, 0, 0, false));
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->depthBuffer(), nullptr);
    // The same name gives the same target, whatever else is asked.
    EXPECT_EQ(
        targets->createRenderTexture("rt_deep", RENDER_TEXTURE_2D, 8, 8, kRGBA32F, 24, 0, 0, false),
        deep);
    auto withDepth =
        targets->createRenderTexture("rt_depth", RENDER_TEXTURE_2D, 16, 8, kRGBA8, 16, 0, 0, false);
    renderer->setRenderTarget(withDepth);
    renderer->setRenderTarget(deep);
    GLint framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
    GLint type = -1;
    glGetNamedFramebufferAttachmentParameteriv(static_cast<GLuint>(framebuffer),
                                               GL_DEPTH_ATTACHMENT,
                                               GL_FRAMEBUFFER_ATTACHMENT_OBJECT_TYPE, &type);
    EXPECT_EQ(type, GL_NONE);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 16);
    EXPECT_EQ(viewport[3], 8);
}

// Each kind of texture target holds what was drawn into it: the face chosen of a cube, every
// level of a mip-mapped one, the depth of a depth format.
TEST_F(RenderTargetTest, TextureTargetsHoldWhatWasDrawnInEveryFaceLevelAndDepth) {
    auto cube =
        targets->createRenderTexture("cube", RENDER_TEXTURE_CUBE, 4, 4, kRGBA8, 0, 0, 0, false);
    ASSERT_NE(cube, nullptr);
    for (int32_t face = 0; face < 6; ++face) {
        renderer->setRenderTargetFace(cube, face);
        renderer->clear(true, false, false);
    }
    renderer->setRenderTargetFace(cube, 3);
    draw("One", {0, 1, 0, 1});
    renderer->setRenderTargetFace(cube, 1);
    draw("One", {1, 0, 0, 1});
    renderer->setRenderTarget(renderer->primaryTarget());
    for (int32_t face = 0; face < 6; ++face) {
        const auto texels = readTarget(cube, 0, face);
        EXPECT_FLOAT_EQ(texels[0], face == 1 ? 1.0f : 0.0f) << face;
        EXPECT_FLOAT_EQ(texels[1], face == 3 ? 1.0f : 0.0f) << face;
    }

    // Automatic mip maps follow what was drawn.
    auto target = asTexture(
        targets->createRenderTexture("rt_mips", RENDER_TEXTURE_2D, 8, 8, kRGBA8, 0, 0, 0, true));
    ASSERT_NE(target, nullptr);
    EXPECT_EQ(target->texture()->levels(), 4);
    renderer->setRenderTarget(target);
    draw("One", {0, 0, 1, 1});
    // Sampling the 1x1 level while drawing elsewhere sees the new contents.
    renderer->setRenderTarget(renderer->primaryTarget());
    renderer->clear(true, true, false);
    ASSERT_TRUE(fill->getParameter("source")->setTexture(target));
    fill->getParameter("level")->setFloat(3.0f);
    draw("Sample", {});
    EXPECT_EQ(Vrenn::Test::backBufferPixel(0, 0)[2], 255);
    const auto smallest = readTarget(target, 3);
    EXPECT_FLOAT_EQ(smallest[2], 1.0f);

    // A depth format draws into its depth texture.
    auto shadow = asTexture(
        targets->createRenderTexture("rt_shadow", RENDER_TEXTURE_2D, 8, 8, kD16, 16, 0, 0, false));
    ASSERT_NE(shadow, nullptr);
    EXPECT_TRUE(shadow->depthOnly());
    renderer->setRenderTarget(shadow);
    renderer->clear(false, true, false);
    draw("One", {}, 0.75f);
    renderer->setRenderTarget(renderer->primaryTarget());
    std::vector<float> depth(64);
    glGetTextureImage(shadow->texture()->id(), 0, GL_DEPTH_COMPONENT, GL_FLOAT,
                      static_cast<GLsizei>(depth.size() * sizeof(float)), depth.data());
    EXPECT_NEAR(depth[0], 0.75f, 1e-3f);
    EXPECT_NEAR(depth[63], 0.75f, 1e-3f);
}

} // namespace
} // namespace Vrenn
