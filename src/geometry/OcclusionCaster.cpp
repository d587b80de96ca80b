#include "geometry/OcclusionCaster.h"

#include "geometry/PolyPack.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace Vrenn {

namespace {

// As the plain walk scales its box slack: by the size of the segment's coordinates.
constexpr float kRelativeSlack = 1e-5f;

inline float maxAbs(const Vec3& v) {
    return std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z)));
}

// Packets count their lanes in 32 bits: a larger cast goes in parts, each handed to part (first
// start, first offset, starts, offsets). False when the cast fits in one.
template <class Part> bool inParts(size_t startCount, size_t count, Part part) {
    constexpr size_t kMostLanes = size_t(1) << 24;
    if (count > kMostLanes) {
        for (size_t t = 0; t < startCount; ++t)
            for (size_t first = 0; first < count; first += kMostLanes)
                part(t, first, 1, std::min(kMostLanes, count - first));
        return true;
    }
    if (startCount * count > kMostLanes) {
        const size_t startsPerPart = kMostLanes / count;
        for (size_t t = 0; t < startCount; t += startsPerPart)
            part(t, 0, std::min(startsPerPart, startCount - t), count);
        return true;
    }
    return false;
}

} // namespace

bool growCasterArena(CasterArena& arena, size_t bytes) {
    const size_t needed = arena.used + bytes;
    if (needed <= arena.capacity) return true;
    const size_t capacity = std::max(needed, arena.capacity * 2);
    void* grown = std::realloc(arena.base, capacity);
    if (!grown) return false;
    arena.base = static_cast<uint8_t*>(grown);
    arena.capacity = capacity;
    return true;
}

bool OcclusionCaster::processorHasAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool OcclusionCaster::processorHasAvx512() {
#if defined(__x86_64__) || defined(__i386__)
    return __builtin_cpu_supports("avx512f");
#else
    return false;
#endif
}

OcclusionCaster::OcclusionCaster(std::shared_ptr<const CasterTree> tree, CasterKernel kernel)
    : m_tree(std::move(tree)) {
    if ((kernel == CasterKernel::Best || kernel == CasterKernel::Avx512) && processorHasAvx512())
        m_kernel = CasterKernel::Avx512;
    else if (kernel != CasterKernel::Baseline && processorHasAvx2())
        m_kernel = CasterKernel::Avx2;
    else
        m_kernel = CasterKernel::Baseline;
}

OcclusionCaster::OcclusionCaster(const PolyPack& pack, CasterKernel kernel)
    : OcclusionCaster(std::make_shared<const CasterTree>(pack), kernel) {}

OcclusionCaster::~OcclusionCaster() {
    std::free(m_arena.base);
}

void OcclusionCaster::cast(const Vec3& start, const std::array<float, 3>* offsets, size_t count,
                           uint8_t* blocked) {
    cast(&start, 1, offsets, count, blocked);
}

void OcclusionCaster::cast(const Vec3* starts, size_t startCount,
                           const std::array<float, 3>* offsets, size_t count, uint8_t* blocked) {
    const size_t total = startCount * count;
    if (total == 0) return;
    if (inParts(startCount, count, [&](size_t t, size_t first, size_t n, size_t lanes) {
            cast(&starts[t], n, offsets + first, lanes, blocked + t * count + first);
        }))
        return;
    std::memset(blocked, 0, total);
    m_rays += total;
    if (!m_tree->ready()) return;
    m_blocked.assign(total, 0);
    CasterPacket root;
    bool walked = layRootPacket(starts, startCount, offsets, count, false, root);
    if (walked) {
        const CasterScene& scene = m_tree->scene();
        switch (m_kernel) {
        case CasterKernel::Avx512:
            walked = castPacketAvx512(scene, m_arena, root, m_blocked.data());
            break;
        case CasterKernel::Avx2:
            walked = castPacketAvx2(scene, m_arena, root, m_blocked.data());
            break;
        default:
            walked = castPacketBaseline(scene, m_arena, root, m_blocked.data());
            break;
        }
    }
    for (size_t r = 0; r < total; ++r)
        blocked[r] = m_blocked[r] ? 1 : 0;
    if (walked) return;
    // No memory for the packets: the rays not yet known blocked take the plain walk.
    Vec3 hit;
    int32_t polygon = -1;
    for (size_t t = 0; t < startCount; ++t) {
        for (size_t i = 0; i < count; ++i) {
            uint8_t& answer = blocked[t * count + i];
            if (answer) continue;
            const Vec3 end = starts[t] + Vec3{offsets[i][0], offsets[i][1], offsets[i][2]};
            answer = m_tree->pack().rayTest(starts[t], end, hit, polygon) ? 1 : 0;
        }
    }
}

