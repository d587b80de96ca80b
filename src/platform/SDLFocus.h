#pragma once

#include <SDL.h>

namespace Vrenn {

// Follows the window's keyboard focus through its events. Returns true when the
// event took the focus away (input devices then drop their state).
inline bool focusLost(const SDL_Event& event, bool& focused) {
    if (event.type != SDL_WINDOWEVENT) return false;
    if (event.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) focused = true;
    if (event.window.event != SDL_WINDOWEVENT_FOCUS_LOST) return false;
    focused = false;
    return true;
}

} // namespace Vrenn
