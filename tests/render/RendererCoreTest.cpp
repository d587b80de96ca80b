// The GL renderer on the test device: device creation, frames, targets, queries, and the GL
// context's deletions and lifetime.

#include "GLCallCounter.h"
#include "fs/Image.h"
#include "render/QueryMgr.h"
#include "render/RenderTargetMgr.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLRenderbuffer.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <regex>

namespace Vrenn {
namespace {

using namespace Test;

constexpr uint32_t kUnit = 5;

std::shared_ptr<Image> onePixel() {
    auto image = std::make_shared<Image>();
    image->create(1, 1, 1, FORMAT_RGBA8, 1, 1);
    return image;
}

GLuint boundOnUnit(GLenum binding) {
    glActiveTexture(GL_TEXTURE0 + kUnit);
    GLint name = 0;
    glGetIntegerv(binding, &name);
    glActiveTexture(GL_TEXTURE0);
    return static_cast<GLuint>(name);
}

GLuint bound(GLenum binding) {
    GLint name = 0;
    glGetIntegerv(binding, &name);
    return static_cast<GLuint>(name);
}

float depthAt(int32_t x, int32_t y) {
    float depth = 0.0f;
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    return depth;
}

// What a scene or a test may still hold when the renderer goes: every kind of
// resource, and a manager.
struct HeldResources {
    std::shared_ptr<Texture> texture;
    std::shared_ptr<VertexBuffer> mesh;
    std::shared_ptr<Effect> effect;
    std::shared_ptr<Query> query;
    std::shared_ptr<RenderTarget> renderTexture;
    std::shared_ptr<RenderTarget> primary;
    std::shared_ptr<TextureManager> textures;

