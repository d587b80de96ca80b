// The GL context object: deletions go through it and its state cache, and resources
// outliving it (or its window) let go without GL calls.

#include "GLCallCounter.h"
#include "fs/Image.h"
#include "render/QueryMgr.h"
#include "render/RenderTargetMgr.h"
#include "render/ShaderMgr.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLTexture.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"

#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Test::GLCallCounter;
using Test::GLTestContext;
using Test::noGLError;

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

// Resources held past the renderer's shut-down, or past the window that took the GL context
// with it, let go without GL calls; nothing works any more and nothing fails loudly.
TEST(GLContextLifetime, ResourcesOutlivingTheRendererOrTheWindowLetGoWithoutGLCalls) {
    GLTestContext::shutDown();
    for (const bool windowFirst : {false, true}) {
        SCOPED_TRACE(windowFirst ? "window closed first" : "renderer shut down first");
        auto window = std::make_shared<SDLWindow>("Application", "lifetime");
        window->setHidden(true);
        ASSERT_TRUE(window->create(false, 1, 32, 24, 8, 0));
        auto renderer = std::make_shared<GLRenderer>();
        ASSERT_TRUE(renderer->Initialize(window));
        auto held = std::make_unique<HeldResources>(*renderer);
        ASSERT_TRUE(held->complete());
        GLContext* context = renderer->context();
        if (windowFirst) {
            window->destroy();
            EXPECT_FALSE(context->alive());
        } else {
            renderer->ShutDown();
            renderer.reset();
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
        if (renderer) {
            renderer->clear(true, true, false);
            renderer->setViewport(std::make_shared<Viewport>(Viewport{0, 0, 8, 8}));
            renderer->setScissorRect(0, 0, 8, 8);
            renderer->endFrame();
            renderer->ShutDown();
        }
        EXPECT_EQ(calls.total(), 0);
        window->destroy();
    }
}

} // namespace
} // namespace Vrenn
