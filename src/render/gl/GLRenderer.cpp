#include "render/gl/GLRenderer.h"

#include "core/Log.h"
#include "platform/Window.h"
#include "render/ScreenShot.h"
#include "render/gl/GLContext.h"
#include "render/gl/GLQueryMgr.h"
#include "render/gl/GLRenderTarget.h"
#include "render/gl/GLRenderTargetMgr.h"
#include "render/gl/GLShaderMgr.h"
#include "render/gl/GLStateCache.h"
#include "render/gl/GLTextureManager.h"
#include "render/gl/GLVertexBufferMgr.h"

namespace Vrenn {

namespace {
constexpr int kScreenShotQuality = 90;

std::string glString(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

int32_t glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// The shader model whose fragment stage a GL version matches: GL 4 is the generation
// of shader model 5, GL 3 of model 4, GL 2 of model 3.
uint32_t pixelShaderVersionOf(int32_t glMajor) {
    if (glMajor >= 4) return shaderVersion(5, 0);
    if (glMajor == 3) return shaderVersion(4, 0);
    if (glMajor == 2) return shaderVersion(3, 0);
    return 0;
}
} // namespace

GLRenderer::GLRenderer() {
    m_projectionFlag = true;
}

GLRenderer::~GLRenderer() {
    if (m_primaryTarget || m_renderTargetMgr || m_context) ShutDown();
}

bool GLRenderer::Initialize(const std::shared_ptr<Window>& window) {
    logMessage("GLRenderer::Initialize\n");
    if (!window) {
        logMessage("Couldn't initialize OpenGL\n");
        return false;
    }
    // The context holds the window while it lives: the window is closed only after
    // the context is destroyed, by ShutDown or by the window itself.
    RenderSurface* surface = window->surface();
    auto context = std::make_shared<GLContext>(
        surface ? std::shared_ptr<RenderSurface>(window, surface) : nullptr);
    if (!context->create()) return false;
    m_context = context;
    m_renderTargetMgr = std::make_shared<GLRenderTargetMgr>(*context);
    m_vertexBufferMgr = std::make_shared<GLVertexBufferMgr>(*context);
    m_textureManager = std::make_shared<GLTextureManager>(*context);
    m_shaderMgr = std::make_shared<GLShaderMgr>(*context);
    m_queryMgr = std::make_shared<GLQueryMgr>(*context);

    auto primary = m_renderTargetMgr->createRenderWindow(window->name(), window);
    if (!primary) {
        m_context->destroy();
        m_context.reset();
        return false;
    }
    m_caps.vendor = glString(GL_VENDOR);
    m_caps.renderer = glString(GL_RENDERER);
    m_caps.version = glString(GL_VERSION);
    m_caps.maxTextureSize = glInteger(GL_MAX_TEXTURE_SIZE);
    m_caps.maxCubeMapSize = glInteger(GL_MAX_CUBE_MAP_TEXTURE_SIZE);
    m_caps.max3DTextureSize = glInteger(GL_MAX_3D_TEXTURE_SIZE);
    m_caps.maxSamples = glInteger(GL_MAX_SAMPLES);
    m_caps.maxDrawBuffers = glInteger(GL_MAX_DRAW_BUFFERS);
    m_caps.maxColourAttachments = glInteger(GL_MAX_COLOR_ATTACHMENTS);
    m_capabilities.pixelShaderVersion = pixelShaderVersionOf(glInteger(GL_MAJOR_VERSION));

    m_window = window;
    m_primaryTarget = primary;
    setRenderTarget(primary);
    logMessage("OpenGL Renderer Successfully Initialized\n");
    return true;
}

void GLRenderer::ShutDown() {
    m_currentTarget.reset();
    m_primaryTarget.reset();
    // The managers' resources go while the context lives; those held elsewhere let go
    // of their names without GL calls once it is destroyed.
    reset();
    if (m_context) m_context->destroy();
    m_context.reset();
    m_window.reset();
    logMessage("GLRenderer::ShutDown\n");
}

void GLRenderer::beginFrame() {
    clear(m_clearColour, m_clearDepth, m_clearStencil);
}

void GLRenderer::endFrame() {
    if (auto primary = glPrimaryTarget()) primary->present();
}

void GLRenderer::resize(int32_t width, int32_t height) {
    const auto primary = glPrimaryTarget();
    if (!primary || width <= 0 || height <= 0) return;
    if (primary->surfaceWidth() == width && primary->surfaceHeight() == height) return;
    const bool wasBound = boundTarget() == m_primaryTarget;
    if (!primary->resizeBuffers(width, height)) return;
    if (wasBound) primary->bind();
}

void GLRenderer::clear(bool /*colour*/, bool depth, bool stencil) {
    if (!m_context || !m_context->alive()) return;
    GLStateCache& cache = m_context->cache();
    // The whole target is cleared whatever the write masks of the last pass were;
    // the masks are the pass's again afterwards.
    const RenderStates states = cache.states();
    RenderStates clearing = states;
    clearing.colourMask = 0xF;
    if (depth) clearing.depthWrite = true;
    cache.apply(clearing);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    GLbitfield mask = GL_COLOR_BUFFER_BIT;
    if (depth) mask |= GL_DEPTH_BUFFER_BIT;
    if (stencil) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
    cache.apply(states);
}

void GLRenderer::enableScissor(bool on) {
    if (m_context && m_context->alive()) m_context->cache().setScissorTest(on);
}

void GLRenderer::setScissorRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    // Rows count from the top in every target, so the rectangle goes in as it is.
    if (m_context && m_context->alive()) glScissor(x, y, width, height);
}

void GLRenderer::applyViewport(const Viewport& viewport) {
    if (m_context && m_context->alive())
        glViewport(viewport.x, viewport.y, viewport.width, viewport.height);
}

bool GLRenderer::takeScreenShot() {
    const std::string name = nextScreenShotName();
    if (name.empty()) {
        logMessage("Could not Write ScreenShot: every name from shot0000.jpg to shot9999.jpg "
                   "is taken\n");
        return false;
    }
    std::vector<uint8_t> pixels;
    const auto primary = glPrimaryTarget();
    std::string why;
    const bool written = primary && primary->readPixels(pixels) &&
                         writeJpeg(name, pixels.data(), primary->surfaceWidth(),
                                   primary->surfaceHeight(), kScreenShotQuality, &why);
    if (written) {
        logMessage("Wrote ScreenShot:" + name + "\n");
        return true;
    }
    logMessage("Could not Write ScreenShot:" + name + "\n");
    if (!why.empty()) logMessage("  " + why + "\n");
    return false;
}

std::string GLRenderer::deviceLabel() const {
    return m_context ? m_context->label() : std::string();
}

std::shared_ptr<GLRenderTarget> GLRenderer::glPrimaryTarget() const {
    return std::dynamic_pointer_cast<GLRenderTarget>(m_primaryTarget);
}

bool GLRenderer::readBackBuffer(std::vector<uint8_t>& rgba) const {
    const auto primary = glPrimaryTarget();
    return primary && primary->readPixels(rgba);
}

} // namespace Vrenn
