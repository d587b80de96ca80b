#include "render/gl/GLRenderbuffer.h"

#include "render/gl/GLContextLife.h"

namespace Vrenn {

GLRenderbuffer::GLRenderbuffer(GLenum internalFormat, int32_t width, int32_t height,
                               int32_t samples)
    : m_internalFormat(internalFormat), m_samples(samples > 1 ? samples : 0) {
    if (width <= 0 || height <= 0 || glContextGeneration() == 0) return;
    while (glGetError() != GL_NO_ERROR) {
    }
    glCreateRenderbuffers(1, &m_id);
    if (m_samples > 0)
        glNamedRenderbufferStorageMultisample(m_id, m_samples, internalFormat, width, height);
    else
        glNamedRenderbufferStorage(m_id, internalFormat, width, height);
    if (glGetError() != GL_NO_ERROR) {
        glDeleteRenderbuffers(1, &m_id);
        m_id = 0;
        return;
    }
    m_generation = glContextGeneration();
}

GLRenderbuffer::~GLRenderbuffer() {
    if (m_id != 0 && glContextAlive(m_generation)) glDeleteRenderbuffers(1, &m_id);
}

} // namespace Vrenn
