#include "geometry/BoxBuilder.h"

#include "geometry/Mesh.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <tuple>

namespace Vrenn {
namespace {

using Key = std::tuple<float, float, float>;
Key key(const Vec3& p) {
    return {p.x, p.y, p.z};
}

Vec3 vertex(const VertexAttribute& attribute, uint32_t i) {
    return attribute.getVec3(i);
}

// Checks a box mesh as a closed shell whose triangles all face one way: every edge
// is met once in each direction (so no triangle is flipped against its neighbours),
// each triangle's turning normal agrees with the stored normal and points away from
// the centre (outward) or towards it (inward), and the triangles cover the box's
// surface exactly once.
void expectClosedBox(const Mesh& mesh, const Vec3& size, bool outward) {
    ASSERT_EQ(mesh.vertexCount(), 24u);
    ASSERT_EQ(mesh.indices().size(), 36u);
    EXPECT_EQ(mesh.primitiveType(), uint32_t(PRIMITIVE_TRIANGLE_LIST));
    EXPECT_EQ(mesh.primitiveCount(), 12u);
    const VertexAttribute position = mesh.attribute(USAGE_POSITION);
    const VertexAttribute normal = mesh.attribute(USAGE_NORMAL);
    ASSERT_TRUE(position.valid());
    ASSERT_TRUE(normal.valid());

    BoundingBox box;
    mesh.computeBounds(box);
    EXPECT_EQ(box, BoundingBox::of(size * -0.5f, size * 0.5f));

    std::map<std::pair<Key, Key>, int> edges;
    float area = 0.0f;
    const auto& idx = mesh.indices();
    for (size_t t = 0; t < idx.size(); t += 3) {
        const Vec3 a = vertex(position, idx[t]), b = vertex(position, idx[t + 1]),
                   c = vertex(position, idx[t + 2]);
        const Vec3 turn = cross(b - a, c - a);
        area += 0.5f * std::sqrt(dot(turn, turn));
        const Vec3 centre = (a + b + c) * (1.0f / 3.0f);
        if (outward)
            EXPECT_GT(dot(turn, centre), 0.0f) << "triangle " << t / 3;
        else
            EXPECT_LT(dot(turn, centre), 0.0f) << "triangle " << t / 3;
        for (uint32_t corner : {idx[t], idx[t + 1], idx[t + 2]})
            EXPECT_GT(dot(vertex(normal, corner), turn), 0.0f) << "triangle " << t / 3;
        ++edges[{key(a), key(b)}];
        ++edges[{key(b), key(c)}];
        ++edges[{key(c), key(a)}];
    }
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        const auto reverse = edges.find({edge.second, edge.first});
        EXPECT_TRUE(reverse != edges.end() && reverse->second == 1);
    }
    const float expected = 2.0f * (size.x * size.y + size.y * size.z + size.z * size.x);
    EXPECT_NEAR(area, expected, expected * 1e-5f);
}

TEST(BoxBuilder, BoxesAreClosedCentredShellsFacingTheAskedSide) {
    for (const Vec3& size : {Vec3{100, 100, 100}, Vec3{2, 4, 6}}) {
        Mesh solid;
        ASSERT_TRUE(buildBox(solid, size));
        expectClosedBox(solid, size, /*outward=*/true);
        Mesh room;
        ASSERT_TRUE(buildBox(room, size, BoxFacing::Inward));
        expectClosedBox(room, size, /*outward=*/false);
    }
    // The builder form makes the same mesh.
    Mesh built;
    ASSERT_TRUE(boxBuilder(BoxFacing::Inward)(built, {512, 512, 512}));
    expectClosedBox(built, {512, 512, 512}, /*outward=*/false);
}

TEST(BoxBuilder, RefusesSizesWithoutVolumeAndMeshesAlreadyFilled) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Vec3& size : {Vec3{0, 1, 1}, Vec3{1, -1, 1}, Vec3{1, 1, nan}, Vec3{inf, 1, 1}}) {
        Mesh mesh;
        EXPECT_FALSE(buildBox(mesh, size));
        EXPECT_EQ(mesh.streamCount(), 0u);
        EXPECT_TRUE(mesh.indices().empty());
    }
    Mesh twice;
    ASSERT_TRUE(buildBox(twice, {1, 1, 1}));
    EXPECT_FALSE(buildBox(twice, {1, 1, 1}));
    EXPECT_EQ(twice.streamCount(), 1u);
    EXPECT_EQ(twice.indices().size(), 36u);
}

} // namespace
} // namespace Vrenn
