#pragma once

#include "core/Vector3.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace Vrenn {

class PolyPack;

// Occlusion of many segments that share one start, as the bake casts them from a texel. Each
// segment gets exactly the answer PolyPack::rayTest gives for it; the caster only finds it
// faster. It reads the pack (which must outlive it and stay unchanged) and keeps scratch of
// its own, so a thread needs one caster of its own; casters of one pack may run at once.
class OcclusionCaster {
public:
    explicit OcclusionCaster(const PolyPack& pack);
    ~OcclusionCaster();
    OcclusionCaster(const OcclusionCaster&) = delete;
    OcclusionCaster& operator=(const OcclusionCaster&) = delete;

    // For i < count: blocked[i] = 1 when the segment from start to start + offsets[i] (each
    // end computed as start + offset in single precision) is blocked, 0 when it is free.
    void cast(const Vec3& start, const std::array<float, 3>* offsets, size_t count,
              uint8_t* blocked);

    // Rays cast since construction.
    uint64_t rays() const { return m_rays; }

private:
    const PolyPack& m_pack;
    uint64_t m_rays = 0;
};

} // namespace Vrenn
