// Tree construction of the polygon pack: the classification of polygons against planes,
// the choice of splitting planes and the log dump of the result.
#include "core/Log.h"
#include "core/Timer.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <unordered_map>

namespace Vrenn {

namespace {

// Classifies count points against a plane: spanning when some point lies more than the
// epsilon in front of it and another more than the epsilon behind, else the side of
// the points off the plane (front when all are within the epsilon of it).
PlaneSide classifyPoints(const Vec3* points, size_t count, const PackPlane& plane) {
    bool front = false, back = false;
    for (size_t k = 0; k < count; ++k) {
        const float s = plane.distance(points[k]);
        front |= s > kGeometryEpsilon;
        back |= s < -kGeometryEpsilon;
    }
    return front && back ? SIDE_SPANNING : back ? SIDE_BACK : SIDE_FRONT;
}

} // namespace

// Classifies the pack's polygons against the polygons' planes, one pair at a time as the
// build and the log dump ask for them, so nothing grows with the square of the count.
//
// Most polygons lie well clear of most planes, so each is first tested as a sphere
// around its outline: when the whole sphere is on one side of the plane by a margin
// far above any rounding of the per-point distances, every point's distance has the
// centre's sign and exceeds the epsilon, and the point-by-point test would give that
// side too. The rest are classified point by point, from one array holding all
// outlines.
class PlaneClassifier {
public:
    explicit PlaneClassifier(const std::vector<PackPolygon>& polygons) : m_polygons(polygons) {
        const size_t n = polygons.size();
        m_start.assign(n + 1, 0);
        for (size_t j = 0; j < n; ++j) {
            m_points.insert(m_points.end(), polygons[j].outline.begin(), polygons[j].outline.end());
            m_start[j + 1] = m_points.size();
        }
        // Per polygon: sphere centre, radius (padded for its own rounding) and the size
        // of the numbers involved, for the margin.
        m_spheres.resize(n);
        for (size_t j = 0; j < n; ++j) {
            const size_t count = m_start[j + 1] - m_start[j];
            Vec3 centre;
            for (size_t k = m_start[j]; k < m_start[j + 1]; ++k)
                centre += m_points[k];
            if (count > 0) centre = centre * (1.0f / float(count));
            float r = 0.0f, extent = 0.0f;
            for (size_t k = m_start[j]; k < m_start[j + 1]; ++k) {
                const Vec3& p = m_points[k];
                r = std::max(r, length(p - centre));
                extent = std::max({extent, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
            }
            m_spheres[j] = {centre.x, centre.y, centre.z, r * 1.001f, extent + r};
        }
    }

    // Polygon c's plane, ready to classify the others against.
    struct Probe {
        PackPlane plane;
        uint32_t polygon;
        float l1;    // |n|_1 bounds how far a point's distance can move per unit of offset
        float slack; // rounding of the plane's own offset
    };
    Probe probe(uint32_t c) const {
        const PackPlane& plane = m_polygons[c].plane;
        return {plane, c,
                std::fabs(plane.normal.x) + std::fabs(plane.normal.y) + std::fabs(plane.normal.z),
                1e-4f * std::fabs(plane.d) + 4 * kGeometryEpsilon};
    }

    // Entry (c, j) of the matrix: polygon j against polygon c's plane, front for c itself.
    uint8_t side(const Probe& probe, uint32_t j) const {
        if (j == probe.polygon) return SIDE_FRONT;
        const Sphere& s = m_spheres[j];
        const PackPlane& plane = probe.plane;
        const float centre =
            plane.normal.x * s.x + plane.normal.y * s.y + plane.normal.z * s.z + plane.d;
        const float reach = probe.l1 * s.radius + 1e-4f * probe.l1 * s.magnitude + probe.slack;
        if (centre > reach) return SIDE_FRONT;
        if (centre < -reach) return SIDE_BACK;
        return classifyPoints(m_points.data() + m_start[j], m_start[j + 1] - m_start[j], plane);
    }

private:
    struct Sphere {
        float x, y, z, radius, magnitude;
    };
    const std::vector<PackPolygon>& m_polygons;
    std::vector<Vec3> m_points;
    std::vector<size_t> m_start;
    std::vector<Sphere> m_spheres;
};

namespace {

// What is known of a candidate's score over a list: nothing, a lower bound (its count
// stopped once it could no longer win) or the score itself. It holds for as long as the
// list stays the same.
struct KnownScore {
    int64_t value = 0;
    uint8_t state = 0; // 0 unknown, 1 lower bound, 2 exact
};

// A plane's front, back and spanning counts over a whole list, every polygon of it classified
// by its points (its own polygon too).
struct PlaneCounts {
    int64_t front = 0, back = 0, spanning = 0;
};

// A plane's four values as a key: equal keys give equal distances for every point, so equal
// classifications. Zeros of either sign are one key.
struct PlaneKey {
    uint32_t bits[4];

    explicit PlaneKey(const PackPlane& plane) {
        const float values[4] = {plane.normal.x + 0.0f, plane.normal.y + 0.0f,
                                 plane.normal.z + 0.0f, plane.d + 0.0f};
        std::memcpy(bits, values, sizeof bits);
    }
    bool operator==(const PlaneKey& o) const { return std::memcmp(bits, o.bits, sizeof bits) == 0; }
};

struct PlaneKeyHash {
    size_t operator()(const PlaneKey& key) const {
        uint64_t h = 0xcbf29ce484222325ull;
        for (uint32_t b : key.bits)
            h = (h ^ b) * 0x100000001b3ull;
        return static_cast<size_t>(h);
    }
};

// What the scans of one list learnt: per list position the known score, a tree of minima over
// the positions (so that a scan jumps straight to the next candidate that could still lead),
// and the counts of every plane counted whole (candidates sharing a plane share its counts).
// It holds for as long as the list stays the same.
class ListScores {
public:
    static constexpr size_t kNone = SIZE_MAX;

    bool empty() const { return m_known.empty(); }
    void reset(size_t count) {
        m_known.assign(count, {});
        m_leaves = 1;
        while (m_leaves < count)
            m_leaves *= 2;
        m_min.assign(2 * m_leaves, kRetired);
        for (size_t i = 0; i < count; ++i)
            m_min[m_leaves + i] = kUnknown;
        for (size_t i = m_leaves - 1; i >= 1; --i)
            m_min[i] = std::min(m_min[2 * i], m_min[2 * i + 1]);
        m_planes.clear();
    }
    const KnownScore& known(size_t position) const { return m_known[position]; }
    void setKnown(size_t position, const KnownScore& k) {
        m_known[position] = k;
        setKey(position, k.state == 0 ? kUnknown : k.value);
    }
    // A position whose polygon may no longer split: never visited again.
    void retire(size_t position) { setKey(position, kRetired); }

    // The first position at or after from that is not retired and whose score is unknown or
    // known (as a bound or exactly) to lie below limit; kNone when there is none.
    size_t next(size_t from, int64_t limit) const {
        if (from >= m_leaves) return kNone;
        size_t node = m_leaves + from;
        if (m_min[node] < limit) return from;
        // Up until a right sibling holds a key below the limit, then down to its first one.
        for (;;) {
            if (node == 1) return kNone;
            if ((node & 1) == 0 && m_min[node + 1] < limit) {
                node = node + 1;
                break;
            }
            node /= 2;
        }
        while (node < m_leaves)
            node = m_min[2 * node] < limit ? 2 * node : 2 * node + 1;
        return node - m_leaves;
    }

    const PlaneCounts* counts(const PlaneKey& key) const {
        const auto it = m_planes.find(key);
        return it == m_planes.end() ? nullptr : &it->second;
    }
    void addCounts(const PlaneKey& key, const PlaneCounts& counts) {
        m_planes.emplace(key, counts);
    }

private:
    static constexpr int64_t kUnknown = INT64_MIN;
    static constexpr int64_t kRetired = INT64_MAX;

    void setKey(size_t position, int64_t key) {
        size_t node = m_leaves + position;
        m_min[node] = key;
        for (node /= 2; node >= 1; node /= 2) {
            const int64_t lowest = std::min(m_min[2 * node], m_min[2 * node + 1]);
            if (m_min[node] == lowest) break;
            m_min[node] = lowest;
        }
    }

    std::vector<KnownScore> m_known;
    size_t m_leaves = 1;
    std::vector<int64_t> m_min; // heap order: node 1 the root, leaves from m_leaves
    std::unordered_map<PlaneKey, PlaneCounts, PlaneKeyHash> m_planes;
};

// Polygon c against its own plane, by its points (the build itself counts it as in front).
uint8_t ownSide(const PlaneClassifier& classifier, uint32_t c) {
    PlaneClassifier::Probe probe = classifier.probe(c);
    probe.polygon = UINT32_MAX;
    return classifier.side(probe, c);
}

void removeSide(PlaneCounts& counts, uint8_t side) {
    counts.front -= side == SIDE_FRONT;
    counts.back -= side == SIDE_BACK;
    counts.spanning -= side == SIDE_SPANNING;
}

// The split choice over list: for each polygon of the list in order whose splitter flag is
// set, score = balance * |back - front| + split * spanning over the other polygons of the
// list; one scoring strictly below every earlier one leads the scan and its flag is
// cleared at that moment. Returns the last leader, or -1 when no polygon may split.
//
// scores carries what earlier scans of the same list learnt, and receives what this scan
// learns. A candidate whose known score or bound is not below the best so far cannot lead and
// is passed over without a count; one whose plane was counted whole before takes its score
// from those counts.
int32_t chooseSplitter(const std::vector<uint32_t>& list, std::vector<uint8_t>& flags,
                       int64_t balance, int64_t split, const PlaneClassifier& classifier,
                       const std::vector<PackPolygon>& polygons, ListScores& scores) {
    // With non-negative weights a candidate's score can be bounded from below before
    // its count is complete; one that cannot beat the best so far is dropped early.
    // Only candidates that could not have won are dropped, so the choice is unchanged.
    const bool canStopEarly = balance >= 0 && split >= 0;
    constexpr size_t kBlock = 64;
    int32_t best = -1;
    int64_t bestScore = 0;
    for (size_t position = scores.next(0, INT64_MAX); position != ListScores::kNone;
         position = scores.next(position + 1, best < 0 ? INT64_MAX : bestScore)) {
        const uint32_t c = list[position];
        if (!flags[c]) {
            scores.retire(position);
            continue;
        }
        KnownScore k = scores.known(position);
        if (k.state != 2) {
            const PlaneKey key(polygons[c].plane);
            if (const PlaneCounts* whole = scores.counts(key)) {
                PlaneCounts counts = *whole;
                removeSide(counts, ownSide(classifier, c));
                k = {balance * std::llabs(counts.back - counts.front) + split * counts.spanning, 2};
                scores.setKnown(position, k);
            } else {
                const PlaneClassifier::Probe probe = classifier.probe(c);
                int64_t front = 0, back = 0, spanning = 0;
                bool beaten = false;
                for (size_t blockStart = 0; blockStart < list.size() && !beaten;
                     blockStart += kBlock) {
                    const size_t blockEnd = std::min(list.size(), blockStart + kBlock);
                    for (size_t i = blockStart; i < blockEnd; ++i) {
                        const uint32_t j = list[i];
                        if (j == c) continue;
                        const uint8_t side = classifier.side(probe, j);
                        front += side == SIDE_FRONT;
                        back += side == SIDE_BACK;
                        spanning += side == SIDE_SPANNING;
                    }
                    if (canStopEarly && best >= 0 && blockEnd < list.size()) {
                        // The rest can at most close the gap between back and front by one
                        // per polygon, and never lower the spanning count.
                        const int64_t rest = int64_t(list.size() - blockEnd);
                        const int64_t lowest =
                            split * spanning +
                            balance * std::max<int64_t>(0, std::llabs(back - front) - rest);
                        if (lowest >= bestScore) {
                            beaten = true;
                            scores.setKnown(position, {lowest, 1});
                        }
                    }
                }
                if (beaten) continue;
                k = {balance * std::llabs(back - front) + split * spanning, 2};
                scores.setKnown(position, k);
                PlaneCounts counted{front, back, spanning};
                const uint8_t own = ownSide(classifier, c);
                counted.front += own == SIDE_FRONT;
                counted.back += own == SIDE_BACK;
                counted.spanning += own == SIDE_SPANNING;
                scores.addCounts(key, counted);
            }
        }
        if (best < 0 || k.value < bestScore) {
            best = static_cast<int32_t>(c);
            bestScore = k.value;
            // Every polygon that leads the scan at some point is spent, not only the
            // final choice.
            flags[c] = 0;
            scores.retire(position);
        }
    }
    return best;
}

} // namespace

PlaneSide PolyPack::classify(const PackPolygon& polygon, const PackPlane& plane) {
    return classifyPoints(polygon.outline.data(), polygon.outline.size(), plane);
}

bool PolyPack::buildTree() {
    m_nodes.clear();
    m_leaves.clear();
    const size_t n = m_polygons.size();
    if (n == 0) {
        logMessage("PolyPack::buildTree: the pack has no polygons to build a tree over\n");
        return false;
    }

    const float start = Timer::now();
    const PlaneClassifier classifier(m_polygons);
    m_splitterFlags.assign(n, 1);

    std::vector<uint32_t> all(n);
    for (size_t i = 0; i < n; ++i)
        all[i] = static_cast<uint32_t>(i);
    const int32_t root = buildFrom(classifier, std::move(all));
    if (root < 0) {
        BspNode node;
        node.plane = m_polygons[0].plane;
        node.front = -1;
        node.back = -1;
        m_nodes.push_back(node);
    }
    computeRayBounds();
    m_buildSeconds = Timer::now() - start;

    writeDump(classifier);
    return true;
}

// Builds the subtree of list and returns its child value. The recursion of the
// method (node, then its front subtree, then its back subtree) runs on an explicit
// stack, so deep trees cannot exhaust the call stack; nodes and leaves are numbered
// exactly as the recursion would number them.
//
// A splitter with nothing of its list behind it leaves its front list the list itself
// (coplanar polygons stay in front): the front subtree then scores the same list again,
// and takes over what the scan learnt of its candidates instead of counting them anew.
int32_t PolyPack::buildFrom(const PlaneClassifier& classifier, std::vector<uint32_t> list) {
    struct Task {
        std::vector<uint32_t> list;
        ListScores known; // empty when nothing is known yet
        int32_t parent;   // -1 for the root
        bool front;
    };
    int32_t rootValue = 0;
    std::vector<Task> pending;
    pending.push_back({std::move(list), {}, -1, true});

    while (!pending.empty()) {
        Task task = std::move(pending.back());
        pending.pop_back();

        int32_t value;
        std::vector<uint32_t> backList;
        if (task.known.empty()) task.known.reset(task.list.size());
        const int32_t splitter = chooseSplitter(task.list, m_splitterFlags, m_balanceWeight,
                                                m_splitWeight, classifier, m_polygons, task.known);
        bool unchanged = false;
        if (splitter < 0) {
            m_leaves.push_back(BspLeaf{std::move(task.list)});
            value = -static_cast<int32_t>(m_leaves.size());
        } else {
            // A plane with every polygon of the list in front of or on it (by the counts of
            // its plane, the splitter itself included) keeps the list whole and sends nothing
            // back, as the split below would find one polygon at a time.
            const PlaneCounts* counts =
                task.known.counts(PlaneKey(m_polygons[size_t(splitter)].plane));
            if (counts && counts->back == 0 && counts->spanning == 0) {
                unchanged = true;
            } else {
                const PlaneClassifier::Probe probe = classifier.probe(uint32_t(splitter));
                size_t kept = 0;
                for (uint32_t j : task.list) {
                    const uint8_t side = classifier.side(probe, j);
                    if (side != SIDE_FRONT) backList.push_back(j);
                    if (side != SIDE_BACK) task.list[kept++] = j;
                }
                unchanged = kept == task.list.size();
                task.list.resize(kept);
            }
            BspNode node;
            node.plane = m_polygons[size_t(splitter)].plane;
            m_nodes.push_back(node);
            value = static_cast<int32_t>(m_nodes.size()) - 1;
        }

        if (task.parent < 0)
            rootValue = value;
        else if (task.front)
            m_nodes[size_t(task.parent)].front = value;
        else
            m_nodes[size_t(task.parent)].back = value;

        if (splitter >= 0) {
            if (!unchanged) task.known = ListScores();
            pending.push_back({std::move(backList), {}, value, false});
            pending.push_back({std::move(task.list), std::move(task.known), value, true});
        }
    }
    return rootValue;
}

void PolyPack::writeDump(const PlaneClassifier& classifier) const {
    // The dump only goes to logs; skip the formatting when nobody listens.
    const LogManager* logs = LogManager::instance();
    if (!logs || logs->logs().empty()) return;
    const size_t n = m_polygons.size();

    // Row i: every polygon against polygon i's plane, classified as the line is written.
    logMessage("poly intersection\n");
    std::string line;
    for (size_t i = 0; i < n; ++i) {
        line.clear();
        const PlaneClassifier::Probe probe = classifier.probe(uint32_t(i));
        for (size_t j = 0; j < n; ++j) {
            const uint8_t side = classifier.side(probe, uint32_t(j));
            line += side == SIDE_SPANNING ? 'I' : side == SIDE_FRONT ? 'F' : 'B';
            line += ' ';
        }
        line += '\n';
        logMessage(line);
    }

    logMessage("polys\n");
    for (size_t i = 0; i < m_polygons.size(); ++i) {
        const PackPolygon& polygon = m_polygons[i];
        std::ostringstream out;
        out << i << "   " << polygon.plane.normal.x << " " << polygon.plane.normal.y << " "
            << polygon.plane.normal.z << " " << polygon.plane.d << " ";
        for (uint32_t index : polygon.vertexIndices)
            out << index << " ";
        out << "\n";
        logMessage(out.str());
    }

    logMessage("nodes\n");
    for (size_t k = 0; k < m_nodes.size(); ++k) {
        const BspNode& node = m_nodes[k];
        std::ostringstream out;
        out << k << " " << node.plane.normal.x << " " << node.plane.normal.y << " "
            << node.plane.normal.z << " " << node.front << " " << node.back << "\n";
        logMessage(out.str());
    }

    logMessage("\nleafs\n");
    for (size_t l = 0; l < m_leaves.size(); ++l) {
        std::ostringstream out;
        out << l << " ";
        for (uint32_t polygon : m_leaves[l].polygons)
            out << polygon << " ";
        out << "\n";
        logMessage(out.str());
    }
}

} // namespace Vrenn
