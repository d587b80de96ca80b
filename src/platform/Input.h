#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

// One polled input device (keyboard, mouse). update() takes the state that
// accumulated since the previous update.
class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual void update() = 0;
    virtual bool acquire() = 0;
    virtual void unacquire() = 0;

protected:
    InputDevice() = default;
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;
};

// Polled keyboard and mouse state. The application calls update() once per frame;
// the queries then describe that frame. A key or button "pressed" went down in the
// last update: it is down now and was not down before it.
class Input {
public:
    virtual ~Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    virtual bool Initialize() = 0;
    // Updates every device, in the order they were found.
    virtual void update();
    virtual void ShutDown() = 0;

    // Keys are the KeyCode values (0 to 255); other values read as up.
    virtual bool isKeyDown(uint32_t key) const = 0;
    virtual bool isKeyPressed(uint32_t key) const = 0;
    // Movement since the previous update; z is the wheel.
    virtual int32_t mouseDeltaX() const = 0;
    virtual int32_t mouseDeltaY() const = 0;
    virtual int32_t mouseDeltaZ() const = 0;
    virtual bool isLeftButtonDown() const = 0;
    virtual bool isRightButtonDown() const = 0;
    virtual bool isMiddleButtonDown() const = 0;
    virtual bool isLeftButtonPressed() const = 0;
    virtual bool isRightButtonPressed() const = 0;
    virtual bool isMiddleButtonPressed() const = 0;

    const std::vector<std::shared_ptr<InputDevice>>& devices() const { return m_devices; }

protected:
    Input() = default;
    std::vector<std::shared_ptr<InputDevice>> m_devices;
};

} // namespace Vrenn
