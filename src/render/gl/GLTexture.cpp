#include "render/gl/GLTexture.h"

namespace Vrenn {

GLTexture::~GLTexture() {
    release();
}

void GLTexture::release() {
    m_context.deleteObject(GLObjectType::Texture, m_id);
    m_target = GL_NONE;
    m_levels = 0;
}

void GLTexture::adopt(GLContext& context, GLuint id, GLenum target, int32_t levels) {
    release();
    m_context = GLContextHandle(context);
    m_id = id;
    m_target = target;
    m_levels = levels;
}

void GLTexture::refreshMips() {
    if (!m_mipsStale) return;
    m_mipsStale = false;
    if (m_id != 0 && m_levels > 1 && m_context.live()) glGenerateTextureMipmap(m_id);
}

GLenum glTextureTarget(int32_t textureType) {
    switch (textureType) {
    case TEXTURE_VOLUME:
        return GL_TEXTURE_3D;
    case TEXTURE_CUBE:
        return GL_TEXTURE_CUBE_MAP;
    default:
        return GL_TEXTURE_2D;
    }
}

} // namespace Vrenn
