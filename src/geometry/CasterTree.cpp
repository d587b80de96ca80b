// The casters' copy of a pack's tree, and the cell boxes that let them drop segments early.

#include "geometry/CasterTree.h"

#include "geometry/PolyPack.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace Vrenn {

namespace {

// Cell boxes. A segment reaching a leaf lies in the leaf's cell: on the side of each ancestor's
// plane the walk sent it to, give or take the plane's thickness (0.01) and the rounding of the
// points where the walk cut it. Any hit there also lies on one of the leaf's polygons' chart
// rectangles. So the box of those rectangles clipped to the cell, widened by kCellMargin along
// each plane, holds every hit the leaf can give, and a segment that passes beside it hits
// nothing in the leaf (and likewise for a node and the boxes below it).
//
// Each cut rounds the piece's end by about 2^-22 of the largest coordinate (M) at most, and a
// segment is cut at most once per level, so over kMostLevels levels its pieces stay within
// 200 * 2^-22 * M < 5e-5 M of where they should be. A segment's slack is at least 1e-5 M, so
// kCellSlackScale = 16 slacks cover that with room to spare; the cell boxes are used for
// segments whose 16 slacks and the plane thickness fit in kCellMargin, and only in trees of at
// most kMostLevels levels.
constexpr double kCellMargin = 4.0;
constexpr float kCellSlackScale = 16.0f;
constexpr float kCellSlackLimit = 0.24f; // (kCellMargin - 0.01) / kCellSlackScale, rounded down
constexpr size_t kMostLevels = 200;
// A cell box is tested only where it is tighter than its parent's by this share of the
// parent's extent along some axis.
constexpr float kWorthwhileShrink = 0.25f;
// How far a chart rectangle's box is widened, as the plain walk widens its polygon boxes.
constexpr double kBoxMargin = 0.02;

// Whether no path through the tree is longer than kMostLevels (and children come after their
// node, as the build makes them).
bool shallowEnough(const std::vector<CasterNode>& nodes) {
    std::vector<size_t> level(nodes.size(), 0);
    for (size_t k = 0; k < nodes.size(); ++k) {
        if (level[k] >= kMostLevels) return false;
        for (int32_t child : {nodes[k].front, nodes[k].back}) {
            if (child < 0) continue;
            if (static_cast<size_t>(child) <= k || static_cast<size_t>(child) >= nodes.size())
                return false;
            level[static_cast<size_t>(child)] = level[k] + 1;
        }
    }
    return true;
}

struct DVec {
    double x, y, z;
};

// A side of a plane: the points p with sign * (n.p + d) >= -kCellMargin.
struct HalfSpace {
    double nx, ny, nz, d, sign;
    double distance(const DVec& p) const {
        return sign * (nx * p.x + ny * p.y + nz * p.z + d) + kCellMargin;
    }
};

// The convex polygon clipped to the half-space (Sutherland-Hodgman).
void clip(std::vector<DVec>& polygon, const HalfSpace& h, std::vector<DVec>& scratch) {
    scratch.clear();
    for (size_t i = 0; i < polygon.size(); ++i) {
        const DVec& a = polygon[i];
        const DVec& b = polygon[(i + 1) % polygon.size()];
        const double da = h.distance(a), db = h.distance(b);
        if (da >= 0) scratch.push_back(a);
        if ((da >= 0) != (db >= 0)) {
            const double t = da / (da - db);
            scratch.push_back(
                {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t});
        }
    }
    polygon.swap(scratch);
}

struct CellBox {
    double lo[3] = {1, 1, 1}, hi[3] = {-1, -1, -1};
    bool empty = true;

