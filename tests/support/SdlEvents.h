#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

namespace Vrenn::Test {

// Events injected into SDL's queue, as the window system would send them. Event watchers
// (the keyboard's and mouse's) see them at once.
inline void pushEvent(SDL_Event event) {
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

inline void pushKey(SDL_Scancode scancode, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.scancode = scancode;
    pushEvent(event);
}

} // namespace Vrenn::Test
