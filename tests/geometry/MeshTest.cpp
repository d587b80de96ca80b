#include "geometry/Mesh.h"

#include "GeometryTestSupport.h"
#include "geometry/BoxBuilder.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <tuple>

namespace Vrenn::Test {
namespace {

TEST(Mesh, PrimitiveCountFollowsTheTypeAndFallsBackToVertices) {
    struct Case {
        uint32_t type, n, count;
    } cases[] = {{0, 7, 7}, {1, 7, 3}, {2, 7, 6}, {2, 0, 0}, {3, 7, 2}, {4, 7, 5},
                 {4, 1, 0}, {5, 7, 5}, {5, 0, 0}, {6, 7, 0}, {99, 7, 0}};
    for (const Case& c : cases) {
        Mesh mesh;
        mesh.setIndices(nullptr, c.n);
        mesh.setPrimitiveType(c.type);
        EXPECT_EQ(mesh.primitiveCount(), c.count) << "type " << c.type << " n " << c.n;
    }
    // Without indices the vertex count stands in.
    Mesh mesh;
    mesh.addStream(nullptr, 9, 12, {VertexElement{}});
    mesh.setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    EXPECT_EQ(mesh.primitiveCount(), 3u);
}

TEST(Mesh, NormalsAverageUnitFaceNormalsWhateverTheTriangleSizes) {
    // Vertex 0 is shared by a tiny triangle facing +z and a huge one facing +x: an
    // unweighted average of unit face normals gives (1, 0, 1) / sqrt(2).
    auto mesh = makeMesh({{0, 0, 0}, {0.01f, 0, 0}, {0, 0.01f, 0}, {0, 100, 0}, {0, 0, 100}},
                         {0, 1, 2, 0, 3, 4});
    ASSERT_TRUE(mesh->computeNormals());
    const VertexAttribute normal = mesh->attribute(USAGE_NORMAL);
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal.components(), 3u);
    expectNear(normal.getVec3(0), {0.70710678f, 0, 0.70710678f});
    expectNear(normal.getVec3(1), {0, 0, 1});
    expectNear(normal.getVec3(3), {1, 0, 0});
}

TEST(Mesh, TangentFrameAddsOneStreamAndFollowsTextureU) {
    // A quad in the z = 0 plane facing +z; u = 2x (stretched), v = y.
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3},
                         {0, 0, 2, 0, 2, 1, 0, 1});
    // The stream layout (normals, then tangent and binormal in one stream of 24) is checked where
    // loaded models show it: the vmsh loader and `vrenn mesh info`.
    ASSERT_TRUE(mesh->computeTangentFrame());
    for (uint32_t i = 0; i < 4; ++i) {
        expectNear(mesh->attribute(USAGE_NORMAL).getVec3(i), {0, 0, 1});
        expectNear(mesh->attribute(USAGE_TANGENT).getVec3(i), {1, 0, 0});
        // binormal = normal x tangent
        expectNear(mesh->attribute(USAGE_BINORMAL).getVec3(i), {0, 1, 0});
    }

    // Running it again reuses the streams.
    ASSERT_TRUE(mesh->computeTangentFrame());
    EXPECT_EQ(mesh->streamCount(), 4u);

    // A mirrored texture (u = -x) turns the tangent and binormal around.
    auto mirrored = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {0, 1, 2, 0, 2, 3},
                             {0, 0, -1, 0, -1, 1, 0, 1});
    ASSERT_TRUE(mirrored->computeTangentFrame());
    expectNear(mirrored->attribute(USAGE_TANGENT).getVec3(2), {-1, 0, 0});
    expectNear(mirrored->attribute(USAGE_BINORMAL).getVec3(2), {0, -1, 0});
}

TEST(Mesh, DegenerateTextureMappingNeverYieldsNanOrInfinity) {
    // Triangle 0 has all three texture coordinates equal (determinant 0), triangle 1
    // repeats a corner's coordinates along a line (determinant 0 too); vertex 6 is used
    // by no triangle. Every vertex still gets a finite, unit tangent across its normal.
    auto mesh =
        makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0}, {2, 0, 1}, {5, 5, 5}},
                 {0, 1, 2, 3, 4, 5}, {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0, 1, 1, 2, 2, 7, 7});
    ASSERT_TRUE(mesh->computeTangentFrame());
    const VertexAttribute normal = mesh->attribute(USAGE_NORMAL);
    const VertexAttribute tangent = mesh->attribute(USAGE_TANGENT);
    const VertexAttribute binormal = mesh->attribute(USAGE_BINORMAL);
    for (uint32_t i = 0; i < 7; ++i) {
        const Vec3 t = tangent.getVec3(i), b = binormal.getVec3(i), n = normal.getVec3(i);
        ASSERT_TRUE(isFinite(t) && isFinite(b) && isFinite(n)) << "vertex " << i;
        EXPECT_NEAR(length(t), 1.0f, 1e-6f) << "vertex " << i;
        EXPECT_NEAR(dot(t, n), 0.0f, 1e-6f) << "vertex " << i;
    }
}