    void add(const DVec& p) {
        const double c[3] = {p.x, p.y, p.z};
        for (int a = 0; a < 3; ++a) {
            lo[a] = empty ? c[a] : std::min(lo[a], c[a]);
            hi[a] = empty ? c[a] : std::max(hi[a], c[a]);
        }
        empty = false;
    }
    void add(const CellBox& b) {
        if (b.empty) return;
        add(DVec{b.lo[0], b.lo[1], b.lo[2]});
        add(DVec{b.hi[0], b.hi[1], b.hi[2]});
    }
    // Widened by the polygon margin, rounded outwards to floats.
    void store(float* outLo, float* outHi, int32_t& outTest) const {
        outTest = empty ? kCellEmpty : kCellTest;
        for (int a = 0; a < 3; ++a) {
            if (empty) {
                outLo[a] = 1.0f;
                outHi[a] = -1.0f;
                continue;
            }
            const double margin =
                kBoxMargin + 1e-5 * std::max(std::fabs(lo[a]), std::fabs(hi[a])) + 1e-3;
            outLo[a] = std::nextafter(static_cast<float>(lo[a] - margin), -INFINITY);
            outHi[a] = std::nextafter(static_cast<float>(hi[a] + margin), INFINITY);
        }
    }
};

// Whether a child's cell box is hardly tighter than its parent's: segments that passed the
// parent's are then unlikely to miss the child's, and testing them costs more than it saves.
template <class Cell> bool hardlyTighter(const CasterNode& parent, const Cell& child) {
    if (parent.cellTest != kCellTest || child.cellTest != kCellTest) return false;
    for (int a = 0; a < 3; ++a) {
        const float extent = parent.cellHi[a] - parent.cellLo[a];
        const float shrink =
            (child.cellLo[a] - parent.cellLo[a]) + (parent.cellHi[a] - child.cellHi[a]);
        if (!(shrink <= kWorthwhileShrink * extent)) return false;
    }
    return true;
}

void skipLooseCells(std::vector<CasterNode>& nodes, std::vector<CasterLeaf>& leaves) {
    // Children come after their node, so going backwards compares each with its parent's box
    // before that is changed.
    for (size_t k = nodes.size(); k-- > 0;) {
        for (int32_t c : {nodes[k].front, nodes[k].back}) {
            if (c < 0) {
                const size_t l = static_cast<size_t>(-(c + 1));
                if (l < leaves.size() && hardlyTighter(nodes[k], leaves[l]))
                    leaves[l].cellTest = kCellSkip;
            } else if (static_cast<size_t>(c) < nodes.size() &&
                       hardlyTighter(nodes[k], nodes[static_cast<size_t>(c)])) {
                nodes[static_cast<size_t>(c)].cellTest = kCellSkip;
            }
        }
    }
}

// Fills the cell boxes of the subtree child, whose cell the half-spaces in path bound.
CellBox fillCellBoxes(const PolyPack& pack, std::vector<CasterNode>& nodes,
                      std::vector<CasterLeaf>& leaves, const std::vector<uint32_t>& leafPolygons,
                      int32_t child, std::vector<HalfSpace>& path) {
    CellBox box;
    if (child < 0) {
        const size_t l = static_cast<size_t>(-(child + 1));
        if (l >= leaves.size()) return box;
        CasterLeaf& leaf = leaves[l];
        std::vector<DVec> polygon, scratch;
        for (uint32_t k = 0; k < leaf.count; ++k) {
            const PackPolygon& p = pack.polygons()[leafPolygons[leaf.first + k]];
            const DVec o{p.origin.x, p.origin.y, p.origin.z};
            const DVec u{double(p.axisU.x) * p.sizeU, double(p.axisU.y) * p.sizeU,
                         double(p.axisU.z) * p.sizeU};
            const DVec v{double(p.axisV.x) * p.sizeV, double(p.axisV.y) * p.sizeV,
                         double(p.axisV.z) * p.sizeV};
            polygon = {o,
                       {o.x + u.x, o.y + u.y, o.z + u.z},
                       {o.x + u.x + v.x, o.y + u.y + v.y, o.z + u.z + v.z},
                       {o.x + v.x, o.y + v.y, o.z + v.z}};
            for (const HalfSpace& h : path) {
                clip(polygon, h, scratch);
                if (polygon.empty()) break;
            }
            for (const DVec& q : polygon)
                box.add(q);
        }
        box.store(leaf.cellLo, leaf.cellHi, leaf.cellTest);
        return box;
    }
    const size_t n = static_cast<size_t>(child);
    const CasterNode node = nodes[n];
    for (const auto& [side, sign] : {std::pair{node.front, 1.0}, std::pair{node.back, -1.0}}) {
        path.push_back({node.nx, node.ny, node.nz, node.d, sign});
        box.add(fillCellBoxes(pack, nodes, leaves, leafPolygons, side, path));
        path.pop_back();
    }
    box.store(nodes[n].cellLo, nodes[n].cellHi, nodes[n].cellTest);
    return box;
}

// The atlas columns (or rows) a placed rectangle's texel look-up reaches for chart coordinates
// 0 ... 1, computed as the leaf tests compute them: rounding keeps the look-up monotonic, so
// the ends decide.
bool texelSpan(float first, float span, int limit, int& lo, int& hi) {
    const float ends[2] = {std::floor(first + 0.0f * span + 0.5f),
                           std::floor(first + 1.0f * span + 0.5f)};
    const float low = std::min(ends[0], ends[1]), high = std::max(ends[0], ends[1]);
    if (!(low >= 0.0f && high < static_cast<float>(limit))) return false;
    lo = static_cast<int>(low);
    hi = static_cast<int>(high);
    return true;
}

// Whether the mask covers every texel a polygon's leaf test can look up.
bool coversPlacement(const CoverageMask& mask, float x, float y, float spanX, float spanY) {
    int x0, x1, y0, y1;
    if (!texelSpan(x, spanX, mask.width(), x0, x1) || !texelSpan(y, spanY, mask.height(), y0, y1))
        return false;
    const auto& bytes = mask.bytes();
    for (int row = y0; row <= y1; ++row)
        for (int column = x0; column <= x1; ++column)
            if (bytes[static_cast<size_t>(row) * static_cast<size_t>(mask.width()) +
                      static_cast<size_t>(column)] == 0)
                return false;
    return true;
}

// The direction octants from which a polygon with normal n can be met from its front: octant o
// (bit a set: axis a negative) where some n_a has the sign opposite to the direction's. For
// the others every product n_a d_a is zero or positive, and so is their rounded sum.
int32_t facingOctants(const Vec3& n) {
    const float c[3] = {n.x, n.y, n.z};
    int32_t octants = 1 << 8; // directions of several octants: always tested
    for (int o = 0; o < 8; ++o)
        for (int a = 0; a < 3; ++a)
            if ((o >> a & 1) ? c[a] > 0.0f : c[a] < 0.0f) octants |= 1 << o;
    return octants;
}

} // namespace

