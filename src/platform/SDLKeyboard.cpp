#include "platform/SDLKeyboard.h"

#include "platform/SDLFocus.h"
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
    if (focusLost(event, m_focused)) {
        m_keys.clear();
        return;
    }
    if (event.type != SDL_KEYDOWN && event.type != SDL_KEYUP) return;
    const uint8_t key = keyCodeFromScancode(event.key.keysym.scancode);
    if (key != 0 && m_focused) m_keys.record(key, event.type == SDL_KEYDOWN);
}

void SDLKeyboard::update() {
    if (!m_focused) {
        m_keys.clear();
        return;
    }
    if (!m_acquired) acquire();
    m_keys.latch();
}

bool SDLKeyboard::acquire() {
    m_acquired = m_focused;
    return m_acquired;
}

void SDLKeyboard::unacquire() {
    m_acquired = false;
}

} // namespace Vrenn
