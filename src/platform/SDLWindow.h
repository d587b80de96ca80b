#pragma once

#include "platform/RenderSurface.h"
#include "platform/Window.h"

#include <cstdint>
#include <string>

struct SDL_Window;

namespace Vrenn {

// The window on SDL2. It is created for OpenGL and is the surface the renderer makes
// its GL context on; the window owns that context and destroys it before closing.
// Without a display it lives on SDL's offscreen driver, where nothing is shown but
// rendering and read-back work the same.
class SDLWindow : public Window, public RenderSurface {
public:
    SDLWindow(std::string name, std::string caption);
    ~SDLWindow() override;

    bool create(bool fullScreen, int32_t mode, int32_t colourBits, int32_t depthBits,
                int32_t stencilBits, int32_t fsaaLevel) override;
    void destroy() override;
    bool createWindow() override;
    void resize(int32_t width, int32_t height) override;
    void setPosition(int32_t x, int32_t y) override;
    bool setFullScreen(bool on) override;
    void Run(const std::function<bool()>& callback) override;
    RenderSurface* surface() override { return this; }

    bool createGLContext(int32_t major, int32_t minor, std::string& why) override;
    void destroyGLContext() override;
    uint64_t glContextId() const override { return m_context ? m_contextId : 0; }
    bool makeCurrent() override;
    void swap() override;
    SurfaceSize drawableSize() const override;

    // Keeps the window off screen even with a display (tools and tests). Set before
    // create().
    void setHidden(bool hidden) { m_hidden = hidden; }

    const std::string& caption() const { return m_caption; }
    SDL_Window* handle() const { return m_window; }
    uint32_t windowId() const;
    bool offscreen() const;

private:
    std::string m_caption;
    SDL_Window* m_window = nullptr;
    void* m_context = nullptr; // the SDL_GLContext made on the window
    uint64_t m_contextId = 0;
    bool m_videoHeld = false;
    bool m_hidden = false;
    bool m_positionSet = false;
};

} // namespace Vrenn
