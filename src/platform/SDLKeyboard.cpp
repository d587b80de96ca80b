#include "platform/SDLKeyboard.h"

#include "platform/SDLKeyTable.h"

#include <SDL.h>

namespace Vrenn {

namespace {
int keyboardWatch(void* userdata, SDL_Event* event) {
    static_cast<SDLKeyboard*>(userdata)->handleEvent(*event);
    return 0;
}
} // namespace

SDLKeyboard::SDLKeyboard() {
    SDL_AddEventWatch(keyboardWatch, this);
}

SDLKeyboard::~SDLKeyboard() {
    unacquire();
    SDL_DelEventWatch(keyboardWatch, this);
}

void SDLKeyboard::handleEvent(const SDL_Event& event) {
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const uint8_t key = keyCodeFromScancode(event.key.keysym.scancode);
        if (key == 0 || !m_focused) return;
        const bool down = event.type == SDL_KEYDOWN;
        m_held[key] = down;
        if (down) m_wentDown[key] = true;
        break;
    }
    case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
            m_focused = false;
            clearAll();
        } else if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
            m_focused = true;
        }
        break;
    default:
        break;
    }
}

void SDLKeyboard::update() {
    if (!m_focused) {
        clearAll();
        return;
    }
    if (!m_acquired) acquire();
    for (size_t i = 0; i < m_keys.size(); ++i) {
        m_keys[i].previous = m_keys[i].current;
        m_keys[i].current = (m_held[i] || m_wentDown[i]) ? 1 : 0;
        m_wentDown[i] = false;
    }
}

bool SDLKeyboard::acquire() {
    m_acquired = m_focused;
    return m_acquired;
}

void SDLKeyboard::unacquire() {
    m_acquired = false;
}

void SDLKeyboard::clearAll() {
    m_keys.fill(KeyState{});
    m_held.fill(false);
    m_wentDown.fill(false);
}

} // namespace Vrenn
