#include "import/PlanarMesh.h"

#include "geometry/Mesh.h"
#include "geometry/VertexElement.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <map>
#include <set>

namespace Vrenn::Import {

namespace {

// Coplanar within about half a degree, and within a millionth of the soup's size of the
// group's plane.
constexpr float kCoplanarCosine = 0.99996f;
constexpr float kPlaneTolerance = 1e-6f;
// A triangle whose area is below this fraction of its longest edge squared is a sliver
// with no area worth baking.
constexpr float kSliverRatio = 1e-6f;

using Key = std::array<uint32_t, 5>;

Key keyOf(const Vec3& p, const float* uv) {
    // Bit patterns, so that equal corners weld and nothing else does; -0 is 0.
    auto bits = [](float f) { return std::bit_cast<uint32_t>(f == 0.0f ? 0.0f : f); };
    return {bits(p.x), bits(p.y), bits(p.z), uv ? bits(uv[0]) : 0u, uv ? bits(uv[1]) : 0u};
}

} // namespace

std::shared_ptr<Mesh> buildPlanarMesh(const TriangleSoup& soup, PlanarMeshStats& stats) {
    stats = {};
    const size_t triangleCount = soup.corners.size() / 3;
    const bool hasUvs = soup.uvs.size() == soup.corners.size() * 2;

    // Weld corners into vertices (position and texture coordinate) and places (position).
    std::map<Key, uint32_t> vertexIds, placeIds;
    std::vector<uint32_t> cornerVertex(triangleCount * 3), cornerPlace(triangleCount * 3);
    std::vector<size_t> vertexCorner; // a corner of each vertex
    Vec3 low = soup.corners.empty() ? Vec3{} : soup.corners[0], high = low;
    for (size_t c = 0; c < triangleCount * 3; ++c) {
        const Vec3& p = soup.corners[c];
        const auto [vertex, fresh] = vertexIds.try_emplace(
            keyOf(p, hasUvs ? &soup.uvs[c * 2] : nullptr), uint32_t(vertexIds.size()));
        if (fresh) vertexCorner.push_back(c);
        cornerVertex[c] = vertex->second;
        cornerPlace[c] =
            placeIds.try_emplace(keyOf(p, nullptr), uint32_t(placeIds.size())).first->second;
        low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
        high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const float tolerance = kPlaneTolerance * length(high - low);

    // Drop degenerate and repeated triangles; keep the unit normal of the rest.
    std::vector<uint32_t> kept;
    std::vector<Vec3> normals(triangleCount);
    std::set<std::array<uint32_t, 3>> seen;
    for (uint32_t t = 0; t < triangleCount; ++t) {
        const uint32_t* place = &cornerPlace[t * 3];
        const Vec3* p = &soup.corners[t * 3];
        const Vec3 normal = cross(p[1] - p[0], p[2] - p[0]);
        const float longest = std::max(
            {lengthSquared(p[1] - p[0]), lengthSquared(p[2] - p[1]), lengthSquared(p[0] - p[2])});
        const float area = length(normal);
        if (place[0] == place[1] || place[1] == place[2] || place[2] == place[0] ||
            !std::isfinite(area) || !(area > kSliverRatio * longest)) {
            ++stats.degenerate;
            continue;
        }
        // The same corners in the same turn, whichever corner comes first.
        const uint32_t first = uint32_t(std::min_element(place, place + 3) - place);
        if (!seen.insert({place[first], place[(first + 1) % 3], place[(first + 2) % 3]}).second) {
            ++stats.duplicate;
            continue;
        }
        normals[t] = normal * (1.0f / area);
        kept.push_back(t);
    }
    if (kept.empty()) return nullptr;

    // Triangles by the edges (pairs of vertices) they have.
    std::map<std::pair<uint32_t, uint32_t>, std::vector<uint32_t>> edgeTriangles;
    auto edgeKey = [](uint32_t a, uint32_t b) {
        return std::make_pair(std::min(a, b), std::max(a, b));
    };
    for (uint32_t t : kept)
        for (int e = 0; e < 3; ++e)
            edgeTriangles[edgeKey(cornerVertex[t * 3 + e], cornerVertex[t * 3 + (e + 1) % 3])]
                .push_back(t);

    std::vector<float> vertices;
    std::vector<uint32_t> indices;
    std::vector<bool> grouped(triangleCount, false);
    for (uint32_t seed : kept) {
        if (grouped[seed]) continue;
        const Vec3 n = normals[seed];
        const float d = -dot(n, soup.corners[seed * 3]);
        auto inPlane = [&](uint32_t t) {
            if (dot(normals[t], n) < kCoplanarCosine) return false;
            for (int c = 0; c < 3; ++c)
                if (std::fabs(dot(n, soup.corners[t * 3 + c]) + d) > tolerance) return false;
            return true;
        };
        // Gather breadth first, so each triangle shares an edge with an earlier one.
        std::vector<uint32_t> group{seed};
        grouped[seed] = true;
        for (size_t next = 0; next < group.size(); ++next) {
            const uint32_t t = group[next];
            for (int e = 0; e < 3; ++e) {
                const auto& others = edgeTriangles[edgeKey(cornerVertex[t * 3 + e],
                                                           cornerVertex[t * 3 + (e + 1) % 3])];
                for (uint32_t other : others) {
                    if (grouped[other] || !inPlane(other)) continue;
                    grouped[other] = true;
                    group.push_back(other);
                }
            }
        }

        // Texture axes for a group without coordinates: u horizontal, v down the plane.
        const Vec3 up = std::fabs(n.y) < 0.9f ? Vec3{0.0f, 1.0f, 0.0f} : Vec3{0.0f, 0.0f, 1.0f};
        const Vec3 axisU = normalized(cross(up, n));
        const Vec3 axisV = cross(axisU, n);
        std::map<uint32_t, uint32_t> local;
        for (uint32_t t : group) {
            for (int c = 0; c < 3; ++c) {
                const uint32_t vertex = cornerVertex[t * 3 + c];
                const auto [slot, fresh] = local.try_emplace(vertex, uint32_t(vertices.size() / 5));
                if (fresh) {
                    const size_t corner = vertexCorner[vertex];
                    const Vec3& p = soup.corners[corner];
                    const float u =
                        hasUvs ? soup.uvs[corner * 2] : dot(p, axisU) / kPlanarTextureScale;
                    const float v =
                        hasUvs ? soup.uvs[corner * 2 + 1] : dot(p, axisV) / kPlanarTextureScale;
                    vertices.insert(vertices.end(), {p.x, p.y, p.z, u, v});
                }
                indices.push_back(slot->second);
            }
        }
        ++stats.groups;
    }

    auto mesh = std::make_shared<Mesh>();
    const VertexElement position{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0};
    const VertexElement texcoord{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12};
    mesh->addStream(vertices.data(), uint32_t(vertices.size() / 5), 20, {position, texcoord});
    mesh->setIndices(indices.data(), uint32_t(indices.size()));
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    stats.triangles = uint32_t(indices.size() / 3);
    return mesh;
}

} // namespace Vrenn::Import
