#include "platform/SDLMouse.h"

#include "platform/SDLFocus.h"

#include <SDL.h>
#include <algorithm>
#include <limits>

namespace Vrenn {

namespace {
int mouseWatch(void* userdata, SDL_Event* event) {
    static_cast<SDLMouse*>(userdata)->handleEvent(*event);
    return 0;
}

// Button slot of an SDL button: 0 left, 1 right, 2 middle, 3 first extra; -1 none.
int buttonSlot(uint8_t sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return 0;
    case SDL_BUTTON_RIGHT:
        return 1;
    case SDL_BUTTON_MIDDLE:
        return 2;
    case SDL_BUTTON_X1:
        return 3;
    default:
        return -1;
    }
}

int32_t saturate(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
} // namespace

SDLMouse::SDLMouse() {
    SDL_AddEventWatch(mouseWatch, this);
}

SDLMouse::~SDLMouse() {
    unacquire();
    SDL_DelEventWatch(mouseWatch, this);
}

void SDLMouse::handleEvent(const SDL_Event& event) {
    if (focusLost(event, m_focused)) {
        clearAll();
        return;
    }
    switch (event.type) {
    case SDL_MOUSEMOTION:
        if (!m_focused) return;
        m_moveX += event.motion.xrel;
        m_moveY += event.motion.yrel;
        break;
    case SDL_MOUSEWHEEL: {
        if (!m_focused) return;
        const int64_t notches =
            event.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -event.wheel.y : event.wheel.y;
        m_moveZ += notches * kWheelStep;
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const int slot = buttonSlot(event.button.button);
        if (slot < 0 || !m_focused) return;
        m_buttons.record(static_cast<size_t>(slot), event.type == SDL_MOUSEBUTTONDOWN);
        break;
    }
    default:
        break;
    }
}

void SDLMouse::update() {
    if (!m_focused) {
        clearAll();
        return;
    }
    if (!m_acquired) acquire();
    m_deltaX = saturate(m_moveX);
    m_deltaY = saturate(m_moveY);
    m_deltaZ = saturate(m_moveZ);
    m_moveX = m_moveY = m_moveZ = 0;
    m_buttons.latch();
}

bool SDLMouse::acquire() {
    if (!m_focused) return false;
    // Relative mode hides and captures the cursor; drivers without it (offscreen)
    // still deliver motion events, so a refusal is not a failure.
    if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetKeyboardFocus()) SDL_SetRelativeMouseMode(SDL_TRUE);
    m_acquired = true;
    return true;
}

void SDLMouse::unacquire() {
    if (m_acquired && SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetRelativeMouseMode(SDL_FALSE);
    m_acquired = false;
}

void SDLMouse::clearAll() {
    m_deltaX = m_deltaY = m_deltaZ = 0;
    m_moveX = m_moveY = m_moveZ = 0;
    m_buttons.clear();
}

} // namespace Vrenn
