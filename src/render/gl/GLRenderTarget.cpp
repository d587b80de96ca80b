#include "render/gl/GLRenderTarget.h"

#include "core/Log.h"
#include "platform/RenderSurface.h"
#include "render/gl/GLRenderbuffer.h"

#include <algorithm>

namespace Vrenn {

GLRenderTarget::GLRenderTarget(std::string name, GLContext& context, int32_t width, int32_t height)
    : RenderTarget(std::move(name)), m_context(context) {
    m_width = width;
    m_height = height;
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
    const auto context = m_context.live();
    const std::string why = context ? createBackBuffer(*context) : "no GL context";
    if (!why.empty()) {
        logFormat("GL back buffer could not be created: %s\n", why.c_str());
        release();
        return false;
    }
    logMessage("GL Device" + context->label() + " was Successfully Created!\n");
    return true;
}

std::string GLRenderTarget::createBackBuffer(GLContext& context) {
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    m_samples = m_fsaaLevel >= 2 ? std::min(m_fsaaLevel, static_cast<int32_t>(maxSamples)) : 0;

    // The buffers keep the size they are made with; setSize only records a new one.
    m_surfaceWidth = m_width;
    m_surfaceHeight = m_height;
    m_colour = std::make_shared<GLRenderbuffer>(context, GL_RGBA8, m_width, m_height, m_samples);
    if (!m_colour->valid()) return "colour buffer refused";
    if (m_depthBits > 0) {
        const GLenum format = m_depthBits <= 16 ? GL_DEPTH_COMPONENT16 : GL_DEPTH24_STENCIL8;
        m_depth = std::make_shared<GLRenderbuffer>(context, format, m_width, m_height, m_samples);
        if (!m_depth->valid()) return "depth buffer refused";
    }
    glCreateFramebuffers(1, &m_framebuffer);
    glNamedFramebufferRenderbuffer(m_framebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                   m_colour->id());
    if (m_depth) {
        const GLenum attachment =
            m_depth->hasStencil() ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        glNamedFramebufferRenderbuffer(m_framebuffer, attachment, GL_RENDERBUFFER, m_depth->id());
    }
    if (glCheckNamedFramebufferStatus(m_framebuffer, GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        return "back buffer incomplete";
    if (m_samples > 0) {
        m_resolveColour = std::make_shared<GLRenderbuffer>(context, GL_RGBA8, m_width, m_height, 0);
        glCreateFramebuffers(1, &m_resolveFramebuffer);
        glNamedFramebufferRenderbuffer(m_resolveFramebuffer, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                       m_resolveColour->id());
    }
    return {};
}

bool GLRenderTarget::resizeBuffers(int32_t width, int32_t height) {
    const auto context = m_context.live();
    if (!context || width <= 0 || height <= 0) return false;
    const int32_t oldWidth = m_surfaceWidth;
    const int32_t oldHeight = m_surfaceHeight;
    release();
    m_width = width;
    m_height = height;
    const std::string why = createBackBuffer(*context);
    if (why.empty()) return true;
    logFormat("GL back buffer could not be resized to %dx%d: %s\n", width, height, why.c_str());
    // The frame goes on at the old size rather than with no back buffer at all.
    release();
    m_width = oldWidth;
    m_height = oldHeight;
    if (!createBackBuffer(*context).empty()) release();
    return false;
}

void GLRenderTarget::release() {
    m_context.deleteObject(GLObjectType::Framebuffer, m_framebuffer);
    m_context.deleteObject(GLObjectType::Framebuffer, m_resolveFramebuffer);
    m_colour.reset();
    m_resolveColour.reset();
    // A render texture may still share the depth buffer; it deletes it when it goes.
    m_depth.reset();
}

bool GLRenderTarget::bind() {
    const auto context = m_context.live();
    if (!m_framebuffer || !context) return false;
    context->cache().bindFramebuffer(m_framebuffer);
    glViewport(0, 0, m_surfaceWidth, m_surfaceHeight);
    return true;
}

bool GLRenderTarget::unbind() {
    // The renderer unbinds the primary target when it is given no target: drawing
    // then goes on in the back buffer. The surface's own framebuffer is never bound,
    // since present() copies the back buffer over whatever is drawn there.
    return bind();
}

GLuint GLRenderTarget::resolvedFramebuffer() {
    if (!m_resolveFramebuffer) return m_framebuffer;
    glBlitNamedFramebuffer(m_framebuffer, m_resolveFramebuffer, 0, 0, m_surfaceWidth,
                           m_surfaceHeight, 0, 0, m_surfaceWidth, m_surfaceHeight,
                           GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return m_resolveFramebuffer;
}

void GLRenderTarget::present() {
    const auto context = m_context.live();
    if (!m_framebuffer || !context) return;
    resolveToWindow();
    context->surface().swap();
}

void GLRenderTarget::resolveToWindow() {
    const auto context = m_context.live();
    if (!m_framebuffer || !context) return;
    // Blits obey the scissor test; the whole frame goes to the surface.
    const bool scissor = context->cache().scissorTest();
    if (scissor) glDisable(GL_SCISSOR_TEST);
    const GLuint source = resolvedFramebuffer();
    const SurfaceSize drawable = context->surface().drawableSize();
    const bool sameSize = drawable.width == m_surfaceWidth && drawable.height == m_surfaceHeight;
    // The surface's rows run bottom-up: row 0 of the back buffer goes to its top.
    glBlitNamedFramebuffer(source, 0, 0, 0, m_surfaceWidth, m_surfaceHeight, 0, drawable.height,
                           drawable.width, 0, GL_COLOR_BUFFER_BIT,
                           sameSize ? GL_NEAREST : GL_LINEAR);
    if (scissor) glEnable(GL_SCISSOR_TEST);
}

bool GLRenderTarget::readPixels(std::vector<uint8_t>& rgba) {
    const auto context = m_context.live();
    if (!m_framebuffer || !context || m_surfaceWidth <= 0 || m_surfaceHeight <= 0) return false;
    const bool scissor = context->cache().scissorTest();
    if (scissor) glDisable(GL_SCISSOR_TEST);
    const GLuint source = resolvedFramebuffer();
    if (scissor) glEnable(GL_SCISSOR_TEST);
    while (glGetError() != GL_NO_ERROR) {
    }
    rgba.resize(static_cast<size_t>(m_surfaceWidth) * static_cast<size_t>(m_surfaceHeight) * 4);
    glNamedFramebufferReadBuffer(source, GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glReadPixels(0, 0, m_surfaceWidth, m_surfaceHeight, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    context->cache().restoreReadFramebuffer();
    return glGetError() == GL_NO_ERROR;
}

} // namespace Vrenn
