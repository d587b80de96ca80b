#include "GLCallCounter.h"
#include "render/QueryMgr.h"
#include "render/RenderTargetMgr.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderbuffer.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>

namespace Vrenn {
namespace {

using Test::backBufferPixel;
using Test::drawPasses;
using Test::fixture;
using Test::GLCallCounter;
using Test::GLTestContext;
using Test::LogCapture;
using Test::noGLError;

float depthAt(int32_t x, int32_t y) {
    float depth = 0.0f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth;
}

TEST(GLRendererDevice, CreatesTheDeviceShutsDownItsManagersAndFailsWithoutAWindow) {
    GLTestContext::shutDown();
    LogCapture log;
    auto window = std::make_shared<SDLWindow>("Application", "device test");
    window->setHidden(true);
    ASSERT_TRUE(window->create(false, 1, 16, 16, 0, 0));
    auto renderer = std::make_shared<GLRenderer>();
    ASSERT_TRUE(renderer->Initialize(window));

    // The one line a user reads to learn which device runs.
    const std::regex created("GL Device\\(GL 4\\.[56] core\\) was Successfully Created!\n");
    EXPECT_TRUE(std::regex_search(log.text(), created)) << log.text();

    // The primary target is registered under the window's name with the mode's size and
    // always 32 colour bits.
    const auto primary = RenderTargetMgr::instance()->find("Application");
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(primary, renderer->primaryTarget());
    EXPECT_EQ(primary->width(), 320);
    EXPECT_EQ(primary->height(), 200);
    EXPECT_EQ(primary->colourBits(), 32);
    EXPECT_EQ(renderer->currentTarget(), primary);
    EXPECT_GE(renderer->caps().maxDrawBuffers, 4);
    // Every GL 4 device runs the one-pass paths that ask for shader model 3 or more.
    EXPECT_EQ(renderer->capabilities().pixelShaderVersion, shaderVersion(5, 0));

    renderer->ShutDown();
    EXPECT_EQ(RenderTargetMgr::instance(), nullptr);
    EXPECT_EQ(TextureManager::instance(), nullptr);
    EXPECT_EQ(VertexBufferMgr::instance(), nullptr);
    EXPECT_EQ(ShaderMgr::instance(), nullptr);
    EXPECT_EQ(QueryMgr::instance(), nullptr);
    EXPECT_EQ(renderer->primaryTarget(), nullptr);
    EXPECT_EQ(renderer->context(), nullptr);
    window->destroy();

    // A window never created has no surface to make a context on.
    GLRenderer bare;
    EXPECT_FALSE(bare.Initialize(std::make_shared<SDLWindow>("Application", "no window")));
    EXPECT_NE(log.text().find("Couldn't Create Any GL Device!"), std::string::npos);
    bare.ShutDown();
}

TEST(GLRendererDevice, DepthSettingChoosesTheBackBufferDepthFormat) {
    GLTestContext::shutDown();
    struct Case {
        int32_t depthBits;
        GLenum format;
    };
    for (const Case& c : {Case{0, GL_NONE}, Case{16, GL_DEPTH_COMPONENT16},
                          Case{24, GL_DEPTH24_STENCIL8}, Case{32, GL_DEPTH24_STENCIL8}}) {
        auto window = std::make_shared<SDLWindow>("Application", "depth");
        window->setHidden(true);
        ASSERT_TRUE(window->create(false, 1, 32, c.depthBits, 0, 0));
        GLRenderer renderer;
        ASSERT_TRUE(renderer.Initialize(window));
        const auto primary = renderer.glPrimaryTarget();
        if (c.format == GL_NONE) {
            EXPECT_EQ(primary->depthBuffer(), nullptr);
        } else {
            ASSERT_NE(primary->depthBuffer(), nullptr) << c.depthBits;
            EXPECT_EQ(primary->depthBuffer()->internalFormat(), c.format) << c.depthBits;
        }
        renderer.ShutDown();
        window->destroy();
    }
}

// beginFrame clears colour to transparent black whatever the flags, depth only when asked;
// inside a pass that writes red only and no depth, clear still clears every channel and the
// depth, and the pass's write masks hold again afterwards.
TEST(GLRendererFrame, ClearsFollowTheFlagsAndIgnoreAPassesWriteMasks) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    auto fill = [] {
        glClearColor(1.0f, 0.5f, 0.25f, 1.0f);
        glClearDepth(0.25);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glClearDepth(1.0);
    };
    fill();
    renderer.setClearFlags(false, false, false);
    renderer.beginFrame();
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), std::ptrdiff_t(pixels.size()));
    EXPECT_NEAR(depthAt(5, 5), 0.25f, 1e-3f);
    renderer.setClearFlags(true, true, false);
    renderer.beginFrame();
    EXPECT_FLOAT_EQ(depthAt(5, 5), 1.0f);

    fill();
    auto effect = ShaderMgr::instance()->createEffect(fixture("render/masked.fx"));
    ASSERT_NE(effect, nullptr);
    std::array<GLboolean, 5> masks = {}; // colour, then depth
    ASSERT_TRUE(drawPasses(*effect, [&] {
        renderer.clear(true, true, false);
        glGetBooleanv(GL_COLOR_WRITEMASK, masks.data());
        glGetBooleanv(GL_DEPTH_WRITEMASK, &masks[4]);
    }));
    EXPECT_EQ(masks, (std::array<GLboolean, 5>{GL_TRUE, GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE}));
    EXPECT_EQ(backBufferPixel(7, 9), (std::array<uint8_t, 4>{}));
    EXPECT_FLOAT_EQ(depthAt(7, 9), 1.0f);
    EXPECT_TRUE(noGLError());
}

