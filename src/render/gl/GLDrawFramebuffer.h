#pragma once

#include "render/gl/GLContext.h"

#include <array>
#include <cstdint>
#include <epoxy/gl.h>

namespace Vrenn {

// The framebuffer that render textures are bound into: each render texture attaches
// its colour at its own index (several at once for multiple render targets) and its
// depth, as a device keeps one render target per index and one depth surface.
// Attaching what is already attached issues no GL call.
class GLDrawFramebuffer {
public:
    static constexpr uint32_t kMaxColour = 8;

    explicit GLDrawFramebuffer(GLContext& context);
    ~GLDrawFramebuffer();
    GLDrawFramebuffer(const GLDrawFramebuffer&) = delete;
    GLDrawFramebuffer& operator=(const GLDrawFramebuffer&) = delete;

    bool valid() const { return m_id != 0; }
    GLuint id() const { return m_id; }

    // layer: the cube face, or -1 for level 0 of a 2D texture.
    void attachColour(uint32_t index, GLuint texture, int32_t layer);
    void detachColour(uint32_t index);
    void attachDepthRenderbuffer(GLuint renderbuffer, bool withStencil);
    void attachDepthTexture(GLuint texture);
    void detachDepth();
    // Detaches a texture or renderbuffer about to be deleted from every point it is
    // attached at: GL would keep the deleted object attached while giving its name to
    // a new one, which this framebuffer would then take as attached already.
    void detach(GLObjectType type, GLuint object);
    // Makes it the bound framebuffer, drawing into every attached colour index.
    void bind();

    GLuint colourAttachment(uint32_t index) const {
        return index < kMaxColour ? m_colour[index].texture : 0;
    }

private:
    struct ColourSlot {
        GLuint texture = 0;
        int32_t layer = -1;
    };
    struct DepthSlot {
        GLuint object = 0;
        bool texture = false;
        bool stencil = false;
        bool operator==(const DepthSlot&) const = default;
    };
    void setDepth(const DepthSlot& depth);

    GLuint m_id = 0;
    GLContextHandle m_context;
    std::array<ColourSlot, kMaxColour> m_colour{};
    DepthSlot m_depth;
    bool m_drawBuffersDirty = true;
};

} // namespace Vrenn
