#include "render/gl/GLContext.h"

#include "core/Log.h"
#include "platform/RenderSurface.h"
#include "render/gl/GLDrawFramebuffer.h"

namespace Vrenn {

namespace {
struct ContextVersion {
    int32_t major;
    int32_t minor;
    const char* label;
};
constexpr ContextVersion kVersions[] = {
    {4, 6, "(GL 4.6 core)"},
    {4, 5, "(GL 4.5 core)"},
};
} // namespace

GLContext::GLContext(std::shared_ptr<RenderSurface> surface) : m_surface(std::move(surface)) {}

GLContext::~GLContext() {
    destroy();
}

bool GLContext::create() {
    destroy();
    std::string why = "the window has no surface to draw on";
    for (const auto& version : kVersions) {
        if (!m_surface || !m_surface->createGLContext(version.major, version.minor, why)) continue;
        m_id = m_surface->glContextId();
        m_label = version.label;
        break;
    }
    if (m_id == 0) {
        logMessage("Couldn't Create Any GL Device! " + why + "\n");
        return false;
    }
    // Depth 0 to 1 and row 0 at the top, for every target: projection matrices built
    // for that convention work unchanged and images need no flipping.
    glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    // Cull none, solid fill, no scissor or stencil, depth test less-or-equal with
    // writes, no blending.
    m_cache.reset();
    // Core GL draws only with a vertex array bound; this one serves draws that take
    // everything from gl_VertexID.
    glCreateVertexArrays(1, &m_emptyVertexArray);
    m_cache.setDefaultVertexArray(m_emptyVertexArray);
    m_cache.bindDefaultVertexArray();
    return true;
}

void GLContext::destroy() {
    if (m_id == 0) return;
    const bool current = alive() && m_surface->makeCurrent();
    // Render textures still held elsewhere may keep the draw framebuffer; it lets go
    // of its name without GL calls once the context is gone.
    m_drawFramebuffer.reset();
    if (current) deleteObject(GLObjectType::VertexArray, m_emptyVertexArray);
    m_emptyVertexArray = 0;
    if (m_surface->glContextId() == m_id) m_surface->destroyGLContext();
    m_id = 0;
}

bool GLContext::alive() const {
    return m_id != 0 && m_surface->glContextId() == m_id;
}

std::shared_ptr<GLDrawFramebuffer> GLContext::drawFramebuffer() {
    if ((!m_drawFramebuffer || !m_drawFramebuffer->valid()) && alive())
        m_drawFramebuffer = std::make_shared<GLDrawFramebuffer>(*this);
    return m_drawFramebuffer;
}

void GLContext::deleteObject(GLObjectType type, GLuint& name) {
    if (name == 0) return;
    if (!alive()) {
        name = 0;
        return;
    }
    switch (type) {
    case GLObjectType::Texture:
        m_cache.forgetTexture(name);
        if (m_drawFramebuffer) m_drawFramebuffer->detach(type, name);
        glDeleteTextures(1, &name);
        break;
    case GLObjectType::Framebuffer:
        m_cache.forgetFramebuffer(name);
        glDeleteFramebuffers(1, &name);
        break;
    case GLObjectType::Renderbuffer:
        if (m_drawFramebuffer) m_drawFramebuffer->detach(type, name);
        glDeleteRenderbuffers(1, &name);
        break;
    case GLObjectType::Buffer:
        glDeleteBuffers(1, &name);
        break;
    case GLObjectType::VertexArray:
        // Draws need a vertex array bound: the default one takes the deleted one's place.
        if (m_cache.vertexArray() == name && name != m_emptyVertexArray)
            m_cache.bindDefaultVertexArray();
        m_cache.forgetVertexArray(name);
        glDeleteVertexArrays(1, &name);
        break;
    case GLObjectType::Program:
        m_cache.forgetProgram(name);
        glDeleteProgram(name);
        break;
    case GLObjectType::Shader:
        glDeleteShader(name);
        break;
    case GLObjectType::Sampler:
        m_cache.forgetSampler(name);
        glDeleteSamplers(1, &name);
        break;
    case GLObjectType::Query:
        glDeleteQueries(1, &name);
        break;
    }
    name = 0;
}

std::shared_ptr<GLContext> GLContextHandle::live() const {
    auto context = m_context.lock();
    return context && context->alive() ? context : nullptr;
}

void GLContextHandle::deleteObject(GLObjectType type, GLuint& name) const {
    if (const auto context = m_context.lock())
        context->deleteObject(type, name);
    else
        name = 0;
}

} // namespace Vrenn
