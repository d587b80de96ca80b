#pragma once

#include "core/Vector3.h"
#include "geometry/CasterTree.h"
#include "geometry/OcclusionKernel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

class PolyPack;

// Which build of the packet walk a caster runs.
enum class CasterKernel {
    Best,     // the widest the processor has
    Baseline, // four lanes, the instructions every x86-64 processor has
    Avx2,     // eight lanes; the baseline where the processor lacks AVX2
    Avx512,   // sixteen lanes; AVX2 or the baseline where the processor lacks AVX-512
};

// Occlusion of many segments that share one start, as the bake casts them from a texel. Each
// segment gets exactly the answer PolyPack::rayTest gives for it; the caster only finds it
// faster, by walking the tree once for all of them (see OcclusionKernel.inc). Its scratch is
// its own: a thread needs a caster of its own.
class OcclusionCaster {
public:
    explicit OcclusionCaster(std::shared_ptr<const CasterTree> tree,
                             CasterKernel kernel = CasterKernel::Best);
    // With a tree of its own.
    explicit OcclusionCaster(const PolyPack& pack, CasterKernel kernel = CasterKernel::Best);
    ~OcclusionCaster();
    OcclusionCaster(const OcclusionCaster&) = delete;
    OcclusionCaster& operator=(const OcclusionCaster&) = delete;

    // For i < count: blocked[i] = 1 when the segment from start to start + offsets[i] (each
    // end computed as start + offset in single precision) is blocked, 0 when it is free.
    void cast(const Vec3& start, const std::array<float, 3>* offsets, size_t count,
              uint8_t* blocked);
    // The same offsets from several starts: for t < startCount and i < count,
    // blocked[t * count + i] answers the segment from starts[t] to starts[t] + offsets[i].
    // Neighbouring starts are best cast together: their segments along one offset share
    // vectors, and so mostly the same way down the tree.
    void cast(const Vec3* starts, size_t startCount, const std::array<float, 3>* offsets,
              size_t count, uint8_t* blocked);

    // Where a segment hits: the pack's polygon and its covered atlas texel (row * atlas width +
    // column), both -1 for none, and where along the segment (0 its start, 1 its end; a hit may
    // lie up to a tenth past the end, as the plain walk's leaf test allows).
    struct Hit {
        int32_t polygon = -1;
        int32_t texel = -1;
        float along = 0.0f;
    };
    // As cast, but with each segment's nearest hit: of the hits the plain walk's leaf tests find
    // anywhere along the segment, the nearest (the lower polygon number where two are as near).
    // A segment has a hit exactly where cast says it is blocked. The answers depend only on the
    // segments, not on which are cast together nor on the build.
    void castHits(const Vec3* starts, size_t startCount, const std::array<float, 3>* offsets,
                  size_t count, Hit* hits);

    // Rays cast since construction.
    uint64_t rays() const { return m_rays; }
    // The build this caster runs (never Best).
    CasterKernel kernel() const { return m_kernel; }
    const CasterTree& tree() const { return *m_tree; }
    static bool processorHasAvx2();
    static bool processorHasAvx512();

private:
    // Lays out the root packet in the arena: offset by offset, each from every start. False
    // when no memory could be had.
    bool layRootPacket(const Vec3* starts, size_t startCount, const std::array<float, 3>* offsets,
                       size_t count, bool withAlong, CasterPacket& root);

    std::shared_ptr<const CasterTree> m_tree;
    CasterKernel m_kernel;
    CasterArena m_arena;
    std::vector<uint32_t> m_blocked; // the walk's answers, a word per ray
    std::vector<float> m_along;      // the hit walk's answers, a value of each per ray
    std::vector<int32_t> m_hitPolygon;
    std::vector<int32_t> m_hitTexel;
    uint64_t m_rays = 0;
};

} // namespace Vrenn
