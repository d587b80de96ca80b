#pragma once

#include "render/RenderTarget.h"

#include <epoxy/gl.h>
#include <memory>
#include <string>
#include <vector>

struct SDL_Window;

namespace Vrenn {

class GLRenderbuffer;
class GLStateCache;
class SDLWindow;

// The primary target. Creating it creates the device: the GL context on the window
// (4.6 core, else 4.5 core), the context's state cache, and the back buffer, an
// off-screen framebuffer (RGBA8; depth 16, or 24 with 8 stencil, by the depth
// setting; multisampled by the FSAA setting). Its rows run top first like every
// other target; present() puts it on the window the right way up.
class GLRenderTarget : public RenderTarget {
public:
    GLRenderTarget(std::string name, const std::shared_ptr<SDLWindow>& window);
    ~GLRenderTarget() override;

    bool create(int32_t colourBits, int32_t depthBits, int32_t stencilBits, int32_t fsaaLevel,
                bool fullScreen) override;
    // Drops the back buffer and the context; GL objects still held elsewhere are then
    // let go without GL calls.
    void release() override;
    bool bind() override;
    bool unbind() override;

    // Resolves the back buffer onto the window and swaps.
    void present();
    // Copies the back buffer into the window's framebuffer, flipped to the window's
    // bottom-up rows and scaled to its drawable size.
    void resolveToWindow();
    // The back buffer as RGBA bytes, top row first (resolved when multisampled), of
    // surfaceWidth() x surfaceHeight() pixels.
    bool readPixels(std::vector<uint8_t>& rgba);
    // The size the back buffer was made with (setSize does not change it).
    int32_t surfaceWidth() const { return m_surfaceWidth; }
    int32_t surfaceHeight() const { return m_surfaceHeight; }

    // The label of the context version that was made, e.g. "(GL 4.5 core)".
    const std::string& deviceLabel() const { return m_label; }
    // Why create() failed.
    const std::string& lastError() const { return m_lastError; }
    int32_t samples() const { return m_samples; }
    GLuint framebuffer() const { return m_framebuffer; }
    const std::shared_ptr<GLRenderbuffer>& depthBuffer() const { return m_depth; }
    bool hasContext() const { return m_context != nullptr; }

private:
    bool createContext();
    bool createBackBuffer();
    GLuint resolvedFramebuffer();

    std::weak_ptr<SDLWindow> m_window;
    SDL_Window* m_sdlWindow = nullptr;
    void* m_context = nullptr;
    std::unique_ptr<GLStateCache> m_stateCache;
    std::string m_label;
    std::string m_lastError;
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
