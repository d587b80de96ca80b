// Tree construction of the polygon pack: the classification matrix, the choice of
// splitting planes and the log dump of the result.
#include "app/Log.h"
#include "app/Timer.h"
#include "geometry/PolyPack.h"

#include <cstdlib>
#include <new>
#include <sstream>

namespace Vrenn {

PlaneSide PolyPack::classify(const PackPolygon& polygon, const PackPlane& plane) {
    float fixed = 0.0f;
    for (const Vec3& v : polygon.outline) {
        const float s = plane.distance(v);
        if (std::fabs(s) <= kGeometryEpsilon) continue; // on the plane
        if (fixed == 0.0f)
            fixed = s;
        else if (fixed * s < 0.0f)
            return SIDE_SPANNING;
    }
    return fixed < 0.0f ? SIDE_BACK : SIDE_FRONT;
}

bool PolyPack::buildTree() {
    m_lastError.clear();
    m_nodes.clear();
    m_leaves.clear();
    const size_t n = m_polygons.size();
    if (n == 0) {
        m_lastError = "the pack has no polygons to build a tree over";
        logMessage("PolyPack::buildTree: " + m_lastError + "\n");
        return false;
    }
    const uint64_t bytes = uint64_t(n) * n;
    bool allocated = bytes <= m_matrixByteLimit && bytes <= SIZE_MAX;
    if (allocated) {
        try {
            m_matrix.assign(size_t(bytes), SIDE_FRONT);
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        m_lastError = std::to_string(n) + " polygons need a " + std::to_string(bytes) +
                      "-byte classification matrix, more than this machine's memory allows (" +
                      std::to_string(m_matrixByteLimit) + " bytes)";
        logMessage("PolyPack::buildTree: " + m_lastError + "\n");
        return false;
    }
    m_matrixSize = n;

    const float start = Timer::now();
    for (size_t i = 0; i < n; ++i) {
        uint8_t* row = m_matrix.data() + i * n;
        const PackPlane& plane = m_polygons[i].plane;
        for (size_t j = 0; j < n; ++j)
            if (j != i) row[j] = classify(m_polygons[j], plane);
    }
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
    m_buildSeconds = Timer::now() - start;

    writeDump();
    m_matrix.clear();
    m_matrix.shrink_to_fit();
    m_matrixSize = 0;
    return true;
}

int32_t PolyPack::chooseSplitter(const std::vector<uint32_t>& list) {
    const size_t n = m_matrixSize;
    int32_t best = -1;
    int64_t bestScore = 0;
    for (uint32_t c : list) {
        if (!m_splitterFlags[c]) continue;
        const uint8_t* row = m_matrix.data() + size_t(c) * n;
        int64_t front = 0, back = 0, spanning = 0;
        for (uint32_t j : list) {
            if (j == c) continue;
            switch (row[j]) {
            case SIDE_FRONT:
                ++front;
                break;
            case SIDE_BACK:
                ++back;
                break;
            default:
                ++spanning;
                break;
            }
        }
        const int64_t score =
            int64_t(m_balanceWeight) * std::llabs(back - front) + int64_t(m_splitWeight) * spanning;
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
