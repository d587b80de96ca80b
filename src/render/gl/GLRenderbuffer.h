#pragma once

#include "render/gl/GLContext.h"

#include <cstdint>
#include <epoxy/gl.h>

namespace Vrenn {

// A renderbuffer (back-buffer colour, depth surfaces). Shared between the targets
// that draw with it; deleted through its context with the last holder.
class GLRenderbuffer {
public:
    // samples 0 or 1: single-sampled. Check valid().
    GLRenderbuffer(GLContext& context, GLenum internalFormat, int32_t width, int32_t height,
                   int32_t samples);
    ~GLRenderbuffer();
    GLRenderbuffer(const GLRenderbuffer&) = delete;
    GLRenderbuffer& operator=(const GLRenderbuffer&) = delete;

    bool valid() const { return m_id != 0; }
    GLuint id() const { return m_id; }
    GLenum internalFormat() const { return m_internalFormat; }
    int32_t samples() const { return m_samples; }
    // True for formats with a stencil part.
    bool hasStencil() const { return m_internalFormat == GL_DEPTH24_STENCIL8; }

private:
    GLuint m_id = 0;
    GLenum m_internalFormat;
    int32_t m_samples;
    GLContextHandle m_context;
};

} // namespace Vrenn
