#include "platform/SDLWindow.h"

#include "core/Log.h"
#include "core/StopRequest.h"
#include "platform/SDLVideo.h"

#include <SDL.h>

namespace Vrenn {

SDLWindow::SDLWindow(std::string name, std::string caption)
    : Window(std::move(name)), m_caption(std::move(caption)) {}

SDLWindow::~SDLWindow() {
    destroy();
}

bool SDLWindow::create(bool fullScreen, int32_t mode, int32_t colourBits, int32_t depthBits,
                       int32_t stencilBits, int32_t fsaaLevel) {
    m_fullScreen = fullScreen;
    const DisplayModeSize size = displayModeSize(mode);
    m_width = size.width;
    m_height = size.height;
    m_colourBits = colourBits;
    m_depthBits = depthBits;
    m_stencilBits = stencilBits;
    m_fsaaLevel = fsaaLevel;

    if (!m_videoHeld) {
        if (!acquireSDLVideo()) return false;
        m_videoHeld = true;
    }
    return createWindow();
}

bool SDLWindow::createWindow() {
    if (!m_videoHeld) return false;
    if (m_window) {
        destroyGLContext();
        SDL_DestroyWindow(m_window);
        m_window = nullptr;
    }
    // The window only receives the finished frame (the back buffer is an off-screen
    // framebuffer), so its own framebuffer needs colour alone.
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, 0);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);

    // Resizable: the renderer follows the drawable size frame by frame. On high-density
    // displays the drawable has more pixels than the window has points; drawing uses them.
    uint32_t flags = SDL_WINDOW_OPENGL | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI |
                     (m_hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN);
    int x = m_positionSet ? m_x : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    int y = m_positionSet ? m_y : static_cast<int>(SDL_WINDOWPOS_UNDEFINED);
    SDL_DisplayMode fullScreenMode{};
    if (m_fullScreen) {
        logFormat("Creating fullscreen window: %s\n", m_name.c_str());
        SDL_DisplayMode wanted{};
        wanted.w = m_width;
        wanted.h = m_height;
        if (!SDL_GetClosestDisplayMode(0, &wanted, &fullScreenMode) ||
            fullScreenMode.w != m_width || fullScreenMode.h != m_height) {
            logMessage("Does not support the video mode!\n");
            return false;
        }
        flags |= SDL_WINDOW_FULLSCREEN;
        x = y = 0;
    } else {
        logFormat("Creating windowed window: %s\n", m_name.c_str());
        SDL_DisplayMode desktop{};
        if (SDL_GetDesktopDisplayMode(0, &desktop) == 0)
            m_colourBits = static_cast<int32_t>(SDL_BITSPERPIXEL(desktop.format));
    }

    // The size is the client size: the back buffer maps onto it one to one.
    m_window = SDL_CreateWindow(m_caption.c_str(), x, y, m_width, m_height, flags);
    if (m_window && m_fullScreen && SDL_SetWindowDisplayMode(m_window, &fullScreenMode) != 0) {
        SDL_DestroyWindow(m_window);
        m_window = nullptr;
    }
    if (!m_window) {
        logMessage("Window Creation Error!\n");
        logFormat("SDL: %s\n", sdlError().c_str());
        return false;
    }
    pinLoadedModules();
    logMessage("Window Successfully Created!\n");
    return true;
}

void SDLWindow::destroy() {
    // The GL context must go before its window, even while the renderer still holds
    // it: the renderer sees it gone and lets go of its GL objects without GL calls.
    destroyGLContext();
    if (m_window) {
        SDL_DestroyWindow(m_window);
        m_window = nullptr;
    }
    if (m_videoHeld) {
        releaseSDLVideo();
        m_videoHeld = false;
    }
}

void SDLWindow::resize(int32_t width, int32_t height) {
    if (width == 0 && height == 0) {
        if (!m_window) return;
        const SurfaceSize drawable = drawableSize();
        width = drawable.width;
        height = drawable.height;
    }
    m_width = width;
    m_height = height;
}

bool SDLWindow::setFullScreen(bool on) {
    if (!m_window) return false;
    if (on == m_fullScreen) return true;
    // Full screen at the desktop's own mode: no mode switch, and the drawable takes the
    // whole display, whatever its size. Leaving it restores the window's earlier size.
    if (SDL_SetWindowFullscreen(m_window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) != 0) {
        logFormat("Could not switch %s to %s: %s\n", m_name.c_str(),
                  on ? "full screen" : "a window", sdlError().c_str());
        return false;
    }
    m_fullScreen = on;
    logFormat("%s is now %s\n", m_name.c_str(), on ? "full screen" : "windowed");
    return true;
}

void SDLWindow::setPosition(int32_t x, int32_t y) {
    Window::setPosition(x, y);
    m_positionSet = true;
}

void SDLWindow::Run(const std::function<bool()>& callback) {
    const uint32_t id = windowId();
    for (;;) {
        bool quit = false;
        SDL_Event event;
        while (SDL_PollEvent(&event)) {
            if (event.type == SDL_QUIT) quit = true;
            if (event.type == SDL_WINDOWEVENT && event.window.event == SDL_WINDOWEVENT_CLOSE &&
                event.window.windowID == id)
                quit = true;
        }
        // A quit request anywhere in the batch, or a stop asked for by a signal, ends
        // the loop before another frame.
        if (quit || stopRequested()) return;
        if (!callback()) return;
    }
}

uint32_t SDLWindow::windowId() const {
    return m_window ? SDL_GetWindowID(m_window) : 0;
}

bool SDLWindow::createGLContext(int32_t major, int32_t minor, std::string& why) {
    if (!m_window) {
        why = "the window was not created";
        return false;
    }
    destroyGLContext();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, major);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, minor);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, 0);
    SDL_GLContext context = SDL_GL_CreateContext(m_window);
    if (!context) {
        why = sdlError();
        return false;
    }
    if (SDL_GL_MakeCurrent(m_window, context) != 0) {
        why = sdlError();
        SDL_GL_DeleteContext(context);
        return false;
    }
    SDL_GL_SetSwapInterval(0);
    m_context = context;
    ++m_contextId;
    return true;
}

void SDLWindow::destroyGLContext() {
    if (!m_context) return;
    SDL_GL_MakeCurrent(m_window, nullptr);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(m_context));
    m_context = nullptr;
}

bool SDLWindow::makeCurrent() {
    if (!m_context) return false;
    return SDL_GL_GetCurrentContext() == m_context || SDL_GL_MakeCurrent(m_window, m_context) == 0;
}

void SDLWindow::swap() {
    if (m_window) SDL_GL_SwapWindow(m_window);
}

SurfaceSize SDLWindow::drawableSize() const {
    int width = 0;
    int height = 0;
    if (m_window) SDL_GL_GetDrawableSize(m_window, &width, &height);
    return {width, height};
}

bool SDLWindow::offscreen() const {
    return m_videoHeld && sdlVideoIsOffscreen();
}

} // namespace Vrenn
