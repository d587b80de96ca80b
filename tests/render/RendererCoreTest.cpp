#include "GLCallCounter.h"
#include "support/GLTestContext.h"
#include "render/QueryMgr.h"
#include "render/RenderTargetMgr.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderbuffer.h"

#include <gtest/gtest.h>
#include <regex>

namespace Vrenn {
namespace {

using Test::GLCallCounter;
using Test::GLTestContext;
using Test::LogCapture;
using Test::noGLError;

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// Fills the bound target's colour with a clear colour of the test's own, bypassing
// the renderer.
void fillColour(float r, float g, float b, float a) {
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

const uint8_t* pixelAt(const std::vector<uint8_t>& rgba, int32_t width, int32_t x, int32_t y) {
    return &rgba[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                 4];
}

TEST(GLRendererDevice, CreatesTheDeviceWithOneSuccessLineAndShutsDownItsManagers) {
    GLTestContext::shutDown();
    LogCapture log;
    auto window = std::make_shared<SDLWindow>("Application", "device test");
    window->setHidden(true);
    ASSERT_TRUE(window->create(false, 1, 16, 16, 0, 0));
    auto renderer = std::make_shared<GLRenderer>();
    ASSERT_TRUE(renderer->Initialize(window));

    const std::string text = log.text();
    const std::regex created("GL Device\\(GL 4\\.[56] core\\) was Successfully Created!\n");
    EXPECT_TRUE(std::regex_search(text, created)) << text;
    EXPECT_EQ(countOf(text, "GL Device"), 1u);
    EXPECT_EQ(countOf(text, "Couldn't"), 0u);
    const size_t init = text.find("GLRenderer::Initialize\n");
    const size_t device = text.find("GL Device(");
    const size_t ready = text.find("OpenGL Renderer Successfully Initialized\n");
    ASSERT_NE(init, std::string::npos);
    ASSERT_NE(ready, std::string::npos);
    EXPECT_LT(init, device);
    EXPECT_LT(device, ready);
    EXPECT_EQ(text.substr(device + 9, renderer->deviceLabel().size()), renderer->deviceLabel());

    // The primary target is registered under the window's name with the mode's size and
    // always 32 colour bits.
    auto* targets = RenderTargetMgr::instance();
    ASSERT_NE(targets, nullptr);
    const auto primary = targets->find("Application");
    ASSERT_NE(primary, nullptr);
    EXPECT_EQ(primary, renderer->primaryTarget());
    EXPECT_EQ(primary->width(), 320);
    EXPECT_EQ(primary->height(), 200);
    EXPECT_EQ(primary->colourBits(), 32);
    EXPECT_EQ(renderer->currentTarget(), primary);
    EXPECT_FALSE(renderer->caps().renderer.empty());
    EXPECT_GE(renderer->caps().maxDrawBuffers, 4);

    renderer->ShutDown();
    EXPECT_EQ(RenderTargetMgr::instance(), nullptr);
    EXPECT_EQ(TextureManager::instance(), nullptr);
    EXPECT_EQ(VertexBufferMgr::instance(), nullptr);
    EXPECT_EQ(ShaderMgr::instance(), nullptr);
    EXPECT_EQ(QueryMgr::instance(), nullptr);
    EXPECT_EQ(renderer->primaryTarget(), nullptr);
    EXPECT_EQ(renderer->context(), nullptr);
    EXPECT_NE(log.text().find("GLRenderer::ShutDown\n"), std::string::npos);
    window->destroy();
}

TEST(GLRendererDevice, FailsWithoutAWindowToDrawIn) {
    LogCapture log;
    // Never created: there is no surface to make a context on.
    auto window = std::make_shared<SDLWindow>("Application", "no window");
    GLRenderer renderer;
    EXPECT_FALSE(renderer.Initialize(window));
    EXPECT_NE(log.text().find("Couldn't Create Any GL Device!"), std::string::npos);
    EXPECT_EQ(log.text().find("Successfully"), std::string::npos);
    renderer.ShutDown();
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

TEST(GLRendererFrame, ClearAlwaysClearsColourToTransparentBlackAndDepthOnRequest) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    fillColour(1.0f, 0.5f, 0.25f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);

    renderer.clear(false, false, false);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    for (size_t i = 0; i < pixels.size(); i += 997)
        EXPECT_EQ(pixels[i], 0) << i;
    float depth = 0.0f;
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.25f, 1e-3f);

    renderer.clear(true, true, false);
    glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
    EXPECT_TRUE(noGLError());
}

// Inside a pass that writes red only and no depth, clear still clears every channel
// and the depth, and the pass's write masks hold again afterwards.
TEST(GLRendererFrame, ClearInsideAMaskedPassClearsEverythingAndKeepsThePassMasks) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    fillColour(1.0f, 1.0f, 1.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    auto effect = ShaderMgr::instance()->createEffect(
        "vertex v { void main() { gl_Position = vec4(0.0, 0.0, 0.5, 1.0); } }\n"
        "fragment f { out vec4 c; void main() { c = vec4(1.0); } }\n"
        "technique t { pass { vertex = v; fragment = f; colour_mask = r; depth_write = false; } "
        "}\n");
    ASSERT_NE(effect, nullptr);
    uint32_t passes = 0;
    ASSERT_TRUE(effect->begin(&passes));
    ASSERT_TRUE(effect->beginPass(0));
    renderer.clear(true, true, false);

    GLboolean colourMask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, colourMask);
    EXPECT_TRUE(colourMask[0]);
    EXPECT_FALSE(colourMask[1] || colourMask[2] || colourMask[3]);
    GLboolean depthMask = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
    EXPECT_FALSE(depthMask);
    effect->endPass();
    effect->end();

    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    const uint8_t* pixel = pixelAt(pixels, renderer.primaryTarget()->width(), 7, 9);
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[3], 0);
    float depth = 0.0f;
    glReadPixels(7, 9, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
    EXPECT_TRUE(noGLError());
}

TEST(GLRendererFrame, BeginFrameClearsWithTheStoredFlags) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    fillColour(0.0f, 1.0f, 0.0f, 1.0f);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    renderer.setClearFlags(false, false, false);
    renderer.beginFrame();
    float depth = 0.0f;
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_NEAR(depth, 0.5f, 1e-3f);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    EXPECT_EQ(pixels[1], 0);
    renderer.setClearFlags(true, true, false);
    renderer.beginFrame();
    glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_FLOAT_EQ(depth, 1.0f);
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
    fillColour(1.0f, 0.0f, 0.0f, 1.0f);
    renderer.enableScissor(false);

