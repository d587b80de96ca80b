// Segment queries against the pack's tree: the walk clips the segment at node planes, near
// side first, and tests the polygons of the leaves it reaches.

#include "geometry/PolyPack.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

inline float maxAbs(const Vec3& v) {
    return std::max(std::fabs(v.x), std::max(std::fabs(v.y), std::fabs(v.z)));
}

// Whether the box around the segment p0 -> p1 comes within slack of the box lo ... hi: a
// quick test without divisions that errs towards true (also for not-a-number coordinates).
inline bool segmentMeetsBox(const Vec3& lo, const Vec3& hi, const Vec3& p0, const Vec3& p1,
                            float slack) {
    return !(std::min(p0.x, p1.x) > hi.x + slack || std::max(p0.x, p1.x) < lo.x - slack ||
             std::min(p0.y, p1.y) > hi.y + slack || std::max(p0.y, p1.y) < lo.y - slack ||
             std::min(p0.z, p1.z) > hi.z + slack || std::max(p0.z, p1.z) < lo.z - slack);
}

// Widening of the boxes: hits are computed in single precision, so a crossing point may lie
// a few units in the last place off the exact segment, and up to 0.01 off a polygon's plane.
constexpr float kBoxMargin = 0.02f;
constexpr float kRelativeSlack = 1e-5f;

} // namespace

void PolyPack::computeRayBounds() {
    const float inf = std::numeric_limits<float>::infinity();
    const RayBox empty{{inf, inf, inf}, {-inf, -inf, -inf}};
    const RayBox everywhere{{-inf, -inf, -inf}, {inf, inf, inf}};
    auto merge = [](const RayBox& a, const RayBox& b) {
        return RayBox{
            {std::min(a.lo.x, b.lo.x), std::min(a.lo.y, b.lo.y), std::min(a.lo.z, b.lo.z)},
            {std::max(a.hi.x, b.hi.x), std::max(a.hi.y, b.hi.y), std::max(a.hi.z, b.hi.z)}};
    };
    // The chart rectangle of every polygon: the ray test accepts crossings anywhere in it.
    std::vector<RayBox> polygonBoxes(m_polygons.size(), empty);
    for (size_t i = 0; i < m_polygons.size(); ++i) {
        const PackPolygon& p = m_polygons[i];
        const Vec3 u = p.axisU * p.sizeU, v = p.axisV * p.sizeV;
        RayBox box = empty;
        for (const Vec3& corner : {p.origin, p.origin + u, p.origin + v, p.origin + u + v})
            box = merge(box, RayBox{corner, corner});
        if (!isFinite(box.lo) || !isFinite(box.hi)) {
            polygonBoxes[i] = everywhere;
            continue;
        }
        const float margin = kBoxMargin + kRelativeSlack * std::max(maxAbs(box.lo), maxAbs(box.hi));
        polygonBoxes[i] = {box.lo - Vec3{margin, margin, margin},
                           box.hi + Vec3{margin, margin, margin}};
    }
    m_leafBoxes.assign(m_leaves.size(), empty);
    for (size_t l = 0; l < m_leaves.size(); ++l)
        for (uint32_t p : m_leaves[l].polygons)
            if (p < polygonBoxes.size()) m_leafBoxes[l] = merge(m_leafBoxes[l], polygonBoxes[p]);
    // Children always come after their node, so a backwards pass sees them first.
    m_nodeBoxes.assign(m_nodes.size(), empty);
    auto childBox = [&](int32_t c) -> RayBox {
        if (c < 0) {
            const size_t leaf = static_cast<size_t>(-(c + 1));
            return leaf < m_leafBoxes.size() ? m_leafBoxes[leaf] : empty;
        }
        return static_cast<size_t>(c) < m_nodeBoxes.size() ? m_nodeBoxes[static_cast<size_t>(c)]
                                                           : everywhere;
    };
    for (size_t k = m_nodes.size(); k-- > 0;)
        m_nodeBoxes[k] = merge(childBox(m_nodes[k].front), childBox(m_nodes[k].back));
}

bool PolyPack::rayTest(const Vec3& start, const Vec3& end, Vec3& hitPoint, int32_t& polygon) const {
    polygon = -1;
    if (m_nodes.empty() || m_rayPolygons.size() != m_polygons.size() ||
        m_nodeBoxes.size() != m_nodes.size() || m_leafBoxes.size() != m_leaves.size())
        return false;
    const float slack = kRelativeSlack * (maxAbs(start) + maxAbs(end));
    return walk(0, start, end, slack, hitPoint, polygon);
}

// A subtree whose box the segment misses holds nothing the segment could hit; skipping it
// gives the same answer as walking it.
bool PolyPack::walk(int32_t child, const Vec3& p0, const Vec3& p1, float slack, Vec3& hitPoint,
                    int32_t& polygon) const {
    if (child < 0) {
        const uint32_t leaf = static_cast<uint32_t>(-(child + 1));
        if (leaf >= m_leafBoxes.size() ||
            !segmentMeetsBox(m_leafBoxes[leaf].lo, m_leafBoxes[leaf].hi, p0, p1, slack))
            return false;
        return testLeaf(leaf, p0, p1, hitPoint, polygon);
    }
    const RayBox& box = m_nodeBoxes[static_cast<size_t>(child)];
    (void)box;
    const BspNode& node = m_nodes[static_cast<size_t>(child)];
    const Vec3& n = node.plane.normal;
    const Vec3 delta = p1 - p0;
    const float d0 = dot(n, p0) + node.plane.d;
    const float d1 = dot(n, p1) + node.plane.d;
    float t = 1.0f;
    // The split point; the segment's end when it does not cross.
    Vec3 x = p1;
    if (crossPlane(d0, d1, dot(n, delta), p0 == p1, t)) x = p0 + delta * t;

    // A start within the plane's thickness counts as on it, and so as in front, like the
    // crossing above: the part of the segment heading behind the plane starts at x. (Going by
    // the sign of d0 alone would hand a segment starting just behind the plane only to the
    // back subtree, or, heading behind it, to neither.)
    if (d0 >= 0.0f || std::fabs(d0) < kOnPlane) {
        if (walk(node.front, p0, x, slack, hitPoint, polygon)) return true;
        return d1 < 0.0f && walk(node.back, x, p1, slack, hitPoint, polygon);
    }
    if (walk(node.back, p0, x, slack, hitPoint, polygon)) return true;
    return d1 >= 0.0f && walk(node.front, x, p1, slack, hitPoint, polygon);
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

int32_t PolyPack::atlasTexelAt(uint32_t polygon, const Vec3& point) const {
    if (polygon >= m_rayPolygons.size() || !m_rayPolygons[polygon].blocks) return -1;
    const RayPolygon& poly = m_rayPolygons[polygon];
    const Vec3 rel = point - poly.origin;
    float a = dot(rel, poly.uScale);
    float b = dot(rel, poly.vScale);
    if (!(a >= 0.0f && a <= 1.0f && b >= 0.0f && b <= 1.0f)) return -1;
    if (poly.flipped) std::swap(a, b);
    const int tx = nearestTexel(poly.x + a * poly.spanX);
    const int ty = nearestTexel(poly.y + b * poly.spanY);
    return ty * m_coverage.width() + tx;
}

} // namespace Vrenn
