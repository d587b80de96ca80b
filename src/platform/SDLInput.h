#pragma once

#include "platform/Input.h"
#include "platform/SDLKeyboard.h"
#include "platform/SDLMouse.h"

#include <memory>

namespace Vrenn {

// Keyboard and mouse through SDL. Initialize after the window exists; the devices
// follow SDL's events from then on and report them at each update().
class SDLInput : public Input {
public:
    SDLInput() = default;
    ~SDLInput() override;

    bool Initialize() override;
    void ShutDown() override;

    bool isKeyDown(uint32_t key) const override;
    bool isKeyPressed(uint32_t key) const override;
    int32_t mouseDeltaX() const override;
    int32_t mouseDeltaY() const override;
    int32_t mouseDeltaZ() const override;
    bool isLeftButtonDown() const override;
    bool isRightButtonDown() const override;
    bool isMiddleButtonDown() const override;
    bool isLeftButtonPressed() const override;
    bool isRightButtonPressed() const override;
    bool isMiddleButtonPressed() const override;

    const std::shared_ptr<SDLKeyboard>& keyboard() const { return m_keyboard; }
    const std::shared_ptr<SDLMouse>& mouse() const { return m_mouse; }

private:
    std::shared_ptr<SDLKeyboard> m_keyboard;
    std::shared_ptr<SDLMouse> m_mouse;
    bool m_eventsHeld = false;
};

} // namespace Vrenn
