#pragma once

#include "render/RenderTarget.h"
#include "render/gl/GLContext.h"

#include <epoxy/gl.h>
#include <memory>

namespace Vrenn {

class GLDrawFramebuffer;
class GLRenderbuffer;
struct GLFormat;
class GLTexture;

// An off-screen target: a 2D or cube texture that later passes sample, with its own
// depth buffer, the back buffer's (shared), or none. Depth formats make a depth
// texture and no colour.
class GLRenderTexture : public RenderTarget {
public:
    // type: RENDER_TEXTURE_2D or anything else for a cube; format: ImageFormat code.
    GLRenderTexture(GLContext& context, std::string name, int32_t type, int32_t width,
                    int32_t height, int32_t format, uint32_t mrtIndex, bool autoGenMips,
                    std::shared_ptr<GLDrawFramebuffer> drawFramebuffer);
    ~GLRenderTexture() override;

    bool create(int32_t colourBits, int32_t depthBits, int32_t stencilBits, int32_t fsaaLevel,
                bool fullScreen) override;
    void release() override;
    bool bind() override;
    bool unbind() override;
    // Cube face 0 to 5 (+x, -x, +y, -y, +z, -z) for the next bind; 2D targets have
    // only face 0.
    void setFace(int32_t face) override;

    // Gives the target a depth buffer before create(): the back buffer's, when sizes
    // and settings match.
    void shareDepth(std::shared_ptr<GLRenderbuffer> depth) { m_depthBuffer = std::move(depth); }

    const std::shared_ptr<GLTexture>& texture() const { return m_texture; }
    const std::shared_ptr<GLRenderbuffer>& depthBuffer() const { return m_depthBuffer; }
    bool isCube() const;
    bool depthOnly() const;
    int32_t format() const;
    int32_t face() const { return m_face; }
    uint32_t mrtIndex() const { return m_mrtIndex; }
    bool autoGenMips() const { return m_autoGenMips; }

private:
    bool createDepth(GLContext& context);
    bool createTexture(GLContext& context, GLenum internalFormat, const GLFormat& format);

    GLContextHandle m_context;
    std::shared_ptr<GLTexture> m_texture;
    std::shared_ptr<GLRenderbuffer> m_depthBuffer;
    std::shared_ptr<GLDrawFramebuffer> m_drawFramebuffer;
    int32_t m_face = 0;
    uint32_t m_mrtIndex;
    bool m_autoGenMips;
    bool m_created = false;
};

} // namespace Vrenn
