#pragma once

#include "platform/ButtonLatch.h"
#include "platform/Input.h"

#include <cstdint>

union SDL_Event;

namespace Vrenn {

// The mouse in relative mode (the cursor is captured while the window has focus):
// deltas are the motion accumulated between two updates, z is the wheel in steps
// of 120 per notch, positive away from the user. Buttons 0 to 3 are left, right,
// middle and the first extra button. Out of focus: no movement and no buttons.
class SDLMouse : public InputDevice {
public:
    static constexpr int32_t kWheelStep = 120;

    SDLMouse();
    ~SDLMouse() override;

    void update() override;
    bool acquire() override;
    void unacquire() override;

    int32_t deltaX() const { return m_deltaX; }
    int32_t deltaY() const { return m_deltaY; }
    int32_t deltaZ() const { return m_deltaZ; }
    bool isDown(uint32_t button) const { return m_buttons.isDown(button); }
    bool wasPressed(uint32_t button) const { return m_buttons.wasPressed(button); }

    void handleEvent(const SDL_Event& event);

private:
    void clearAll();

    int32_t m_deltaX = 0;
    int32_t m_deltaY = 0;
    int32_t m_deltaZ = 0;
    ButtonLatch<4> m_buttons;
    // Accumulated from the events since the last update.
    int64_t m_moveX = 0;
    int64_t m_moveY = 0;
    int64_t m_moveZ = 0;
    bool m_focused = true;
    bool m_acquired = false;
};

} // namespace Vrenn
