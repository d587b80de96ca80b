#include "platform/SDLInput.h"

#include "core/Log.h"
#include "platform/SDLVideo.h"

#include <SDL.h>

namespace Vrenn {

SDLInput::~SDLInput() {
    if (m_eventsHeld || !m_devices.empty()) ShutDown();
}

bool SDLInput::Initialize() {
    logMessage("SDLInput::Initialize\n");
    if (!m_eventsHeld) {
        leaveSignalsToTheProgram();
        if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
            logMessage("Unable to initialize SDL input\n");
            logFormat("SDL: %s\n", sdlError().c_str());
            return false;
        }
        m_eventsHeld = true;
    }
    m_devices.clear();
    m_keyboard = std::make_shared<SDLKeyboard>();
    m_mouse = std::make_shared<SDLMouse>();
    for (const std::shared_ptr<InputDevice>& device :
         {std::static_pointer_cast<InputDevice>(m_mouse),
          std::static_pointer_cast<InputDevice>(m_keyboard)}) {
        device->unacquire();
        m_devices.push_back(device);
    }
    logMessage("SDL input successfully Initialized\n");
    return true;
}

void SDLInput::ShutDown() {
    m_keyboard.reset();
    m_mouse.reset();
    m_devices.clear();
    if (m_eventsHeld) {
        SDL_QuitSubSystem(SDL_INIT_EVENTS);
        if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
        m_eventsHeld = false;
    }
    logMessage("SDLInput::ShutDown\n");
}

bool SDLInput::isKeyDown(uint32_t key) const {
    return m_keyboard && m_keyboard->isDown(key);
}

bool SDLInput::isKeyPressed(uint32_t key) const {
    return m_keyboard && m_keyboard->wasPressed(key);
}

int32_t SDLInput::mouseDeltaX() const {
    return m_mouse ? m_mouse->deltaX() : 0;
}

int32_t SDLInput::mouseDeltaY() const {
    return m_mouse ? m_mouse->deltaY() : 0;
}

int32_t SDLInput::mouseDeltaZ() const {
    return m_mouse ? m_mouse->deltaZ() : 0;
}

bool SDLInput::isLeftButtonDown() const {
    return m_mouse && m_mouse->isDown(0);
}

bool SDLInput::isRightButtonDown() const {
    return m_mouse && m_mouse->isDown(1);
}

bool SDLInput::isMiddleButtonDown() const {
    return m_mouse && m_mouse->isDown(2);
}

bool SDLInput::isLeftButtonPressed() const {
    return m_mouse && m_mouse->wasPressed(0);
}

bool SDLInput::isRightButtonPressed() const {
    return m_mouse && m_mouse->wasPressed(1);
}

bool SDLInput::isMiddleButtonPressed() const {
    return m_mouse && m_mouse->wasPressed(2);
}

} // namespace Vrenn
