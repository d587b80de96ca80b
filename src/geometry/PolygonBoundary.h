#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vrenn {

// The outline of a group of triangles: the vertex indices met when walking the edges
// that are not shared by two triangles of the group.
struct PolygonBoundary {
    std::vector<uint32_t> outline;
    // Where each chain begins in outline; chain k runs to the next start (or the end),
    // and its last point joins its first.
    std::vector<uint32_t> chainStarts;
    // How many separate chains the walk needed: 1 for a simple polygon, more for holes,
    // separate pieces or broken chains, 0 when the group has no boundary edge at all
    // (a closed surface).
    uint32_t chains() const { return static_cast<uint32_t>(chainStarts.size()); }
    // Every chain ended where it started.
    bool closed = true;

    bool isSingleLoop() const { return chains() == 1 && closed; }
};

// Traces the boundary of a triangle group (three indices per triangle). Each directed
// edge cancels an earlier edge running the opposite way; the edges left are chained
// by repeatedly taking the first remaining edge that starts where the last one ended.
// When no edge continues the chain but edges remain, a new chain starts with the first
// remaining edge, and its points follow the earlier ones in the outline.
PolygonBoundary traceBoundary(const uint32_t* triangleIndices, size_t indexCount);

} // namespace Vrenn
