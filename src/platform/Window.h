#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Vrenn {

class RenderTarget;

// Client size of a display mode of the "r_mode" setting. Modes below 1 count as 1,
// above 7 as 7.
struct DisplayModeSize {
    int32_t width;
    int32_t height;
};
DisplayModeSize displayModeSize(int32_t mode);

// The program's one top-level window. It carries the display settings from which
// the renderer creates its device and back buffer, and runs the main loop.
class Window {
public:
    explicit Window(std::string name);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Takes the mode's size and the given settings and opens the window.
    virtual bool create(bool fullScreen, int32_t mode, int32_t colourBits, int32_t depthBits,
                        int32_t stencilBits, int32_t fsaaLevel) = 0;
    // Releases the render target and closes the window.
    virtual void destroy() = 0;
    virtual bool createWindow() = 0;
    // With both 0, takes the window's current client size; otherwise the given one.
    // Either way the size is passed on to the render target.
    virtual void resize(int32_t width, int32_t height) = 0;
    // Position used when the window is created.
    virtual void setPosition(int32_t x, int32_t y);
    // The main loop: handles every pending event, leaves on a quit request, otherwise
    // calls the callback and leaves when it returns false.
    virtual void Run(const std::function<bool()>& callback) = 0;

    const std::string& name() const { return m_name; }
    bool fullScreen() const { return m_fullScreen; }
    int32_t x() const { return m_x; }
    int32_t y() const { return m_y; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    int32_t colourBits() const { return m_colourBits; }
    int32_t depthBits() const { return m_depthBits; }
    int32_t stencilBits() const { return m_stencilBits; }
    int32_t fsaaLevel() const { return m_fsaaLevel; }
    int32_t refreshRate() const { return m_refreshRate; }

    const std::shared_ptr<RenderTarget>& renderTarget() const { return m_renderTarget; }
    void setRenderTarget(std::shared_ptr<RenderTarget> target) {
        m_renderTarget = std::move(target);
    }

protected:
    std::string m_name;
    bool m_fullScreen = false;
    int32_t m_x = 0;
    int32_t m_y = 0;
    int32_t m_width = 640;
    int32_t m_height = 480;
    int32_t m_colourBits = 32;
    int32_t m_depthBits = 24;
    int32_t m_stencilBits = 0;
    int32_t m_fsaaLevel = 0;
    int32_t m_refreshRate = 60;
    std::shared_ptr<RenderTarget> m_renderTarget;
};

} // namespace Vrenn
