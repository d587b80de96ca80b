#include "platform/Window.h"

#include <algorithm>

namespace Vrenn {

namespace {
constexpr DisplayModeSize kDisplayModes[] = {
    {320, 200}, {400, 300}, {640, 480}, {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200},
};
} // namespace

DisplayModeSize displayModeSize(int32_t mode) {
    const int32_t index = std::clamp(mode, 1, 7) - 1;
    return kDisplayModes[index];
}

Window::Window(std::string name) : m_name(std::move(name)) {}

Window::~Window() = default;

void Window::setPosition(int32_t x, int32_t y) {
    m_x = x;
    m_y = y;
}

} // namespace Vrenn
