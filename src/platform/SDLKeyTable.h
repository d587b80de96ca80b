#pragma once

#include <cstdint>

namespace Vrenn {

// The key code (KeyCode) of an SDL scan code; 0 for keys without one.
uint8_t keyCodeFromScancode(int32_t scancode);

} // namespace Vrenn
