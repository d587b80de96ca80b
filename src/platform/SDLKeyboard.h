#pragma once

#include "platform/Input.h"

#include <array>
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

    bool isDown(uint32_t key) const { return key < 256 && m_keys[key].current; }
    bool wasPressed(uint32_t key) const {
        return key < 256 && m_keys[key].current && !m_keys[key].previous;
    }

    void handleEvent(const SDL_Event& event);

private:
    struct KeyState {
        uint8_t current = 0;
        uint8_t previous = 0;
    };
    void clearAll();

    std::array<KeyState, 256> m_keys{};
    std::array<bool, 256> m_held{};     // down according to the events so far
    std::array<bool, 256> m_wentDown{}; // went down since the last update
    bool m_focused = true;
    bool m_acquired = false;
};

} // namespace Vrenn
