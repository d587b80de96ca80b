#pragma once

#include "render/Renderer.h"

#include <epoxy/gl.h>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class GLContext;
class GLRenderTarget;

// What the context reports about itself, read once the device exists.
struct GLCaps {
    std::string vendor;
    std::string renderer;
    std::string version;
    int32_t maxTextureSize = 0;
    int32_t maxCubeMapSize = 0;
    int32_t max3DTextureSize = 0;
    int32_t maxSamples = 0;
    int32_t maxDrawBuffers = 0;
    int32_t maxColourAttachments = 0;
};

// The renderer on OpenGL 4.5 core. It makes its GL context on the window's surface,
// owns it, and hands it to its managers; ShutDown releases the managers while the
// context lives, then destroys it.
class GLRenderer : public Renderer {
public:
    GLRenderer();
    ~GLRenderer() override;

    bool Initialize(const std::shared_ptr<Window>& window) override;
    void ShutDown() override;
    void beginFrame() override;
    void endFrame() override;
    // Makes the back buffer anew at the new size (when it differs) and binds it when it
    // was bound, so that drawing goes on into the new buffers.
    void resize(int32_t width, int32_t height) override;
    void clear(bool colour, bool depth, bool stencil) override;
    void enableScissor(bool on) override;
    void setScissorRect(int32_t x, int32_t y, int32_t width, int32_t height) override;
    bool takeScreenShot() override;

    const GLCaps& caps() const { return m_caps; }
    // The label of the device creation line, e.g. "(GL 4.5 core)".
    std::string deviceLabel() const;
    std::shared_ptr<GLRenderTarget> glPrimaryTarget() const;
    // The back buffer as RGBA bytes, top row first.
    bool readBackBuffer(std::vector<uint8_t>& rgba) const;
    // The GL context from Initialize to ShutDown; null otherwise.
    GLContext* context() const { return m_context.get(); }

protected:
    void applyViewport(const Viewport& viewport) override;

private:
    std::shared_ptr<Window> m_window;
    std::shared_ptr<GLContext> m_context;
    GLCaps m_caps;
};

} // namespace Vrenn
