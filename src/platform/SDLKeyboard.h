#pragma once

#include "platform/ButtonLatch.h"
#include "platform/Input.h"

#include <cstdint>

union SDL_Event;

namespace Vrenn {

// The keyboard, fed by SDL's key events. Events are watched as SDL queues them, so
// the state does not depend on who drains the queue (the window's loop). A key that
// goes down and up again between two updates still reads as down for one update.
// While the window is out of focus every key reads as up.
class SDLKeyboard : public InputDevice {
public:
    SDLKeyboard();
    ~SDLKeyboard() override;

    void update() override;
    bool acquire() override;
    void unacquire() override;

    bool isDown(uint32_t key) const { return m_keys.isDown(key); }
    bool wasPressed(uint32_t key) const { return m_keys.wasPressed(key); }

    void handleEvent(const SDL_Event& event);

private:
    ButtonLatch<256> m_keys;
    bool m_focused = true;
    bool m_acquired = false;
};

} // namespace Vrenn