// Normals and tangents need indexed triangles with positions (and texture coordinates);
// without, nothing changes. An element reaching past its stride is never read, and indices
// beyond the vertices are skipped.
TEST(Mesh, UnusableTrianglesAndElementsChangeNothing) {
    const std::vector<Vec3> corners = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<float> uv = {0, 0, 1, 0, 0, 1};
    auto noIndices = makeMesh(corners, {}, uv);
    auto noTexcoords = makeMesh(corners, {0, 1, 2});
    auto strip = makeMesh(corners, {0, 1, 2}, uv);
    strip->setPrimitiveType(PRIMITIVE_TRIANGLE_STRIP);
    auto noPositions = std::make_shared<Mesh>();
    noPositions->addStream(nullptr, 3, 8, {VertexElement{0, USAGE_TEXCOORD, 0, 0, 2, 0}});
    noPositions->setIndices(nullptr, 3);
    auto pastStride = std::make_shared<Mesh>(); // 3 floats at offset 4 of an 8-byte stride
    pastStride->addStream(nullptr, 3, 8, {VertexElement{0, USAGE_POSITION, 0, 0, 3, 4}});
    pastStride->setIndices(nullptr, 3);
    for (const auto& mesh : {noIndices, strip, noPositions, pastStride})
        EXPECT_FALSE(mesh->computeNormals());
    for (const auto& mesh : {noIndices, noTexcoords, strip})
        EXPECT_FALSE(mesh->computeTangentFrame());
    for (const auto& [mesh, streams] :
         {std::pair{noIndices, 2u}, {noTexcoords, 1u}, {strip, 2u}, {noPositions, 1u}})
        EXPECT_EQ(mesh->streamCount(), streams);
    EXPECT_FALSE(pastStride->attribute(USAGE_POSITION));
    BoundingBox box;
    pastStride->computeBounds(box);
    EXPECT_TRUE(box.isEmpty());

    auto beyond = makeMesh(corners, {0, 1, 2, 0, 1, 40}, uv);
    ASSERT_TRUE(beyond->computeTangentFrame());
    expectNear(beyond->attribute(USAGE_NORMAL).getVec3(0), {0, 0, 1});
}

// Checks a box mesh as a closed shell whose triangles all face one way: every edge is met
// once in each direction, each triangle's turning normal agrees with the stored normals and
// points away from the centre (outward) or towards it, and the triangles cover the box's
// surface exactly once.
void expectClosedBox(const Mesh& mesh, const Vec3& size, bool outward) {
    ASSERT_EQ(mesh.vertexCount(), 24u);
    EXPECT_EQ(mesh.primitiveType(), uint32_t(PRIMITIVE_TRIANGLE_LIST));
    EXPECT_EQ(mesh.primitiveCount(), 12u);
    const VertexAttribute position = mesh.attribute(USAGE_POSITION);
    const VertexAttribute normal = mesh.attribute(USAGE_NORMAL);
    ASSERT_TRUE(position.valid() && normal.valid());
    BoundingBox box;
    mesh.computeBounds(box);
    EXPECT_EQ(box, BoundingBox::of(size * -0.5f, size * 0.5f));

    using Key = std::tuple<float, float, float>;
    std::map<std::pair<Key, Key>, int> edges;
    float area = 0.0f;
    const auto& idx = mesh.indices();
    for (size_t t = 0; t < idx.size(); t += 3) {
        Vec3 p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = position.getVec3(idx[t + size_t(k)]);
        const Vec3 turn = cross(p[1] - p[0], p[2] - p[0]);
        area += 0.5f * length(turn);
        EXPECT_EQ(dot(turn, p[0] + p[1] + p[2]) > 0.0f, outward) << "triangle " << t / 3;
        for (int k = 0; k < 3; ++k) {
            EXPECT_GT(dot(normal.getVec3(idx[t + size_t(k)]), turn), 0.0f) << "triangle " << t / 3;
            const Vec3 &a = p[k], &b = p[(k + 1) % 3];
            ++edges[{Key{a.x, a.y, a.z}, Key{b.x, b.y, b.z}}];
        }
    }
    for (const auto& [edge, count] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        EXPECT_TRUE(count == 1 && reverse != edges.end() && reverse->second == 1);
    }
    const float expected = 2.0f * (size.x * size.y + size.y * size.z + size.z * size.x);
    EXPECT_NEAR(area, expected, expected * 1e-5f);
}

// Boxes are closed centred shells facing the asked side; sizes without volume and meshes already
// filled are refused, and the mesh is left as it was.
TEST(BoxBuilder, BoxesAreClosedCentredShellsFacingTheAskedSideOrRefused) {
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
    EXPECT_FALSE(buildBox(built, {1, 1, 1}));
    expectClosedBox(built, {512, 512, 512}, /*outward=*/false);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Vec3& size : {Vec3{0, 1, 1}, Vec3{1, -1, 1}, Vec3{1, 1, nan}, Vec3{inf, 1, 1}}) {
        Mesh mesh;
        EXPECT_FALSE(buildBox(mesh, size));
        EXPECT_EQ(mesh.streamCount(), 0u);
        EXPECT_TRUE(mesh.indices().empty());
    }
}

} // namespace
} // namespace Vrenn::Test