    const int32_t width = renderer.primaryTarget()->width();
    const int32_t height = renderer.primaryTarget()->height();
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    EXPECT_EQ(pixelAt(pixels, width, 10, 20)[0], 255);
    EXPECT_EQ(pixelAt(pixels, width, 39, 24)[0], 255);
    EXPECT_EQ(pixelAt(pixels, width, 9, 20)[0], 0);
    EXPECT_EQ(pixelAt(pixels, width, 10, 19)[0], 0);
    EXPECT_EQ(pixelAt(pixels, width, 10, 25)[0], 0);
    EXPECT_EQ(pixelAt(pixels, width, 40, 24)[0], 0);

    // The window's framebuffer counts rows from the bottom.
    renderer.glPrimaryTarget()->resolveToWindow();
    std::vector<uint8_t> window(pixels.size());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, window.data());
    context.cache().restoreReadFramebuffer();
    EXPECT_EQ(pixelAt(window, width, 10, height - 1 - 20)[0], 255);
    EXPECT_EQ(pixelAt(window, width, 10, 20)[0], 0);
    EXPECT_TRUE(noGLError());
}

TEST(GLRendererFrame, ViewportCountsFromTheTopLeft) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    auto viewport = std::make_shared<Viewport>(Viewport{4, 8, 16, 32});
    renderer.setViewport(viewport);
    GLint applied[4] = {};
    glGetIntegerv(GL_VIEWPORT, applied);
    EXPECT_EQ(applied[0], 4);
    EXPECT_EQ(applied[1], 8);
    EXPECT_EQ(applied[2], 16);
    EXPECT_EQ(applied[3], 32);
}

TEST(GLRendererFrame, RedundantBindsIssueNoGLCalls) {
    auto& renderer = GLTestContext::get().renderer();
    const auto primary = renderer.primaryTarget();
    renderer.setRenderTarget(primary);
    auto viewport = std::make_shared<Viewport>(Viewport{0, 0, 8, 8});
    renderer.setViewport(viewport);
    {
        GLCallCounter calls;
        renderer.setRenderTarget(primary);
        renderer.setViewport(viewport);
        renderer.setRenderTargets(renderer.currentTargets());
        EXPECT_EQ(calls.total(), 0);
    }
    {
        // A different viewport object is applied even with the same numbers.
        GLCallCounter calls;
        renderer.setViewport(std::make_shared<Viewport>(*viewport));
        EXPECT_EQ(calls.viewport(), 1);
    }
}

TEST(GLRendererFrame, TwoDimensionalModeMapsTheUnitSquareYDown) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.world()(0, 3) = 5.0f;
    renderer.begin2D();
    EXPECT_EQ(renderer.world(), Matrix4::identity());
    EXPECT_EQ(renderer.view(), Matrix4::identity());
    const Matrix4& p = renderer.projection();
    // (0, 0) goes to the top-left corner (-1, +1), (1, 1) to the bottom-right; depth
    // -1 to 1 maps onto 0 to 1.
    auto apply = [&](float x, float y, float z, int row) {
        return p(row, 0) * x + p(row, 1) * y + p(row, 2) * z + p(row, 3);
    };
    EXPECT_FLOAT_EQ(apply(0, 0, 0, 0), -1.0f);
    EXPECT_FLOAT_EQ(apply(0, 0, 0, 1), 1.0f);
    EXPECT_FLOAT_EQ(apply(1, 1, 0, 0), 1.0f);
    EXPECT_FLOAT_EQ(apply(1, 1, 0, 1), -1.0f);
    EXPECT_FLOAT_EQ(apply(0, 0, -1, 2), 0.0f);
    EXPECT_FLOAT_EQ(apply(0, 0, 1, 2), 1.0f);
}

} // namespace
} // namespace Vrenn

namespace Vrenn {
namespace {

// A window's new size reaches the primary target through the renderer: screen sized
// render textures take it, while the back buffer, and what is read from it, keep the
// size they were made with.
TEST(GLRendererFrame, ResizeRecordsTheSizeScreenTexturesTakeAndLeavesTheBackBuffer) {
    auto& renderer = Vrenn::Test::GLTestContext::get().renderer();
    const auto primary = renderer.glPrimaryTarget();
    const int32_t width = primary->surfaceWidth();
    const int32_t height = primary->surfaceHeight();
    renderer.resize(width / 2, height + 7);
    auto* targets = RenderTargetMgr::instance();
    const auto screen = targets->createScreenRenderTexture("resized", 4, 0, 0, 0);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->width(), width / 2);
    EXPECT_EQ(screen->height(), height + 7);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    EXPECT_EQ(pixels.size(), static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    targets->remove(screen);
    renderer.resize(width, height);
}

} // namespace
} // namespace Vrenn
