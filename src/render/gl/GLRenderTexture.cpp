#include "render/gl/GLRenderTexture.h"

#include "render/RenderTargetMgr.h"
#include "render/gl/GLDrawFramebuffer.h"
#include "render/gl/GLFormat.h"
#include "render/gl/GLRenderbuffer.h"
#include "render/gl/GLTexture.h"

#include <algorithm>
#include <bit>

namespace Vrenn {

namespace {
int32_t fullChainLength(int32_t width, int32_t height) {
    const auto largest = static_cast<uint32_t>(std::max({width, height, 1}));
    return static_cast<int32_t>(std::bit_width(largest));
}
} // namespace

GLRenderTexture::GLRenderTexture(GLContext& context, std::string name, int32_t type, int32_t width,
                                 int32_t height, int32_t format, uint32_t mrtIndex,
                                 bool autoGenMips,
                                 std::shared_ptr<GLDrawFramebuffer> drawFramebuffer)
    : RenderTarget(name), m_context(context), m_drawFramebuffer(std::move(drawFramebuffer)),
      m_mrtIndex(mrtIndex), m_autoGenMips(autoGenMips) {
    m_width = width;
    m_height = height;
    const int32_t textureType = type == RENDER_TEXTURE_2D ? TEXTURE_2D : TEXTURE_CUBE;
    m_texture = std::make_shared<GLTexture>(std::move(name), textureType, width, height, 1, format);
}

GLRenderTexture::~GLRenderTexture() = default;

bool GLRenderTexture::isCube() const {
    return m_texture->type() == TEXTURE_CUBE;
}

bool GLRenderTexture::depthOnly() const {
    return isDepthFormat(m_texture->format());
}

int32_t GLRenderTexture::format() const {
    return m_texture->format();
}

bool GLRenderTexture::create(int32_t colourBits, int32_t depthBits, int32_t stencilBits,
                             int32_t fsaaLevel, bool /*fullScreen*/) {
    m_colourBits = colourBits;
    m_depthBits = depthBits;
    m_stencilBits = stencilBits;
    m_fsaaLevel = fsaaLevel;
    const auto context = m_context.live();
    if (m_created || m_width <= 0 || m_height <= 0 || !context || !m_drawFramebuffer ||
        !m_drawFramebuffer->valid())
        return false;
    if (isCube() && m_width != m_height) return false;

    const GLFormat* format = glFormatOf(m_texture->format());
    if (!format) return false;
    if (depthOnly()) {
        // A depth target: the depth texture is both what it draws into and what
        // later passes sample. Cube depth targets are not supported.
        if (isCube() || !createTexture(*context, format->internalFormat, *format)) return false;
        m_depthBuffer.reset();
        m_created = true;
        return true;
    }
    if (!m_depthBuffer && !createDepth(*context)) return false;
    GLint renderable = GL_NONE;
    if (!format->compressed)
        glGetInternalformativ(GL_TEXTURE_2D, format->internalFormat, GL_FRAMEBUFFER_RENDERABLE, 1,
                              &renderable);
    if (renderable != GL_FULL_SUPPORT) return false;
    if (!createTexture(*context, format->internalFormat, *format)) return false;
    m_created = true;
    return true;
}

bool GLRenderTexture::createDepth(GLContext& context) {
    // Own depth buffers exist for 16 and 24 bits only; other settings draw without.
    GLenum internalFormat = GL_NONE;
    if (m_depthBits == 16)
        internalFormat = GL_DEPTH_COMPONENT16;
    else if (m_depthBits == 24)
        internalFormat = GL_DEPTH_COMPONENT24;
    else
        return true;
    auto depth = std::make_shared<GLRenderbuffer>(context, internalFormat, m_width, m_height, 0);
    if (!depth->valid()) return false;
    m_depthBuffer = std::move(depth);
    return true;
}

bool GLRenderTexture::createTexture(GLContext& context, GLenum internalFormat,
                                    const GLFormat& format) {
    const bool mipmapped = m_autoGenMips || m_texture->mipmapped();
    const int32_t levels = mipmapped ? fullChainLength(m_width, m_height) : 1;
    const GLenum target = isCube() ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
    while (glGetError() != GL_NO_ERROR) {
    }
    GLuint id = 0;
    glCreateTextures(target, 1, &id);
    glTextureStorage2D(id, levels, internalFormat, m_width, m_height);
    if (format.swizzled) glTextureParameteriv(id, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
    if (glGetError() != GL_NO_ERROR) {
        context.deleteObject(GLObjectType::Texture, id);
        return false;
    }
    m_texture->adopt(context, id, target, levels);
    return true;
}

void GLRenderTexture::release() {
    m_texture->release();
    m_depthBuffer.reset();
    m_created = false;
}

void GLRenderTexture::setFace(int32_t face) {
    m_face = isCube() ? std::clamp(face, 0, 5) : 0;
}

bool GLRenderTexture::bind() {
    if (!m_drawFramebuffer || !m_context.live()) return false;
    GLDrawFramebuffer& framebuffer = *m_drawFramebuffer;
    if (depthOnly()) {
        framebuffer.attachDepthTexture(m_texture->id());
    } else {
        if (m_texture->id() != 0)
            framebuffer.attachColour(m_mrtIndex, m_texture->id(), isCube() ? m_face : -1);
        if (m_depthBuffer)
            framebuffer.attachDepthRenderbuffer(m_depthBuffer->id(), m_depthBuffer->hasStencil());
        else
            framebuffer.detachDepth();
    }
    framebuffer.bind();
    if (m_autoGenMips) m_texture->setMipsStale(true);
    // Binding the first target sets the viewport to its whole surface.
    if (m_mrtIndex == 0) glViewport(0, 0, m_width, m_height);
    return true;
}

bool GLRenderTexture::unbind() {
    if (!m_drawFramebuffer || !m_context.live()) return false;
    if (m_autoGenMips) m_texture->refreshMips();
    if (!depthOnly() && m_texture->id() != 0) m_drawFramebuffer->detachColour(m_mrtIndex);
    if (depthOnly() || m_depthBuffer) m_drawFramebuffer->detachDepth();
    return true;
}

} // namespace Vrenn