// Rows count from the top everywhere: a scissor rectangle at the top-left corner lands
// in the first rows read back, and the window shows them at its top.
TEST(GLRendererFrame, ScissorRectangleCountsFromTheTopLeftAndReachesTheWindowUpright) {
    auto& context = GLTestContext::get();
    auto& renderer = context.renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    renderer.clear(true, true, false);
    renderer.enableScissor(true);
    renderer.setScissorRect(10, 20, 30, 5);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderer.enableScissor(false);

    // The corners inside, and a pixel beyond each edge.
    const int samples[][3] = {{10, 20, 255}, {39, 24, 255}, {9, 20, 0},
                              {10, 19, 0},   {10, 25, 0},   {40, 24, 0}};
    for (const auto& [x, y, red] : samples)
        EXPECT_EQ(backBufferPixel(x, y)[0], red) << x << ", " << y;

    // The window's framebuffer counts rows from the bottom.
    renderer.glPrimaryTarget()->resolveToWindow();
    const int32_t height = renderer.primaryTarget()->height();
    uint8_t window[2][4] = {};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(10, height - 1 - 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, window[0]);
    glReadPixels(10, 20, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, window[1]);
    context.cache().restoreReadFramebuffer();
    EXPECT_EQ(window[0][0], 255);
    EXPECT_EQ(window[1][0], 0);
    EXPECT_TRUE(noGLError());
}

TEST(GLRendererFrame, ViewportCountsFromTheTopLeftAndRedundantBindsIssueNoGLCalls) {
    auto& renderer = GLTestContext::get().renderer();
    const auto primary = renderer.primaryTarget();
    renderer.setRenderTarget(primary);
    auto viewport = std::make_shared<Viewport>(Viewport{4, 8, 16, 32});
    renderer.setViewport(viewport);
    std::array<GLint, 4> applied = {};
    glGetIntegerv(GL_VIEWPORT, applied.data());
    EXPECT_EQ(applied, (std::array<GLint, 4>{4, 8, 16, 32}));
    {
        GLCallCounter calls;
        renderer.setRenderTarget(primary);
        renderer.setViewport(viewport);
        renderer.setRenderTargets(renderer.currentTargets());
        EXPECT_EQ(calls.total(), 0);
    }
    // A different viewport object is applied even with the same numbers.
    GLCallCounter calls;
    renderer.setViewport(std::make_shared<Viewport>(*viewport));
    EXPECT_EQ(calls.viewport(), 1);
    // Later tests in this program draw on the whole target.
    renderer.setViewport(
        std::make_shared<Viewport>(Viewport{0, 0, primary->width(), primary->height()}));
}

// A window's new size reaches the primary target through the renderer: the back buffer is
// made anew at it (what is read from it has the new size, and it stays the bound target),
// screen sized render textures take it, and the same size again makes nothing anew.
TEST(GLRendererFrame, ResizeRemakesTheBackBufferAtTheNewSize) {
    auto& renderer = GLTestContext::get().renderer();
    const auto primary = renderer.glPrimaryTarget();
    const int32_t width = primary->surfaceWidth();
    const int32_t height = primary->surfaceHeight();
    renderer.bindBackBuffer();
    renderer.resize(width / 2, height + 7);
    EXPECT_EQ(primary->surfaceWidth(), width / 2);
    EXPECT_EQ(primary->surfaceHeight(), height + 7);
    const GLuint framebuffer = primary->framebuffer();
    renderer.resize(width / 2, height + 7);
    EXPECT_EQ(primary->framebuffer(), framebuffer);
    auto* targets = RenderTargetMgr::instance();
    const auto screen = targets->createScreenRenderTexture("resized", 4, 0, 0, 0);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->width(), width / 2);
    EXPECT_EQ(screen->height(), height + 7);
    // Drawing reaches the whole new buffer: a clear turns every pixel to black, alpha 0.
    renderer.clear(true, false, false);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    ASSERT_EQ(pixels.size(), size_t(width / 2) * size_t(height + 7) * 4);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), uint8_t(0)), std::ptrdiff_t(pixels.size()));
    // Sizes without pixels are ignored.
    renderer.resize(0, 10);
    EXPECT_EQ(primary->surfaceWidth(), width / 2);
    targets->remove(screen);
    renderer.resize(width, height);
    EXPECT_EQ(primary->surfaceWidth(), width);
}

} // namespace
} // namespace Vrenn
