#pragma once

#include "platform/Window.h"

#include <cstdint>
#include <string>

struct SDL_Window;

namespace Vrenn {

// The window on SDL2. It is created for OpenGL; the renderer's primary target makes
// the GL context on it. Without a display it lives on SDL's offscreen driver, where
// nothing is shown but rendering and read-back work the same.
class SDLWindow : public Window {
public:
    SDLWindow(std::string name, std::string caption);
    ~SDLWindow() override;

    bool create(bool fullScreen, int32_t mode, int32_t colourBits, int32_t depthBits,
                int32_t stencilBits, int32_t fsaaLevel) override;
    void destroy() override;
    bool createWindow() override;
    void resize(int32_t width, int32_t height) override;
    void setPosition(int32_t x, int32_t y) override;
    void Run(const std::function<bool()>& callback) override;

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
    bool m_videoHeld = false;
    bool m_hidden = false;
    bool m_positionSet = false;
};

} // namespace Vrenn
