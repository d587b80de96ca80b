#include "render/gl/GLRenderTarget.h"

#include "core/Log.h"
#include "platform/SDLWindow.h"
#include "render/gl/GLContextLife.h"
#include "render/gl/GLRenderbuffer.h"
#include "render/gl/GLStateCache.h"

#include <SDL.h>
#include <algorithm>

namespace Vrenn {

namespace {
struct ContextAttempt {
    int major;
    int minor;
    const char* label;
};
constexpr ContextAttempt kAttempts[] = {
    {4, 6, "(GL 4.6 core)"},
    {4, 5, "(GL 4.5 core)"},
};
} // namespace

GLRenderTarget::GLRenderTarget(std::string name, const std::shared_ptr<SDLWindow>& window)
    : RenderTarget(std::move(name)), m_window(window),
      m_sdlWindow(window ? window->handle() : nullptr) {
    if (window) {
        m_width = window->width();
        m_height = window->height();
    }
}

GLRenderTarget::~GLRenderTarget() {
    release();
}

bool GLRenderTarget::create(int32_t /*colourBits*/, int32_t depthBits, int32_t stencilBits,
                            int32_t fsaaLevel, bool fullScreen) {
    // The back buffer is always RGBA8, whatever colour depth was asked for.
    m_colourBits = 32;
    m_depthBits = depthBits;
    m_stencilBits = stencilBits;
    m_fsaaLevel = fsaaLevel;
    m_fullScreen = fullScreen;
    if (!createContext()) {
        logMessage("Couldn't Create Any GL Device!");
        return false;
    }
    if (!createBackBuffer()) {
        logFormat("GL back buffer could not be created: %s\n", m_lastError.c_str());
        release();
        return false;
    }
    logMessage("GL Device" + m_label + " was Successfully Created!\n");
    return true;
}

bool GLRenderTarget::createContext() {
    if (!m_sdlWindow || m_window.expired()) {
        m_lastError = "no window";
        return false;
    }
    for (const auto& attempt : kAttempts) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, attempt.major);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, attempt.minor);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
        SDL_GLContext context = SDL_GL_CreateContext(m_sdlWindow);
        if (!context) {
            m_lastError = SDL_GetError();
            continue;
        }
        if (SDL_GL_MakeCurrent(m_sdlWindow, context) != 0) {
            m_lastError = SDL_GetError();
            SDL_GL_DeleteContext(context);
            continue;
        }
        m_context = context;
        m_label = attempt.label;
        m_lastError.clear();
        break;
    }
    if (!m_context) return false;

    beginGLContextLife();
    SDL_GL_SetSwapInterval(0);
    m_stateCache = std::make_unique<GLStateCache>();
    m_stateCache->reset();
    // Depth 0 to 1 and row 0 at the top, for every target: projection matrices built
    // for that convention work unchanged and images need no flipping.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    return true;
}

