#include "render/gl/GLTexture.h"

#include "render/gl/GLContextLife.h"
#include "render/gl/GLStateCache.h"

namespace Vrenn {

GLTexture::~GLTexture() {
    release();
}

void GLTexture::release() {
    if (m_id != 0 && glContextAlive(m_generation)) {
        if (auto* cache = GLStateCache::instance()) cache->forgetTexture(m_id);
        glDeleteTextures(1, &m_id);
    }
    m_id = 0;
    m_target = GL_NONE;
    m_levels = 0;
    m_generation = 0;
}

void GLTexture::adopt(GLuint id, GLenum target, int32_t levels) {
    release();
    m_id = id;
    m_target = target;
    m_levels = levels;
    m_generation = glContextGeneration();
}

void GLTexture::refreshMips() {
    if (!m_mipsStale) return;
    m_mipsStale = false;
    if (m_id != 0 && m_levels > 1 && glContextAlive(m_generation)) glGenerateTextureMipmap(m_id);
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
