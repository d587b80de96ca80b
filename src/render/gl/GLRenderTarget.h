#pragma once

#include "render/RenderTarget.h"
#include "render/gl/GLContext.h"

#include <epoxy/gl.h>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class GLRenderbuffer;

// The primary target: the back buffer, an off-screen framebuffer in the renderer's
// context (RGBA8; depth 16, or 24 with 8 stencil, by the depth setting; multisampled
// by the FSAA setting). Its rows run top first like every other target; present()
// puts it on the context's surface the right way up.
class GLRenderTarget : public RenderTarget {
public:
    // width, height: the window's client size, which the back buffer takes.
    GLRenderTarget(std::string name, GLContext& context, int32_t width, int32_t height);
    ~GLRenderTarget() override;

    // Makes the back buffer and logs the device line; false (with one line saying
    // why) when the buffers are refused.
    bool create(int32_t colourBits, int32_t depthBits, int32_t stencilBits, int32_t fsaaLevel,
                bool fullScreen) override;
    // Makes the back buffer anew at the given size, keeping its formats and sampling;
    // false (logged) when the buffers are refused. Render textures that shared the old
    // depth buffer keep it; targets of the new size share the new one.
    bool resizeBuffers(int32_t width, int32_t height);
    // Drops the back buffer (without GL calls once the context is gone).
    void release() override;
    bool bind() override;
    // Binds the back buffer as bind() does: with no target bound, drawing goes there.
    bool unbind() override;

    // Resolves the back buffer onto the surface and swaps.
    void present();
    // Copies the back buffer into the surface's framebuffer, flipped to its bottom-up
    // rows and scaled to its drawable size.
    void resolveToWindow();
    // The back buffer as RGBA bytes, top row first (resolved when multisampled), of
    // surfaceWidth() x surfaceHeight() pixels.
    bool readPixels(std::vector<uint8_t>& rgba);
    // The size the back buffer was made with (setSize does not change it;
    // resizeBuffers does).
    int32_t surfaceWidth() const { return m_surfaceWidth; }
    int32_t surfaceHeight() const { return m_surfaceHeight; }

    int32_t samples() const { return m_samples; }
    GLuint framebuffer() const { return m_framebuffer; }
    const std::shared_ptr<GLRenderbuffer>& depthBuffer() const { return m_depth; }

private:
    // Empty when made; otherwise why the buffers were refused.
    std::string createBackBuffer(GLContext& context);
    GLuint resolvedFramebuffer();

    GLContextHandle m_context;
    int32_t m_samples = 0;
    int32_t m_surfaceWidth = 0;
    int32_t m_surfaceHeight = 0;
    GLuint m_framebuffer = 0;
    GLuint m_resolveFramebuffer = 0;
    std::shared_ptr<GLRenderbuffer> m_colour;
    std::shared_ptr<GLRenderbuffer> m_resolveColour;
    std::shared_ptr<GLRenderbuffer> m_depth;
};

} // namespace Vrenn