CasterTree::CasterTree(const PolyPack& pack) : m_pack(pack) {
    // What PolyPack::rayTest needs before it walks at all.
    m_ready = !pack.m_nodes.empty() && pack.m_rayPolygons.size() == pack.m_polygons.size() &&
              pack.m_nodeBoxes.size() == pack.m_nodes.size() &&
              pack.m_leafBoxes.size() == pack.m_leaves.size();
    m_scene.cellSlackLimit = -1.0f;
    if (!m_ready) return;

    m_nodes.reserve(pack.m_nodes.size());
    for (const BspNode& node : pack.m_nodes)
        m_nodes.push_back({node.plane.normal.x,
                           node.plane.normal.y,
                           node.plane.normal.z,
                           node.plane.d,
                           node.front,
                           node.back,
                           {},
                           {},
                           1});
    // Each leaf gets copies of its blocking polygons, one after another; polygons that cannot
    // block (no area or no placement) are left out, as the leaf test skips them.
    std::vector<uint32_t> leafPolygons;
    // Whether the mask covers each polygon's placement, worked out once per polygon (leaves
    // share polygons).
    std::vector<int8_t> covered(pack.m_rayPolygons.size(), -1);
    m_leaves.reserve(pack.m_leaves.size());
    for (size_t l = 0; l < pack.m_leaves.size(); ++l) {
        const PolyPack::RayBox& box = pack.m_leafBoxes[l];
        CasterLeaf leaf{{box.lo.x, box.lo.y, box.lo.z},
                        {box.hi.x, box.hi.y, box.hi.z},
                        {},
                        {},
                        1,
                        static_cast<uint32_t>(m_polygons.size()),
                        0};
        // Larger charts first: a lane is done at its first hit, and a leaf once every lane is,
        // so the polygons most likely to block come first. (The answers do not depend on the
        // order: the hit walk keeps the nearest hit, ties going to the lower number.)
        std::vector<uint32_t> order;
        for (uint32_t index : pack.m_leaves[l].polygons)
            if (index < pack.m_rayPolygons.size() && pack.m_rayPolygons[index].blocks)
                order.push_back(index);
        const auto chartArea = [&](uint32_t index) {
            const PolyPack::RayPolygon& p = pack.m_rayPolygons[index];
            return 1.0 / (double(length(p.uScale)) * double(length(p.vScale)));
        };
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t a, uint32_t b) { return chartArea(a) > chartArea(b); });
        for (uint32_t index : order) {
            const PolyPack::RayPolygon& p = pack.m_rayPolygons[index];
            if (covered[index] < 0)
                covered[index] = coversPlacement(pack.m_coverage, p.x, p.y, p.spanX, p.spanY);
            m_polygons.push_back(
                {p.normal.x,     p.normal.y, p.normal.z, p.d,        p.origin.x, p.origin.y,
                 p.origin.z,     p.uScale.x, p.uScale.y, p.uScale.z, p.vScale.x, p.vScale.y,
                 p.vScale.z,     p.x,        p.y,        p.spanX,    p.spanY,    p.flipped ? 1 : 0,
                 covered[index], 0});
            m_polygons.back().facingOctants = facingOctants(p.normal);
            leafPolygons.push_back(index);
            m_polygonNumbers.push_back(static_cast<int32_t>(index));
            ++leaf.count;
        }
        m_leaves.push_back(leaf);
    }
    if (shallowEnough(m_nodes)) {
        std::vector<HalfSpace> path;
        fillCellBoxes(pack, m_nodes, m_leaves, leafPolygons, 0, path);
        skipLooseCells(m_nodes, m_leaves);
        m_scene.cellSlackLimit = kCellSlackLimit;
        m_scene.cellSlackScale = kCellSlackScale;
    }
    m_scene.nodes = m_nodes.data();
    m_scene.nodeCount = m_nodes.size();
    m_scene.leaves = m_leaves.data();
    m_scene.leafCount = m_leaves.size();
    m_scene.polygons = m_polygons.data();
    m_scene.polygonNumbers = m_polygonNumbers.data();
    const auto& coverage = pack.m_coverage.bytes();
    m_mask.reserve(coverage.size() + kCasterMaskPadding);
    m_mask.assign(coverage.begin(), coverage.end());
    m_mask.resize(coverage.size() + kCasterMaskPadding, 0);
    m_scene.mask = m_mask.data();
    m_scene.maskWidth = static_cast<size_t>(pack.m_coverage.width());
    m_scene.maskGathers = coverage.size() < size_t(INT32_MAX) - kCasterMaskPadding;
}

} // namespace Vrenn
