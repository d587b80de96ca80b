#include "render/gl/GLRenderbuffer.h"

namespace Vrenn {

GLRenderbuffer::GLRenderbuffer(GLContext& context, GLenum internalFormat, int32_t width,
                               int32_t height, int32_t samples)
    : m_internalFormat(internalFormat), m_samples(samples > 1 ? samples : 0), m_context(context) {
    if (width <= 0 || height <= 0 || !context.alive()) return;
    while (glGetError() != GL_NO_ERROR) {
    }
    glCreateRenderbuffers(1, &m_id);
    if (m_samples > 0)
        glNamedRenderbufferStorageMultisample(m_id, m_samples, internalFormat, width, height);
    else
        glNamedRenderbufferStorage(m_id, internalFormat, width, height);
    if (glGetError() != GL_NO_ERROR) context.deleteObject(GLObjectType::Renderbuffer, m_id);
}

GLRenderbuffer::~GLRenderbuffer() {
    m_context.deleteObject(GLObjectType::Renderbuffer, m_id);
}

} // namespace Vrenn
