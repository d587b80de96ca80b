// Segment queries against the pack's tree: the walk clips the segment at node planes, near
// side first, and tests the polygons of the leaves it reaches.

#include "geometry/PolyPack.h"

#include <cmath>

namespace Vrenn {

namespace {

// Points closer to a plane than this count as lying on it.
constexpr float kOnPlane = 0.01f;

// Where the segment p0 -> p1 meets the plane with signed distances d0 = n.p0 + d and
// d1 = n.p1 + d and dn = n.(p1 - p0): true with t on the segment when it crosses. A segment
// starting on the plane crosses only when it heads behind it (or has no length); one ending
// on the plane crosses at its end.
inline bool crossPlane(float d0, float d1, float dn, bool degenerate, float& t) {
    if (std::fabs(d0) < kOnPlane) {
        if (dn < 0.0f || degenerate) {
            t = 0.0f;
            return true;
        }
        t = 1.0f;
        return false;
    }
    if (std::fabs(d1) < kOnPlane) {
        t = 1.0f;
        return true;
    }
    if (d0 * d1 <= 0.0f) {
        t = d0 / (d0 - d1);
        return true;
    }
    t = 1.0f;
    return false;
}

inline int nearestTexel(float v) {
    return static_cast<int>(std::floor(v + 0.5f));
}

} // namespace

bool PolyPack::rayTest(const Vec3& start, const Vec3& end, Vec3& hitPoint, int32_t& polygon) const {
    polygon = -1;
    if (m_nodes.empty() || m_rayPolygons.size() != m_polygons.size()) return false;
    return walk(0, start, end, hitPoint, polygon);
}

bool PolyPack::walk(int32_t child, const Vec3& p0, const Vec3& p1, Vec3& hitPoint,
                    int32_t& polygon) const {
    if (child < 0) return testLeaf(static_cast<uint32_t>(-(child + 1)), p0, p1, hitPoint, polygon);
    const BspNode& node = m_nodes[static_cast<size_t>(child)];
    const Vec3& n = node.plane.normal;
    const Vec3 delta = p1 - p0;
    const float d0 = dot(n, p0) + node.plane.d;
    const float d1 = dot(n, p1) + node.plane.d;
    float t = 1.0f;
    // The split point; the segment's end when it does not cross.
    Vec3 x = p1;
    if (crossPlane(d0, d1, dot(n, delta), p0 == p1, t)) x = p0 + delta * t;

    if (d0 >= 0.0f) {
        if (walk(node.front, p0, x, hitPoint, polygon)) return true;
        return d1 < 0.0f && walk(node.back, x, p1, hitPoint, polygon);
    }
    if (walk(node.back, p0, x, hitPoint, polygon)) return true;
    return d1 >= 0.0f && walk(node.front, x, p1, hitPoint, polygon);
}

bool PolyPack::testLeaf(uint32_t leaf, const Vec3& p0, const Vec3& p1, Vec3& hitPoint,
                        int32_t& polygon) const {
    if (leaf >= m_leaves.size()) return false;
    const Vec3 delta = p1 - p0;
    const bool degenerate = p0 == p1;
    const uint8_t* mask = m_coverage.bytes().data();
    const size_t maskWidth = static_cast<size_t>(m_coverage.width());

    float best = 1.1f;
    int32_t found = -1;
    for (uint32_t index : m_leaves[leaf].polygons) {
        if (index >= m_rayPolygons.size()) continue;
        const RayPolygon& poly = m_rayPolygons[index];
        // Only polygons facing the segment block; one seen edge-on does not either.
        const float facing = dot(poly.normal, delta);
        if (!(facing < 0.0f) || !poly.blocks) continue;
        const float d0 = dot(poly.normal, p0) + poly.d;
        const float d1 = dot(poly.normal, p1) + poly.d;
        float t = 1.0f;
        if (!crossPlane(d0, d1, facing, degenerate, t)) continue;
        // A hit right at the start is the surface the segment leaves from.
        if (std::fabs(t) <= kGeometryEpsilon) continue;
        if (!(t < best)) continue;

        const Vec3 rel = p0 + delta * t - poly.origin;
        float a = dot(rel, poly.uScale);
        float b = dot(rel, poly.vScale);
        if (!(a >= 0.0f && a <= 1.0f && b >= 0.0f && b <= 1.0f)) continue;
        if (poly.flipped) std::swap(a, b);
        const int tx = nearestTexel(poly.x + a * poly.spanX);
        const int ty = nearestTexel(poly.y + b * poly.spanY);
        if (mask[static_cast<size_t>(ty) * maskWidth + static_cast<size_t>(tx)] == 0) continue;

        best = t;
        found = static_cast<int32_t>(index);
    }
    if (found < 0) return false;
    polygon = found;
    hitPoint = p0 * (1.0f - best) + p1 * best;
    return true;
}

} // namespace Vrenn
