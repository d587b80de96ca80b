#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace Vrenn {

class RenderSurface;

// Client size of a display mode of the "r_mode" setting. Modes below 1 count as 1,
// above 7 as 7.
struct DisplayModeSize {
    int32_t width;
    int32_t height;
};
DisplayModeSize displayModeSize(int32_t mode);

// The program's one top-level window. It carries the display settings from which
// the renderer creates its device and back buffer, offers the surface the renderer
// draws on, and runs the main loop.
class Window {
public:
    explicit Window(std::string name);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    // Takes the mode's size and the given settings and opens the window.
    virtual bool create(bool fullScreen, int32_t mode, int32_t colourBits, int32_t depthBits,
                        int32_t stencilBits, int32_t fsaaLevel) = 0;
    // Destroys the GL context made on the window, if any, then closes the window.
    virtual void destroy() = 0;
    virtual bool createWindow() = 0;
    // Records the window's new client size: with both 0 its current drawable size,
    // otherwise the given one. Whoever draws into the window reads it from width()
    // and height() (the renderer takes it through Renderer::resize).
    virtual void resize(int32_t width, int32_t height) = 0;
    // Switches between full screen (the whole display, at the desktop's mode) and a
    // window; false, logged, when the window system refuses. The drawable size changes
    // with it, and whoever draws follows it as it follows any resize.
    virtual bool setFullScreen(bool /*on*/) { return false; }
    // Position used when the window is created.
    virtual void setPosition(int32_t x, int32_t y);
    // The main loop: handles every pending event, leaves on a quit request or a stop
    // asked for by a signal (core/StopRequest.h), otherwise calls the callback and
    // leaves when it returns false.
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

    // The surface the renderer draws on; none for a window that cannot carry GL.
    virtual RenderSurface* surface() { return nullptr; }

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
};

} // namespace Vrenn
