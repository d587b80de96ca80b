#include "geometry/OcclusionCaster.h"

#include "geometry/PolyPack.h"

namespace Vrenn {

OcclusionCaster::OcclusionCaster(const PolyPack& pack) : m_pack(pack) {}

OcclusionCaster::~OcclusionCaster() = default;

void OcclusionCaster::cast(const Vec3& start, const std::array<float, 3>* offsets, size_t count,
                           uint8_t* blocked) {
    Vec3 hit;
    int32_t polygon = -1;
    for (size_t i = 0; i < count; ++i) {
        const Vec3 end = start + Vec3{offsets[i][0], offsets[i][1], offsets[i][2]};
        blocked[i] = m_pack.rayTest(start, end, hit, polygon) ? 1 : 0;
    }
    m_rays += count;
}

} // namespace Vrenn
