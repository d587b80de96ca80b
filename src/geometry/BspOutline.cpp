#include "geometry/BspOutline.h"

#include "geometry/PolyPack.h"

#include <cmath>
#include <utility>

namespace Vrenn {

namespace {

// How far apart two planes may be and still count as one: the polygons' planes come from
// their own outlines, the nodes' from the splitting polygon's, so they agree to rounding.
constexpr float kNormalTolerance = 1e-4f;
constexpr float kDistanceTolerance = 1e-2f;

bool samePlane(const PackPlane& a, const PackPlane& b) {
    const float facing = dot(a.normal, b.normal);
    if (std::fabs(std::fabs(facing) - 1.0f) > kNormalTolerance) return false;
    const float d = facing > 0.0f ? b.d : -b.d;
    return std::fabs(a.d - d) <= kDistanceTolerance;
}

void addOutline(const PackPolygon& polygon, uint32_t depth, std::vector<BspOutlinePoint>& out) {
    const auto& p = polygon.outline;
    const auto& starts = polygon.outlineChains;
    for (size_t c = 0; c < starts.size(); ++c) {
        const size_t begin = starts[c];
        const size_t end = c + 1 < starts.size() ? starts[c + 1] : p.size();
        for (size_t i = begin; i < end; ++i) {
            out.push_back({p[i], depth});
            out.push_back({p[i + 1 < end ? i + 1 : begin], depth});
        }
    }
}

} // namespace

std::vector<BspOutlinePoint> bspOutline(const PolyPack& pack) {
    std::vector<BspOutlinePoint> out;
    const auto& nodes = pack.nodes();
    if (nodes.empty()) return out;
    const auto& polygons = pack.polygons();
    std::vector<bool> drawn(polygons.size(), false);
    // Breadth first from the root, so every node is reached at its depth.
    std::vector<std::pair<int32_t, uint32_t>> level{{0, 0}}, next;
    while (!level.empty()) {
        for (const auto& [index, depth] : level) {
            const BspNode& node = nodes[size_t(index)];
            for (size_t k = 0; k < polygons.size(); ++k) {
                if (drawn[k] || !samePlane(node.plane, polygons[k].plane)) continue;
                drawn[k] = true;
                addOutline(polygons[k], depth, out);
            }
            for (const int32_t child : {node.front, node.back})
                if (child >= 0 && size_t(child) < nodes.size()) next.push_back({child, depth + 1});
        }
        level.swap(next);
        next.clear();
    }
    return out;
}

} // namespace Vrenn