bool OcclusionCaster::layRootPacket(const Vec3* starts, size_t startCount,
                                    const std::array<float, 3>* offsets, size_t count,
                                    bool withAlong, CasterPacket& root) {
    // Neighbouring segments along one offset share a vector.
    const uint32_t lanes = static_cast<uint32_t>(startCount * count);
    const uint32_t cap = (lanes + kCasterPacketPadding + 7u) & ~7u;
    const int arrays = withAlong ? kCasterHitPacketArrays : kCasterPacketArrays;
    m_arena.used = 0;
    if (!growCasterArena(m_arena, static_cast<size_t>(cap) * arrays * 4)) return false;
    float* f = reinterpret_cast<float*>(m_arena.base);
    uint32_t* ray = reinterpret_cast<uint32_t*>(f + 7 * size_t(cap));
    uint32_t lane = 0;
    for (size_t i = 0; i < count; ++i) {
        for (size_t t = 0; t < startCount; ++t, ++lane) {
            const Vec3& start = starts[t];
            const Vec3 end = start + Vec3{offsets[i][0], offsets[i][1], offsets[i][2]};
            f[lane] = start.x;
            f[cap + lane] = start.y;
            f[2 * cap + lane] = start.z;
            f[3 * cap + lane] = end.x;
            f[4 * cap + lane] = end.y;
            f[5 * cap + lane] = end.z;
            f[6 * cap + lane] = kRelativeSlack * (maxAbs(start) + maxAbs(end));
            ray[lane] = static_cast<uint32_t>(t * count + i);
        }
    }
    if (withAlong) {
        std::fill(f + 8 * size_t(cap), f + 8 * size_t(cap) + lanes, 0.0f);
        std::fill(f + 9 * size_t(cap), f + 9 * size_t(cap) + lanes, 1.0f);
    }
    // The padding lanes are read by whole-vector loads; give them defined values.
    for (int a = 0; a < arrays; ++a)
        std::memset(f + size_t(a) * cap + lanes, 0, (cap - lanes) * 4);
    m_arena.used = static_cast<size_t>(cap) * arrays * 4;
    root = CasterPacket{0, lanes, cap};
    return true;
}

void OcclusionCaster::castHits(const Vec3* starts, size_t startCount,
                               const std::array<float, 3>* offsets, size_t count, Hit* hits) {
    const size_t total = startCount * count;
    if (total == 0) return;
    if (inParts(startCount, count, [&](size_t t, size_t first, size_t n, size_t lanes) {
            castHits(&starts[t], n, offsets + first, lanes, hits + t * count + first);
        }))
        return;
    std::fill(hits, hits + total, Hit{});
    m_rays += total;
    if (!m_tree->ready()) return;
    // Above every hit: the leaf test takes crossings up to 1.1 along a segment.
    constexpr float kNoHit = 2.0f;
    m_along.assign(total, kNoHit);
    m_hitPolygon.assign(total, -1);
    m_hitTexel.assign(total, -1);
    const CasterHitAnswers answers{m_along.data(), m_hitPolygon.data(), m_hitTexel.data()};
    CasterPacket root;
    bool walked = layRootPacket(starts, startCount, offsets, count, true, root);
    if (walked) {
        const CasterScene& scene = m_tree->scene();
        switch (m_kernel) {
        case CasterKernel::Avx512:
            walked = castHitsAvx512(scene, m_arena, root, answers);
            break;
        case CasterKernel::Avx2:
            walked = castHitsAvx2(scene, m_arena, root, answers);
            break;
        default:
            walked = castHitsBaseline(scene, m_arena, root, answers);
            break;
        }
    }
    if (walked) {
        for (size_t r = 0; r < total; ++r)
            if (m_hitPolygon[r] >= 0) hits[r] = {m_hitPolygon[r], m_hitTexel[r], m_along[r]};
        return;
    }
    // No memory for the packets: every ray takes the plain walk, whose first hit is the nearest
    // but where a later leaf holds a nearer one just past the earlier leaf's piece.
    for (size_t t = 0; t < startCount; ++t) {
        for (size_t i = 0; i < count; ++i) {
            const Vec3 offset{offsets[i][0], offsets[i][1], offsets[i][2]};
            Vec3 point;
            int32_t polygon = -1;
            if (!m_tree->pack().rayTest(starts[t], starts[t] + offset, point, polygon)) continue;
            Hit& hit = hits[t * count + i];
            hit.polygon = polygon;
            hit.texel = m_tree->pack().atlasTexelAt(static_cast<uint32_t>(polygon), point);
            const float length = dot(offset, offset);
            hit.along = length > 0.0f ? dot(point - starts[t], offset) / length : 0.0f;
        }
    }
}

} // namespace Vrenn
