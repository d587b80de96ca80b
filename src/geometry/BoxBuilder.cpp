#include "geometry/BoxBuilder.h"

#include "geometry/Mesh.h"

#include <array>
#include <cmath>
#include <vector>

namespace Vrenn {

namespace {

struct BoxSide {
    Vec3 normal; // outward
    Vec3 u, v;   // in-plane axes with u x v = normal
};

// u x v = normal for each side, so corners taken in the order (-u,-v), (u,-v), (u,v),
// (-u,v) turn counter-clockwise seen from outside.
constexpr std::array<BoxSide, 6> kSides{{
    {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
    {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
    {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
    {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
    {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
}};

Vec3 scaled(const Vec3& a, const Vec3& b) {
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}

bool usable(float extent) {
    return std::isfinite(extent) && extent > 0.0f;
}

} // namespace

bool buildBox(Mesh& mesh, const Vec3& size, BoxFacing facing) {
    if (!usable(size.x) || !usable(size.y) || !usable(size.z)) return false;
    if (mesh.streamCount() != 0) return false;
    const Vec3 half = size * 0.5f;
    const bool inward = facing == BoxFacing::Inward;
    std::vector<float> vertices;
    std::vector<uint32_t> indices;
    vertices.reserve(24 * 6);
    indices.reserve(36);
    for (const BoxSide& side : kSides) {
        const uint32_t base = static_cast<uint32_t>(vertices.size() / 6);
        const Vec3 normal = inward ? side.normal * -1.0f : side.normal;
        for (const auto& [su, sv] : {std::pair{-1.0f, -1.0f}, std::pair{1.0f, -1.0f},
                                     std::pair{1.0f, 1.0f}, std::pair{-1.0f, 1.0f}}) {
            const Vec3 p = scaled(side.normal + side.u * su + side.v * sv, half);
            vertices.insert(vertices.end(), {p.x, p.y, p.z, normal.x, normal.y, normal.z});
        }
        if (inward)
            indices.insert(indices.end(), {base, base + 2, base + 1, base, base + 3, base + 2});
        else
            indices.insert(indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
    VertexElement position;
    position.usage = USAGE_POSITION;
    VertexElement normal;
    normal.usage = USAGE_NORMAL;
    normal.offset = 12;
    mesh.addStream(vertices.data(), 24, 6 * sizeof(float), {position, normal});
    mesh.setIndices(indices.data(), static_cast<uint32_t>(indices.size()));
    mesh.setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    return true;
}

GeometryBuilder boxBuilder(BoxFacing facing) {
    return [facing](Mesh& mesh, const Vec3& size) { return buildBox(mesh, size, facing); };
}

} // namespace Vrenn
