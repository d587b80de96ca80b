#pragma once

#include "render/Texture.h"
#include "render/gl/GLContext.h"

#include <epoxy/gl.h>

namespace Vrenn {

// A texture with its GL texture object. The object is made by the texture manager
// (or a render texture) and deleted through its context with the texture.
class GLTexture : public Texture {
public:
    using Texture::Texture;
    ~GLTexture() override;

    void release() override;

    // Takes over a texture object made in the context (any previous one is
    // released).
    void adopt(GLContext& context, GLuint id, GLenum target, int32_t levels);

    // A render texture with automatic mip maps marks its levels stale while it is drawn
    // into; whoever samples it next (an effect pass) rebuilds them first.
    void setMipsStale(bool stale) { m_mipsStale = stale; }
    // Rebuilds stale mip levels from level 0.
    void refreshMips();

    GLuint id() const { return m_id; }
    GLenum target() const { return m_target; }
    int32_t levels() const { return m_levels; }

private:
    GLuint m_id = 0;
    GLenum m_target = GL_NONE;
    int32_t m_levels = 0;
    GLContextHandle m_context;
    bool m_mipsStale = false;
};

// The GL target of a texture type: 1D and 2D textures are 2D textures, volumes 3D,
// cubes cube maps.
GLenum glTextureTarget(int32_t textureType);

} // namespace Vrenn
