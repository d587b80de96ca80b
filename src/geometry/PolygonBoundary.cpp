#include "geometry/PolygonBoundary.h"

#include <cstdint>
#include <unordered_map>

namespace Vrenn {

namespace {

struct Edge {
    uint32_t from;
    uint32_t to;
    bool alive;
};

uint64_t edgeKey(uint32_t from, uint32_t to) {
    return (uint64_t(from) << 32) | to;
}

// Groups this small (the common case: a quad or a short fan) are handled with plain
// scans; larger ones with hash maps, which give the same result.
constexpr size_t kLinearLimit = 96;

class EdgeList {
public:
    explicit EdgeList(size_t expected) : m_hashed(expected > kLinearLimit) {
        m_edges.reserve(expected);
    }

    // Adds a directed edge, or removes the first live edge running the other way.
    void add(uint32_t from, uint32_t to) {
        if (m_hashed) {
            auto reverse = m_byKey.find(edgeKey(to, from));
            if (reverse != m_byKey.end()) {
                auto& positions = reverse->second;
                while (!positions.empty() && !m_edges[positions.front()].alive)
                    positions.erase(positions.begin());
                if (!positions.empty()) {
                    m_edges[positions.front()].alive = false;
                    positions.erase(positions.begin());
                    return;
                }
            }
            m_byKey[edgeKey(from, to)].push_back(m_edges.size());
        } else {
            for (auto& edge : m_edges) {
                if (edge.alive && edge.from == to && edge.to == from) {
                    edge.alive = false;
                    return;
                }
            }
        }
        m_edges.push_back({from, to, true});
    }

    // Drops cancelled edges and indexes the rest by start vertex for chaining.
    void finish() {
        std::vector<Edge> live;
        live.reserve(m_edges.size());
        for (const auto& edge : m_edges)
            if (edge.alive) live.push_back(edge);
        m_edges.swap(live);
        m_byKey.clear();
        m_remaining = m_edges.size();
        if (m_hashed)
            for (size_t i = 0; i < m_edges.size(); ++i)
                m_byStart[m_edges[i].from].push_back(i);
    }

    size_t remaining() const { return m_remaining; }
    const Edge& edge(size_t i) const { return m_edges[i]; }

    // The first live edge in list order.
    size_t firstLive() {
        while (!m_edges[m_firstCursor].alive)
            ++m_firstCursor;
        return m_firstCursor;
    }

    // The first live edge starting at vertex, or SIZE_MAX.
    size_t firstFrom(uint32_t vertex) {
        if (!m_hashed) {
            for (size_t i = m_firstCursor; i < m_edges.size(); ++i)
                if (m_edges[i].alive && m_edges[i].from == vertex) return i;
            return SIZE_MAX;
        }
        auto found = m_byStart.find(vertex);
        if (found == m_byStart.end()) return SIZE_MAX;
        auto& positions = found->second;
        size_t& cursor = m_startCursor[vertex];
        while (cursor < positions.size() && !m_edges[positions[cursor]].alive)
            ++cursor;
        return cursor < positions.size() ? positions[cursor] : SIZE_MAX;
    }

    void use(size_t i) {
        m_edges[i].alive = false;
        --m_remaining;
    }

private:
    bool m_hashed;
    std::vector<Edge> m_edges;
    std::unordered_map<uint64_t, std::vector<size_t>> m_byKey;
    std::unordered_map<uint32_t, std::vector<size_t>> m_byStart;
    std::unordered_map<uint32_t, size_t> m_startCursor;
    size_t m_remaining = 0;
    size_t m_firstCursor = 0;
};

} // namespace

PolygonBoundary traceBoundary(const uint32_t* triangleIndices, size_t indexCount) {
    const size_t triangles = indexCount / 3;
    EdgeList edges(triangles * 3);
    for (size_t t = 0; t < triangles; ++t) {
        const uint32_t* tri = triangleIndices + 3 * t;
        edges.add(tri[0], tri[1]);
        edges.add(tri[1], tri[2]);
        edges.add(tri[2], tri[0]);
    }
    edges.finish();

    PolygonBoundary boundary;
    boundary.outline.reserve(edges.remaining());
    while (edges.remaining() > 0) {
        size_t current = edges.firstLive();
        const uint32_t chainStart = edges.edge(current).from;
        boundary.chainStarts.push_back(static_cast<uint32_t>(boundary.outline.size()));
        for (;;) {
            const Edge& edge = edges.edge(current);
            boundary.outline.push_back(edge.from);
            edges.use(current);
            const uint32_t end = edge.to;
            const size_t next = edges.firstFrom(end);
            if (next == SIZE_MAX) {
                if (end != chainStart) boundary.closed = false;
                break;
            }
            current = next;
        }
    }
    return boundary;
}

} // namespace Vrenn