    explicit HeldResources(GLRenderer& renderer) {
        texture = TextureManager::instance()->createTexture("held", onePixel());
        mesh = VertexBufferMgr::instance()->createVertexBuffer();
        const float corners[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
        mesh->addStream(corners, 3, 12,
                        {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
        mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
        VertexBufferMgr::instance()->upload(mesh);
        effect = ShaderMgr::instance()->createEffect(Test::fixture("render/triangle.fx"));
        if (effect) effect->getParameter("baseMap")->setTexture(texture);
        query = QueryMgr::instance()->createOcclusionQuery();
        renderTexture = RenderTargetMgr::instance()->createRenderTexture(
            "held target", RENDER_TEXTURE_2D, 8, 8, 4, 24, 0, 0, true);
        primary = renderer.primaryTarget();
        textures = renderer.textureManager();
    }
    bool complete() const { return texture && mesh && effect && query && renderTexture && primary; }
};

// Devices of their own, one for each depth setting: the one line a user reads to learn which
// device runs, the primary target and its depth format, and no manager left after shut-down.
// Resources held past the renderer's shut-down, or (at 32 depth bits) past the window that took
// the GL context with it, let go without GL calls; nothing works any more, nothing fails loudly.
TEST(GLRendererDevice, CreatesTheDeviceWithTheDepthAskedAndLetsGoWithoutGLCalls) {
    GLTestContext::shutDown();
    const std::regex created("GL Device\\(GL 4\\.[56] core\\) was Successfully Created!\n");
    for (const auto& [depthBits, format] : {std::pair<int32_t, GLenum>{0, GL_NONE},
                                            {16, GL_DEPTH_COMPONENT16},
                                            {24, GL_DEPTH24_STENCIL8},
                                            {32, GL_DEPTH24_STENCIL8}}) {
        SCOPED_TRACE("depth bits " + std::to_string(depthBits));
        LogCapture log;
        auto window = std::make_shared<SDLWindow>("Application", "device test");
        window->setHidden(true);
        ASSERT_TRUE(window->create(false, 1, 16, depthBits, 0, 0));
        auto renderer = std::make_shared<GLRenderer>();
        ASSERT_TRUE(renderer->Initialize(window));
        EXPECT_TRUE(std::regex_search(log.text(), created)) << log.text();

        // Registered under the window's name with the mode's size and always 32 colour bits.
        const auto primary = renderer->glPrimaryTarget();
        EXPECT_EQ(RenderTargetMgr::instance()->find("Application"), primary);
        EXPECT_EQ(renderer->currentTarget(), primary);
        EXPECT_EQ((std::array{primary->width(), primary->height(), primary->colourBits()}),
                  (std::array{320, 200, 32}));
        if (format == GL_NONE) {
            EXPECT_EQ(primary->depthBuffer(), nullptr);
        } else {
            ASSERT_NE(primary->depthBuffer(), nullptr);
            EXPECT_EQ(primary->depthBuffer()->internalFormat(), format);
        }
        EXPECT_GE(renderer->caps().maxDrawBuffers, 4);
        // Every GL 4 device runs the one-pass paths that ask for shader model 3 or more.
        EXPECT_EQ(renderer->capabilities().pixelShaderVersion, shaderVersion(5, 0));

        auto held = std::make_unique<HeldResources>(*renderer);
        ASSERT_TRUE(held->complete());
        const bool windowFirst = depthBits == 32;
        if (windowFirst) {
            window->destroy();
            EXPECT_FALSE(renderer->context()->alive());
        } else {
            renderer->ShutDown();
        }
        GLCallCounter calls;
        EXPECT_EQ(held->textures->createTexture("late", onePixel()), nullptr);
        EXPECT_FALSE(held->mesh->bind());
        uint32_t passes = 0;
        EXPECT_FALSE(held->effect->begin(&passes));
        held->query->begin();
        held->query->end();
        uint32_t count = 0;
        EXPECT_FALSE(held->query->getResult(count, true));
        EXPECT_FALSE(held->renderTexture->bind());
        held.reset();
        renderer->clear(true, true, false);
        renderer->setViewport(std::make_shared<Viewport>(Viewport{0, 0, 8, 8}));
        renderer->setScissorRect(0, 0, 8, 8);
        renderer->endFrame();
        renderer->ShutDown();
        EXPECT_EQ(calls.total(), 0);

        EXPECT_EQ(RenderTargetMgr::instance(), nullptr);
        EXPECT_EQ(TextureManager::instance(), nullptr);
        EXPECT_EQ(VertexBufferMgr::instance(), nullptr);
        EXPECT_EQ(ShaderMgr::instance(), nullptr);
        EXPECT_EQ(QueryMgr::instance(), nullptr);
        EXPECT_EQ(renderer->primaryTarget(), nullptr);
        EXPECT_EQ(renderer->context(), nullptr);
        window->destroy();
    }

    // A window never created has no surface to make a context on.
    LogCapture log;
    GLRenderer bare;
    EXPECT_FALSE(bare.Initialize(std::make_shared<SDLWindow>("Application", "no window")));
    EXPECT_NE(log.text().find("Couldn't Create Any GL Device!"), std::string::npos);
    bare.ShutDown();
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
TEST(GLRendererFrame, ScissorAndViewportCountFromTheTopLeftAndReachTheWindowUpright) {
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

    // So does the viewport; binding what is bound issues no GL call.
    const auto primary = renderer.primaryTarget();
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
    // Later tests in this program draw on the whole target.
    renderer.setViewport(
        std::make_shared<Viewport>(Viewport{0, 0, primary->width(), primary->height()}));
}

// A window's new size remakes the back buffer, which stays the bound target.
TEST(GLRendererFrame, ResizeRemakesTheBackBufferAndKeepsItBound) {
    auto& renderer = GLTestContext::get().renderer();
    const auto primary = renderer.glPrimaryTarget();
    const int32_t width = primary->surfaceWidth(), height = primary->surfaceHeight();
    renderer.bindBackBuffer();
    renderer.resize(width / 2, height + 7);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(renderer.readBackBuffer(pixels));
    ASSERT_EQ(pixels.size(), size_t(width / 2) * size_t(height + 7) * 4);
    EXPECT_EQ(pixels[pixels.size() - 4], 255); // the last pixel drawn red
    renderer.resize(width, height);
}

// Only the pixels that pass the depth test count: behind the first rectangle, only the part
// sticking out of it. A pair not ended gives no result (nor the pair before it).
TEST(GLRendererFrame, OcclusionQueryCountsThePixelsThatPassTheDepthTest) {
    auto& renderer = GLTestContext::get().renderer();
    renderer.setRenderTarget(renderer.primaryTarget());
    renderer.clear(true, true, false);
    auto effect = ShaderMgr::instance()->createEffect(fixture("render/rectangle.fx"));
    ASSERT_NE(effect, nullptr);
    effect->getParameter("size")->setVector({float(renderer.primaryTarget()->width()),
                                             float(renderer.primaryTarget()->height()), 0, 0});
    auto query = QueryMgr::instance()->createOcclusionQuery();
    ASSERT_NE(query, nullptr);
    uint32_t count = 77;
    EXPECT_FALSE(query->getResult(count, true));
    for (const auto& [rect, depth, flush, pixels] :
         {std::tuple{Vector4{10, 20, 40, 60}, 0.5f, true, 30u * 40u},
          {Vector4{30, 20, 50, 60}, 0.75f, false, 10u * 40u}}) {
        query->begin();
        EXPECT_FALSE(query->getResult(count, true));
        effect->getParameter("rect")->setVector(rect);
        effect->getParameter("depth")->setFloat(depth);
        EXPECT_TRUE(drawPasses(*effect, [] { glDrawArrays(GL_TRIANGLES, 0, 6); }));
        query->end();
        ASSERT_TRUE(query->getResult(count, flush));
        EXPECT_EQ(count, pixels);
    }
}

// GL gives a deleted object's name to the next object made: a cache that kept the old name as
// bound would skip binding the new object.
TEST(GLContextDeletion, ANameDeletedAndGivenOutAgainIsReallyBound) {
    auto& test = GLTestContext::get();
    GLContext& context = test.context();
    GLStateCache& cache = test.cache();

    for (const GLObjectType type :
         {GLObjectType::Texture, GLObjectType::Sampler, GLObjectType::Framebuffer}) {
        SCOPED_TRACE(static_cast<int>(type));
        auto make = [&] {
            GLuint id = 0;
            if (type == GLObjectType::Texture) {
                glCreateTextures(GL_TEXTURE_2D, 1, &id);
                glTextureStorage2D(id, 1, GL_RGBA8, 1, 1);
            } else if (type == GLObjectType::Sampler) {
                glCreateSamplers(1, &id);
            } else {
                glCreateFramebuffers(1, &id);
            }
            return id;
        };
        auto bindAndRead = [&](GLuint id) {
            if (type == GLObjectType::Texture) {
                cache.bindTexture(kUnit, id);
                return boundOnUnit(GL_TEXTURE_BINDING_2D);
            }
            if (type == GLObjectType::Sampler) {
                cache.bindSampler(kUnit, id);
                return boundOnUnit(GL_SAMPLER_BINDING);
            }
            cache.bindFramebuffer(id);
            return bound(GL_DRAW_FRAMEBUFFER_BINDING);
        };
        GLuint object = make();
        const GLuint made = object;
        bindAndRead(object);
        context.deleteObject(type, object);
        EXPECT_EQ(object, 0u);
        GLuint again = make();
        ASSERT_EQ(again, made) << "GL did not give the name out again";
        EXPECT_EQ(bindAndRead(again), again);
        context.deleteObject(type, again);
    }
    test.renderer().glPrimaryTarget()->bind();

    // A render texture's name, given to the next one: the shared framebuffer attaches
    // the new texture rather than keep the deleted one.
    GLRenderer& renderer = test.renderer();
    auto* targets = RenderTargetMgr::instance();
    auto old = targets->createRenderTexture("old", RENDER_TEXTURE_2D, 4, 4, 4, 0, 0, 0, false);
    ASSERT_NE(old, nullptr);
    const GLuint oldName = std::dynamic_pointer_cast<GLRenderTexture>(old)->texture()->id();
    renderer.setRenderTarget(old);
    renderer.setRenderTarget(renderer.primaryTarget());
    targets->remove(old);
    old.reset();
    auto fresh = std::dynamic_pointer_cast<GLRenderTexture>(
        targets->createRenderTexture("fresh", RENDER_TEXTURE_2D, 4, 4, 4, 0, 0, 0, false));
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(fresh->texture()->id(), oldName) << "GL did not give the name out again";
    renderer.setRenderTarget(fresh);
    glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderer.setRenderTarget(renderer.primaryTarget());
    const auto texels = Vrenn::Test::readTextureRGBA(oldName, 0, 4, 4);
    EXPECT_FLOAT_EQ(texels[0], 1.0f);
    EXPECT_NEAR(texels[1], 0.5f, 1.0f / 255.0f);
    targets->remove(fresh);
    EXPECT_TRUE(noGLError());
}

} // namespace
} // namespace Vrenn
