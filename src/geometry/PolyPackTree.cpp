// Tree construction of the polygon pack: the classification matrix, the choice of
// splitting planes and the log dump of the result.
#include "core/Log.h"
#include "core/Timer.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <sstream>
#include <thread>

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

// Fills the n x n matrix (row i: every polygon against polygon i's plane; diagonal 1).
//
// Most polygons lie well clear of most planes, so each is first tested as a sphere
// around its outline: when the whole sphere is on one side of the plane by a margin
// far above any rounding of the per-point distances, every point's distance has the
// centre's sign and exceeds the epsilon, and the point-by-point test would give that
// side too. The rest are classified point by point, from one array holding all
// outlines. Large packs split the rows among threads; every entry is computed on its
// own, so the result does not depend on the thread count.
void fillMatrix(const std::vector<PackPolygon>& polygons, uint8_t* matrix) {
    const size_t n = polygons.size();
    std::vector<Vec3> points;
    std::vector<size_t> start(n + 1, 0);
    for (size_t j = 0; j < n; ++j) {
        points.insert(points.end(), polygons[j].outline.begin(), polygons[j].outline.end());
        start[j + 1] = points.size();
    }
    // Per polygon: sphere centre, radius (padded for its own rounding) and the size of
    // the numbers involved, for the margin.
    std::vector<float> cx(n), cy(n), cz(n), radius(n), magnitude(n);
    for (size_t j = 0; j < n; ++j) {
        const size_t count = start[j + 1] - start[j];
        Vec3 centre;
        for (size_t k = start[j]; k < start[j + 1]; ++k)
            centre += points[k];
        if (count > 0) centre = centre * (1.0f / float(count));
        float r = 0.0f, extent = 0.0f;
        for (size_t k = start[j]; k < start[j + 1]; ++k) {
            const Vec3& p = points[k];
            r = std::max(r, length(p - centre));
            extent = std::max({extent, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        }
        cx[j] = centre.x;
        cy[j] = centre.y;
        cz[j] = centre.z;
        radius[j] = r * 1.001f;
        magnitude[j] = extent + r;
    }

    constexpr uint8_t kUndecided = 2;
    auto fillRows = [&](size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            uint8_t* row = matrix + i * n;
            const PackPlane plane = polygons[i].plane;
            const float nx = plane.normal.x, ny = plane.normal.y, nz = plane.normal.z;
            const float d = plane.d;
            // |n|_1 bounds how far a point's distance can move per unit of offset.
            const float l1 = std::fabs(nx) + std::fabs(ny) + std::fabs(nz);
            const float slack = 1e-4f * std::fabs(d) + 4 * kGeometryEpsilon;
            for (size_t j = 0; j < n; ++j) {
                const float centre = nx * cx[j] + ny * cy[j] + nz * cz[j] + d;
                const float reach = l1 * radius[j] + 1e-4f * l1 * magnitude[j] + slack;
                row[j] = centre > reach    ? uint8_t(SIDE_FRONT)
                         : centre < -reach ? uint8_t(SIDE_BACK)
                                           : kUndecided;
            }
            for (size_t j = 0; j < n; ++j)
                if (row[j] == kUndecided)
                    row[j] =
                        classifyPoints(points.data() + start[j], start[j + 1] - start[j], plane);
            row[i] = SIDE_FRONT;
        }
    };
    // Threads pay off only for packs of some thousand polygons and more; smaller
    // matrices fill in well under a millisecond.
    const size_t hardware = std::max(1u, std::thread::hardware_concurrency());
    const size_t threads = std::min<size_t>(hardware, n / 1024 + 1);
    if (threads <= 1) {
        fillRows(0, n);
        return;
    }
    std::vector<std::thread> workers;
    const size_t rowsPerThread = (n + threads - 1) / threads;
    for (size_t t = 0; t < threads; ++t) {
        const size_t begin = t * rowsPerThread, end = std::min(n, begin + rowsPerThread);
        if (begin < end) workers.emplace_back(fillRows, begin, end);
    }
    for (auto& worker : workers)
        worker.join();
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
    const uint64_t bytes = uint64_t(n) * n;
    bool allocated = bytes <= m_matrixByteLimit && bytes <= SIZE_MAX;
    if (allocated) {
        try {
            m_matrix.resize(size_t(bytes));
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        logMessage("PolyPack::buildTree: " + std::to_string(n) + " polygons need a " +
                   std::to_string(bytes) +
                   "-byte classification matrix, more than this machine's memory allows (" +
                   std::to_string(m_matrixByteLimit) + " bytes)\n");
        return false;
    }
    m_matrixSize = n;

    const float start = Timer::now();
    fillMatrix(m_polygons, m_matrix.data());
    m_splitterFlags.assign(n, 1);

    std::vector<uint32_t> all(n);
    for (size_t i = 0; i < n; ++i)
        all[i] = static_cast<uint32_t>(i);
    const int32_t root = buildFrom(std::move(all));
    if (root < 0) {
        BspNode node;
        node.plane = m_polygons[0].plane;
        node.front = -1;
        node.back = -1;
        m_nodes.push_back(node);
    }
    computeRayBounds();
    m_buildSeconds = Timer::now() - start;

    writeDump();
    m_matrix.clear();
    m_matrix.shrink_to_fit();
    m_matrixSize = 0;
    return true;
}

int32_t PolyPack::chooseSplitter(const std::vector<uint32_t>& list) {
    const size_t n = m_matrixSize;
    const int64_t balance = m_balanceWeight, split = m_splitWeight;
    // With non-negative weights a candidate's score can be bounded from below before
    // its count is complete; one that cannot beat the best so far is dropped early.
    // Only candidates that could not have won are dropped, so the choice is unchanged.
    const bool canStopEarly = balance >= 0 && split >= 0;
    constexpr size_t kBlock = 64;
    int32_t best = -1;
    int64_t bestScore = 0;
    for (uint32_t c : list) {
        if (!m_splitterFlags[c]) continue;
        const uint8_t* row = m_matrix.data() + size_t(c) * n;
        int64_t front = 0, back = 0, spanning = 0;
        bool beaten = false;
        for (size_t blockStart = 0; blockStart < list.size() && !beaten; blockStart += kBlock) {
            const size_t blockEnd = std::min(list.size(), blockStart + kBlock);
            for (size_t k = blockStart; k < blockEnd; ++k) {
                const uint32_t j = list[k];
                if (j == c) continue;
                const uint8_t side = row[j];
                front += side == SIDE_FRONT;
                back += side == SIDE_BACK;
                spanning += side == SIDE_SPANNING;
            }
            if (canStopEarly && best >= 0 && blockEnd < list.size()) {
                // The rest can at most close the gap between back and front by one per
                // polygon, and never lower the spanning count.
                const int64_t rest = int64_t(list.size() - blockEnd);
                const int64_t lowest =
                    split * spanning +
                    balance * std::max<int64_t>(0, std::llabs(back - front) - rest);
                beaten = lowest >= bestScore;
            }
        }
        if (beaten) continue;
        const int64_t score = balance * std::llabs(back - front) + split * spanning;
        if (best < 0 || score < bestScore) {
            best = static_cast<int32_t>(c);
            bestScore = score;
            // Every polygon that leads the scan at some point is spent, not only the
            // final choice.
            m_splitterFlags[c] = 0;
        }
    }
    return best;
}

// Builds the subtree of list and returns its child value. The recursion of the
// method (node, then its front subtree, then its back subtree) runs on an explicit
// stack, so deep trees cannot exhaust the call stack; nodes and leaves are numbered
// exactly as the recursion would number them.
int32_t PolyPack::buildFrom(std::vector<uint32_t> list) {
    struct Task {
        std::vector<uint32_t> list;
        int32_t parent; // -1 for the root
        bool front;
    };
    int32_t rootValue = 0;
    std::vector<Task> pending;
    pending.push_back({std::move(list), -1, true});
    const size_t n = m_matrixSize;

    while (!pending.empty()) {
        Task task = std::move(pending.back());
        pending.pop_back();

        int32_t value;
        std::vector<uint32_t> backList;
        const int32_t splitter = chooseSplitter(task.list);
        if (splitter < 0) {
            m_leaves.push_back(BspLeaf{std::move(task.list)});
            value = -static_cast<int32_t>(m_leaves.size());
        } else {
            const uint8_t* row = m_matrix.data() + size_t(splitter) * n;
            size_t kept = 0;
            for (uint32_t j : task.list) {
                const uint8_t side = row[j];
                if (side != SIDE_FRONT) backList.push_back(j);
                if (side != SIDE_BACK) task.list[kept++] = j;
            }
            task.list.resize(kept);
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
            pending.push_back({std::move(backList), value, false});
            pending.push_back({std::move(task.list), value, true});
        }
    }
    return rootValue;
}

void PolyPack::writeDump() const {
    // The dump only goes to logs; skip the formatting when nobody listens.
    const LogManager* logs = LogManager::instance();
    if (!logs || logs->logs().empty()) return;
    const size_t n = m_matrixSize;

    logMessage("poly intersection\n");
    std::string line;
    for (size_t i = 0; i < n; ++i) {
        line.clear();
        const uint8_t* row = m_matrix.data() + i * n;
        for (size_t j = 0; j < n; ++j) {
            line += j == i ? 'F' : row[j] == SIDE_SPANNING ? 'I' : row[j] == SIDE_FRONT ? 'F' : 'B';
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