bool GLRenderTarget::createBackBuffer() {
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    m_samples = m_fsaaLevel >= 2 ? std::min(m_fsaaLevel, static_cast<int32_t>(maxSamples)) : 0;

    // The buffers keep the size they are made with; setSize only records a new one.
    m_surfaceWidth = m_width;
    m_surfaceHeight = m_height;
    m_colour = std::make_shared<GLRenderbuffer>(GL_RGBA8, m_width, m_height, m_samples);
    if (!m_colour->valid()) {
        m_lastError = "colour buffer refused";
        return false;
    }
    if (m_depthBits > 0) {
        const GLenum format = m_depthBits <= 16 ? GL_DEPTH_COMPONENT16 : GL_DEPTH24_STENCIL8;
        m_depth = std::make_shared<GLRenderbuffer>(format, m_width, m_height, m_samples);
        if (!m_depth->valid()) {
            m_lastError = "depth buffer refused";
            return false;
        }
    }
    glCreateFramebuffers(1, &m_framebuffer);
    glNamedFramebufferRenderbuffer(m_framebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   m_colour->id());
    if (m_depth) {
        const GLenum attachment =
            m_depth->hasStencil() ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        glNamedFramebufferRenderbuffer(m_framebuffer, attachment, GL_RENDERBUFFER, m_depth->id());
    }
    if (glCheckNamedFramebufferStatus(m_framebuffer, GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        m_lastError = "back buffer incomplete";
        return false;
    }
    if (m_samples > 0) {
        m_resolveColour = std::make_shared<GLRenderbuffer>(GL_RGBA8, m_width, m_height, 0);
        glCreateFramebuffers(1, &m_resolveFramebuffer);
        glNamedFramebufferRenderbuffer(m_resolveFramebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                       m_resolveColour->id());
    }
    return true;
}

void GLRenderTarget::release() {
    if (!m_context) return;
    const bool current =
        SDL_GL_GetCurrentContext() == m_context || SDL_GL_MakeCurrent(m_sdlWindow, m_context) == 0;
    for (GLuint* framebuffer : {&m_framebuffer, &m_resolveFramebuffer}) {
        if (*framebuffer && current) {
            m_stateCache->forgetFramebuffer(*framebuffer);
            glDeleteFramebuffers(1, framebuffer);
        }
    }
    if (!current) endGLContextLife();
    m_framebuffer = m_resolveFramebuffer = 0;
    m_colour.reset();
    m_resolveColour.reset();
    // A render texture may still share the depth buffer; it lets go without GL.
    m_depth.reset();
    m_stateCache.reset();
    endGLContextLife();
    SDL_GL_MakeCurrent(m_sdlWindow, nullptr);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
    m_context = nullptr;
}

bool GLRenderTarget::bind() {
    if (!m_framebuffer) return false;
    m_stateCache->bindFramebuffer(m_framebuffer);
    glViewport(0, 0, m_surfaceWidth, m_surfaceHeight);
    return true;
}

bool GLRenderTarget::unbind() {
    // Drawing goes to the window's own framebuffer, which present() overwrites.
    if (m_stateCache) m_stateCache->bindFramebuffer(0);
    return true;
}

GLuint GLRenderTarget::resolvedFramebuffer() {
    if (!m_resolveFramebuffer) return m_framebuffer;
    glBlitNamedFramebuffer(m_framebuffer, m_resolveFramebuffer, 0, 0, m_surfaceWidth,
                           m_surfaceHeight, 0, 0, m_surfaceWidth, m_surfaceHeight,
                           GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return m_resolveFramebuffer;
}

void GLRenderTarget::present() {
    if (!m_framebuffer || m_window.expired()) return;
    resolveToWindow();
    SDL_GL_SwapWindow(m_sdlWindow);
}

void GLRenderTarget::resolveToWindow() {
    if (!m_framebuffer || m_window.expired()) return;
    // Blits obey the scissor test; the whole frame goes to the window.
    const bool scissor = m_stateCache && m_stateCache->scissorTest();
    if (scissor) glDisable(GL_SCISSOR_TEST);
    const GLuint source = resolvedFramebuffer();
    int drawableWidth = 0;
    int drawableHeight = 0;
    SDL_GL_GetDrawableSize(m_sdlWindow, &drawableWidth, &drawableHeight);
    const bool sameSize = drawableWidth == m_surfaceWidth && drawableHeight == m_surfaceHeight;
    // The window's rows run bottom-up: row 0 of the back buffer goes to its top.
    glBlitNamedFramebuffer(source, 0, 0, 0, m_surfaceWidth, m_surfaceHeight, 0, drawableHeight,
                           drawableWidth, 0, GL_COLOR_BUFFER_BIT,
                           sameSize ? GL_NEAREST : GL_LINEAR);
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

bool GLRenderTarget::readPixels(std::vector<uint8_t>& rgba) {
    if (!m_framebuffer || m_surfaceWidth <= 0 || m_surfaceHeight <= 0) return false;
    const bool scissor = m_stateCache && m_stateCache->scissorTest();
    if (scissor) glDisable(GL_SCISSOR_TEST);
    const GLuint source = resolvedFramebuffer();
    if (scissor) glEnable(GL_SCISSOR_TEST);
    while (glGetError() != GL_NO_ERROR) {
    }
    rgba.resize(static_cast<size_t>(m_surfaceWidth) * static_cast<size_t>(m_surfaceHeight) * 4);
    glNamedFramebufferReadBuffer(source, GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glReadPixels(0, 0, m_surfaceWidth, m_surfaceHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    m_stateCache->restoreReadFramebuffer();
    return glGetError() == GL_NO_ERROR;
}

} // namespace Vrenn
