#include "render/gl/GLDrawFramebuffer.h"

namespace Vrenn {

GLDrawFramebuffer::GLDrawFramebuffer(GLContext& context) : m_context(context) {
    if (context.alive()) glCreateFramebuffers(1, &m_id);
}

GLDrawFramebuffer::~GLDrawFramebuffer() {
    m_context.deleteObject(GLObjectType::Framebuffer, m_id);
}

void GLDrawFramebuffer::attachColour(uint32_t index, GLuint texture, int32_t layer) {
    if (index >= kMaxColour || !valid()) return;
    ColourSlot& slot = m_colour[index];
    if (slot.texture == texture && slot.layer == layer) return;
    const GLenum attachment = GL_COLOR_ATTACHMENT0 + index;
    if (texture != 0 && layer >= 0)
        glNamedFramebufferTextureLayer(m_id, attachment, texture, 0, layer);
    else
        glNamedFramebufferTexture(m_id, attachment, texture, 0);
    if ((slot.texture == 0) != (texture == 0)) m_drawBuffersDirty = true;
    slot.texture = texture;
    slot.layer = texture != 0 ? layer : -1;
}

void GLDrawFramebuffer::detachColour(uint32_t index) {
    attachColour(index, 0, -1);
}

void GLDrawFramebuffer::setDepth(const DepthSlot& depth) {
    if (!valid() || depth == m_depth) return;
    // Detaching through the combined point clears depth and stencil alike.
    if (m_depth.object != 0) glNamedFramebufferTexture(m_id, GL_DEPTH_STENCIL_ATTACHMENT, 0, 0);
    if (depth.object != 0) {
        const GLenum attachment = depth.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
        if (depth.texture)
            glNamedFramebufferTexture(m_id, attachment, depth.object, 0);
        else
            glNamedFramebufferRenderbuffer(m_id, attachment, GL_RENDERBUFFER, depth.object);
    }
    m_depth = depth;
}

void GLDrawFramebuffer::attachDepthRenderbuffer(GLuint renderbuffer, bool withStencil) {
    setDepth({renderbuffer, false, withStencil && renderbuffer != 0});
}

void GLDrawFramebuffer::attachDepthTexture(GLuint texture) {
    setDepth({texture, texture != 0, false});
}

void GLDrawFramebuffer::detachDepth() {
    setDepth({});
}

void GLDrawFramebuffer::detach(GLObjectType type, GLuint object) {
    const bool texture = type == GLObjectType::Texture;
    if (object == 0 || (!texture && type != GLObjectType::Renderbuffer)) return;
    if (texture)
        for (uint32_t index = 0; index < kMaxColour; ++index)
            if (m_colour[index].texture == object) detachColour(index);
    if (m_depth.object == object && m_depth.texture == texture) detachDepth();
}

void GLDrawFramebuffer::bind() {
    if (!valid()) return;
    if (m_drawBuffersDirty) {
        std::array<GLenum, kMaxColour> buffers{};
        GLsizei count = 0;
        for (uint32_t i = 0; i < kMaxColour; ++i) {
            buffers[i] = m_colour[i].texture ? GL_COLOR_ATTACHMENT0 + i : GL_NONE;
            if (m_colour[i].texture) count = static_cast<GLsizei>(i + 1);
        }
        if (count == 0) {
            glNamedFramebufferDrawBuffer(m_id, GL_NONE);
            glNamedFramebufferReadBuffer(m_id, GL_NONE);
        } else {
            glNamedFramebufferDrawBuffers(m_id, count, buffers.data());
            glNamedFramebufferReadBuffer(m_id, buffers[0] != GL_NONE ? buffers[0] : GL_NONE);
        }
        m_drawBuffersDirty = false;
    }
    if (const auto context = m_context.live()) context->cache().bindFramebuffer(m_id);
}

} // namespace Vrenn
