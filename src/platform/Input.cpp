#include "platform/Input.h"

namespace Vrenn {

void Input::update() {
    for (const auto& device : m_devices)
        device->update();
}

} // namespace Vrenn
