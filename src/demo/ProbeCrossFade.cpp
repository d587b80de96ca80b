#include "demo/ProbeCrossFade.h"

namespace Vrenn {

void ProbeCrossFade::press() {
    if (m_direction != 0) return;
    m_target = (m_target + 1) % 2;
    // The first step off an end marks the fade as running even before any time passes.
    if (m_blend == 0.0f) {
        m_direction = 1;
        m_blend += 0.001f;
    }
    if (m_blend == 1.0f) {
        m_direction = -1;
        m_blend -= 0.001f;
    }
}

void ProbeCrossFade::advance(float dt) {
    if (m_direction != 0) {
        m_blend += dt * kSpeed * float(m_direction);
        if (m_blend > 1.0f) m_blend = 1.0f;
        if (m_blend < 0.0f) m_blend = 0.0f;
    }
    if (m_blend == 0.0f || m_blend == 1.0f) m_direction = 0;
}

} // namespace Vrenn
