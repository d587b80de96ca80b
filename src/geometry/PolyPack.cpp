#include "geometry/PolyPack.h"

#include "core/Log.h"
#include "fs/Image.h"
#include "geometry/Mesh.h"
#include "geometry/PolygonBoundary.h"

#include <algorithm>

namespace Vrenn {

namespace {

// The edges of an outline: within each chain from every point to the next, and from
// the chain's last point back to its first. For a simple polygon (one chain) edge i
// runs from p(i) to p(i+1) mod m.
std::vector<Vec3> outlineEdges(const PackPolygon& polygon) {
    const auto& p = polygon.outline;
    const auto& starts = polygon.outlineChains;
    std::vector<Vec3> edges;
    edges.reserve(p.size());
    for (size_t c = 0; c < starts.size(); ++c) {
        const size_t begin = starts[c];
        const size_t end = c + 1 < starts.size() ? starts[c + 1] : p.size();
        for (size_t i = begin; i < end; ++i)
            edges.push_back(p[i + 1 < end ? i + 1 : begin] - p[i]);
    }
    return edges;
}

// Fixes a polygon's frame from its outline: axis U along the longest edge (the first of
// equals), the normal from the last edge that stands (nearly) square to the first one,
// turned to agree with the group's normal, V = normal x U, the plane through the first
// point and the extents of all outline points along U and V.
void fixFrame(PackPolygon& polygon) {
    const auto& p = polygon.outline;
    const std::vector<Vec3> edges = outlineEdges(polygon);
    if (p.empty() || edges.empty()) return;

    Vec3 u = edges[0];
    float longest = lengthSquared(u);
    for (size_t i = 1; i < edges.size(); ++i) {
        if (lengthSquared(edges[i]) > longest) {
            longest = lengthSquared(edges[i]);
            u = edges[i];
        }
    }
    if (length(u) > kGeometryEpsilon) u = normalized(u);

    Vec3 normal = polygon.normal;
    const Vec3 e0 = normalized(edges[0]);
    for (size_t i = 1; i < edges.size(); ++i) {
        const Vec3 c = cross(e0, normalized(edges[i]));
        if (length(c) >= 0.99f) normal = dot(c, normal) < 0.0f ? -c : c;
    }

    polygon.normal = normal;
    polygon.axisU = u;
    polygon.axisV = cross(normal, u);
    polygon.plane.normal = normal;
    polygon.plane.d = -dot(normal, p[0]);

    float minA = dot(p[0], u), maxA = minA;
    float minB = dot(p[0], polygon.axisV), maxB = minB;
    for (const Vec3& point : p) {
        const float a = dot(point, u), b = dot(point, polygon.axisV);
        minA = std::min(minA, a);
        maxA = std::max(maxA, a);
        minB = std::min(minB, b);
        maxB = std::max(maxB, b);
    }
    polygon.sizeU = maxA - minA;
    polygon.sizeV = maxB - minB;
    polygon.origin = u * minA + normal * dot(normal, p[0]) + polygon.axisV * minB;
}

} // namespace

TangentFrame TangentFrame::fromColumns(const Vec3& t, const Vec3& b, const Vec3& n) {
    TangentFrame frame;
    const float m[9] = {t.x, b.x, n.x, t.y, b.y, n.y, t.z, b.z, n.z};
    std::copy(m, m + 9, frame.m);
    return frame;
}

PolyPack::PolyPack(int32_t, int32_t balanceWeight, int32_t splitWeight)
    : m_balanceWeight(balanceWeight), m_splitWeight(splitWeight) {}

PolyPack::~PolyPack() = default;

bool PolyPack::addSurface(const std::shared_ptr<Mesh>& mesh, bool writeAtlasCoordinates,
                          bool writeVertexValues) {
    auto refuse = [](const std::string& why) {
        logMessage("PolyPack::addSurface: " + why + "\n");
        return false;
    };
    if (!mesh) return refuse("no mesh");
    const VertexAttribute position = mesh->attribute(USAGE_POSITION);
    const auto& indices = mesh->indices();
    if (!position) return refuse("the mesh has no positions");
    if (indices.size() < 3) return refuse("the mesh has fewer than 3 indices");
    if (*std::max_element(indices.begin(), indices.end()) >= position.vertexCount())
        return refuse("the mesh has indices beyond its vertices");

    clearAtlas();
    PackSurface entry;
    entry.mesh = mesh;
    entry.firstPolygon = static_cast<uint32_t>(m_polygons.size());
    entry.writeAtlasCoordinates = writeAtlasCoordinates;
    entry.writeVertexValues = writeVertexValues;
    const uint32_t surfaceIndex = static_cast<uint32_t>(m_surfaces.size());

    // Gathers triangles into groups: a triangle that shares a vertex with the group
    // being gathered joins it; any other closes the group and starts the next one.
    std::vector<uint32_t> groupOf(position.vertexCount(), 0);
    uint32_t groupId = 1;
    std::vector<uint32_t> group;
    for (size_t t = 0; t + 2 < indices.size(); t += 3) {
        const uint32_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
        const bool joins = !group.empty() && (groupOf[a] == groupId || groupOf[b] == groupId ||
                                              groupOf[c] == groupId);
        if (!joins && !group.empty()) {
            closeGroup(*mesh, group, surfaceIndex);
            group.clear();
            ++groupId;
        }
        group.insert(group.end(), {a, b, c});
        groupOf[a] = groupOf[b] = groupOf[c] = groupId;
    }
    if (!group.empty()) closeGroup(*mesh, group, surfaceIndex);

    entry.polygonCount = static_cast<uint32_t>(m_polygons.size()) - entry.firstPolygon;
    m_surfaces.push_back(std::move(entry));
    return true;
}

void PolyPack::closeGroup(const Mesh& mesh, const std::vector<uint32_t>& groupIndices,
                          uint32_t surfaceIndex) {
    const VertexAttribute position = mesh.attribute(USAGE_POSITION);
    const VertexAttribute normal = mesh.attribute(USAGE_NORMAL);
    const uint32_t number = static_cast<uint32_t>(m_polygons.size());

    PackPolygon polygon;
    polygon.surface = surfaceIndex;
    polygon.plane.d = 0.0f;
    polygon.plane.extra = 4;

    polygon.vertexIndices = groupIndices;
    std::sort(polygon.vertexIndices.begin(), polygon.vertexIndices.end());
    polygon.vertexIndices.erase(
        std::unique(polygon.vertexIndices.begin(), polygon.vertexIndices.end()),
        polygon.vertexIndices.end());

    PolygonBoundary boundary = traceBoundary(groupIndices.data(), groupIndices.size());
    if (boundary.outline.empty()) {
        // A closed group (every edge shared) has no outline; its vertices stand in, so
        // the frame still spans all of it.
        logMessage("PolyPack::addSurface: polygon " + std::to_string(number) +
                   " has no boundary edges; its vertices serve as its outline\n");
        boundary.outline = polygon.vertexIndices;
        boundary.chainStarts = {0};
    } else if (!boundary.isSingleLoop()) {
        logMessage("PolyPack::addSurface: polygon " + std::to_string(number) +
                   " has no single closed outline (" + std::to_string(boundary.chains()) +
                   (boundary.closed ? " closed" : " open") +
                   " chains); its outline runs through all of them\n");
    }
    polygon.outlineIndices = std::move(boundary.outline);
    polygon.outlineChains = std::move(boundary.chainStarts);
    polygon.outline.reserve(polygon.outlineIndices.size());
    for (uint32_t index : polygon.outlineIndices)
        polygon.outline.push_back(position.getVec3(index));

    // The group's normal: the mesh normal at its first triangle, or that triangle's own
    // normal when the mesh has none.
    const uint32_t first = groupIndices[0];
    if (normal && first < normal.vertexCount()) {
        polygon.normal = normal.getVec3(first);
    } else {
        const Vec3 pa = position.getVec3(groupIndices[0]);
        polygon.normal = normalized(
            cross(position.getVec3(groupIndices[1]) - pa, position.getVec3(groupIndices[2]) - pa));
    }
    fixFrame(polygon);

    // The mesh frame at the lowest vertex; the polygon's own axes stand in for
    // elements the mesh lacks.
    const uint32_t lowest = polygon.vertexIndices.front();
    auto meshVector = [&](uint32_t usage, const Vec3& fallback) {
        const VertexAttribute attribute = mesh.attribute(usage);
        return attribute && lowest < attribute.vertexCount() ? attribute.getVec3(lowest) : fallback;
    };
    m_tangentFrames.push_back(TangentFrame::fromColumns(meshVector(USAGE_TANGENT, polygon.axisU),
                                                        meshVector(USAGE_BINORMAL, polygon.axisV),
                                                        meshVector(USAGE_NORMAL, polygon.normal)));
    m_polygons.push_back(std::move(polygon));
}

} // namespace Vrenn
