#include "core/Timer.h"

#include <chrono>

namespace Vrenn {

namespace {
// Captured during static initialisation, which is as close to process start as
// portable code gets.
const auto g_processStart = std::chrono::steady_clock::now();
} // namespace

float Timer::now() {
    const auto elapsed = std::chrono::steady_clock::now() - g_processStart;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    return static_cast<float>(static_cast<double>(ms) * 0.001);
}

void Timer::Reset() {
    m_start = m_current = m_previous = now();
}

void Timer::Tick() {
    m_previous = m_current;
    m_current = m_fixedStep > 0.0f ? m_current + m_fixedStep : now();
}

} // namespace Vrenn
