#include "demo/LightmapRefresh.h"

#include <cstring>

namespace Vrenn {

namespace {
bool sameBits(const void* a, const void* b, size_t size) {
    return std::memcmp(a, b, size) == 0;
}
} // namespace

bool LightmapRefresh::due(const Light& light) const {
    if (!m_held) return true;
    return !sameBits(&light.skyAngle, &m_last.skyAngle, sizeof(float)) ||
           !sameBits(&light.blend, &m_last.blend, sizeof(float)) ||
           !sameBits(&light.maxSceneLum, &m_last.maxSceneLum, sizeof(float)) ||
           !sameBits(light.probes.data(), m_last.probes.data(), sizeof(light.probes));
}

void LightmapRefresh::drawn(const Light& light) {
    m_last = light;
    m_held = true;
    ++m_draws;
}

} // namespace Vrenn
