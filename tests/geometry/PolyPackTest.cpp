#include "geometry/PolyPack.h"

#include "GeometryTestSupport.h"
#include "geometry/PolygonBoundary.h"

#include <gtest/gtest.h>
#include <set>

namespace Vrenn::Test {
namespace {

bool allFinite(const PackPolygon& p) {
    bool finite = isFinite(p.normal) && isFinite(p.axisU) && isFinite(p.axisV) &&
                  isFinite(p.origin) && std::isfinite(p.sizeU) && std::isfinite(p.sizeV) &&
                  isFinite(p.plane.normal) && std::isfinite(p.plane.d);
    for (const Vec3& v : p.outline)
        finite = finite && isFinite(v);
    return finite;
}

TEST(PolyPack, ARectangleGetsItsOutlineFrameAndPlane) {
    // A 4 x 2 rectangle at height 5 facing +y, as the fan (0,1,2), (0,2,3).
    auto mesh = makeMesh({{0, 5, 0}, {0, 5, 2}, {4, 5, 2}, {4, 5, 0}}, {0, 1, 2, 0, 2, 3});
    ASSERT_TRUE(mesh->computeNormals());
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(pack.addSurface(mesh, true, false));
    ASSERT_EQ(pack.polygons().size(), 1u);
    const PackPolygon& p = pack.polygons()[0];

    // The shared edge (0,2)/(2,0) cancels; the rest chain from the first edge.
    EXPECT_EQ(p.outlineIndices, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(p.vertexIndices, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(p.outlineChains, (std::vector<uint32_t>{0}));
    EXPECT_EQ(p.outline[2], (Vec3{4, 5, 2}));
    // Edges: (0,0,2), (4,0,0), (0,0,-2), (-4,0,0); the first of the two longest is U.
    expectNear(p.axisU, {1, 0, 0});
    expectNear(p.normal, {0, 1, 0});
    expectNear(p.axisV, {0, 0, -1}); // normal x U
    expectNear(p.plane.normal, {0, 1, 0});
    EXPECT_FLOAT_EQ(p.plane.d, -5.0f);
    EXPECT_EQ(p.plane.extra, 4u);
    EXPECT_FLOAT_EQ(p.sizeU, 4.0f);
    EXPECT_FLOAT_EQ(p.sizeV, 2.0f);
    // Origin: min(p.U) U + (n.p0) n + min(p.V) V = 0 U + 5 n + (-2) V.
    expectNear(p.origin, {0, 5, 2});
    expectNear(p.origin + p.axisU * p.sizeU + p.axisV * p.sizeV, {4, 5, 0});
}

TEST(PolyPack, TrianglesJoinTheCurrentGroupWhenTheyShareAVertex) {
    // A (0,1,2); B (2,3,4) shares vertex 2 with A; C (5,6,7) starts a new group;
    // D (0,8,9) shares vertex 0 with A, but A's group is closed, so D starts another.
    std::vector<Vec3> positions;
    for (int i = 0; i < 10; ++i)
        positions.push_back({float(i), float(i * i % 7), 0});
    auto mesh = makeMesh(positions, {0, 1, 2, 2, 3, 4, 5, 6, 7, 0, 8, 9});
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(pack.addSurface(mesh, true, true));
    ASSERT_EQ(pack.polygons().size(), 3u);
    EXPECT_EQ(pack.polygons()[0].vertexIndices, (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(pack.polygons()[1].vertexIndices, (std::vector<uint32_t>{5, 6, 7}));
    EXPECT_EQ(pack.polygons()[2].vertexIndices, (std::vector<uint32_t>{0, 8, 9}));

    // A second surface continues the numbering and keeps its own entry.
    ASSERT_TRUE(pack.addSurface(mesh, false, false));
    ASSERT_EQ(pack.surfaces().size(), 2u);
    EXPECT_EQ(pack.surfaces()[1].firstPolygon, 3u);
    EXPECT_EQ(pack.surfaces()[1].polygonCount, 3u);
    EXPECT_EQ(pack.polygons()[4].surface, 1u);
    EXPECT_EQ(pack.tangentFrames().size(), 6u);
}

TEST(PolyPack, MeshesWithoutUsableTrianglesAddNothingAndSayWhy) {
    LogCapture log;
    PolyPack pack(4, 3, 4);
    EXPECT_FALSE(pack.addSurface(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1}), true, true));
    EXPECT_FALSE(
        pack.addSurface(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 3}), true, true));
    auto noPositions = std::make_shared<Mesh>();
    noPositions->addStream(nullptr, 3, 8, {VertexElement{0, USAGE_TEXCOORD, 0, 0, 2, 0}});
    noPositions->setIndices(nullptr, 3);
    EXPECT_FALSE(pack.addSurface(noPositions, true, true));
    EXPECT_FALSE(pack.addSurface(nullptr, true, true));
    EXPECT_TRUE(pack.polygons().empty());
    EXPECT_TRUE(pack.surfaces().empty());
    EXPECT_TRUE(pack.tangentFrames().empty());
    EXPECT_FALSE(pack.buildTree());
    EXPECT_TRUE(pack.nodes().empty());
    EXPECT_EQ(log.text(), "PolyPack::addSurface: the mesh has fewer than 3 indices\n"
                          "PolyPack::addSurface: the mesh has indices beyond its vertices\n"
                          "PolyPack::addSurface: the mesh has no positions\n"
                          "PolyPack::addSurface: no mesh\n"
                          "PolyPack::buildTree: the pack has no polygons to build a tree over\n");
}

TEST(PolyPack, TangentFrameIsTakenAtTheLowestVertexIndex) {
    // Texture u runs along -x at vertex 0 only (through the second triangle), so the
    // frame at the lowest index differs from the one at the group's first index.
    auto mesh = makeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {3, 1, 2, 3, 0, 1},
                         {5, 0, 0, 0, 0, 1, 0, 1});
    ASSERT_TRUE(mesh->computeTangentFrame());
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(pack.addSurface(mesh, true, true));
    const TangentFrame& frame = pack.tangentFrames()[0];
    expectNear(frame.tangent(), mesh->attribute(USAGE_TANGENT).getVec3(0));
    expectNear(frame.binormal(), mesh->attribute(USAGE_BINORMAL).getVec3(0));
    expectNear(frame.normal(), mesh->attribute(USAGE_NORMAL).getVec3(0));
    // Row by row, columns T, B, N: toWorld maps the axes to the columns.
    expectNear(frame.toWorld({0, 0, 1}), frame.normal());
    expectNear(frame.toWorld({1, 0, 0}), frame.tangent());
}

TEST(PolyPack, BoundaryChainsAlongTheEdgesOfLargeGroups) {
    // A 12 x 12 grid of quads sharing vertices is one group whose boundary is the
    // 48-edge perimeter; small and large groups take different internal paths.
    for (int cells : {2, 12}) {
        std::vector<Vec3> positions;
        std::vector<uint32_t> indices;
        const int side = cells + 1;
        for (int z = 0; z < side; ++z)
            for (int x = 0; x < side; ++x)
                positions.push_back({float(x), 0, float(z)});
        for (int z = 0; z < cells; ++z)
            for (int x = 0; x < cells; ++x) {
                const uint32_t a = z * side + x, b = a + 1, c = a + side + 1, d = a + side;
                indices.insert(indices.end(), {a, d, c, a, c, b});
            }
        const PolygonBoundary boundary = traceBoundary(indices.data(), indices.size());
        EXPECT_TRUE(boundary.isSingleLoop());
        ASSERT_EQ(boundary.outline.size(), size_t(4 * cells));
        // Consecutive outline points are one grid step apart and on the perimeter.
        for (size_t i = 0; i < boundary.outline.size(); ++i) {
            const Vec3 p = positions[boundary.outline[i]];
            const Vec3 q = positions[boundary.outline[(i + 1) % boundary.outline.size()]];
            EXPECT_FLOAT_EQ(length(q - p), 1.0f);
            EXPECT_TRUE(p.x == 0 || p.z == 0 || p.x == cells || p.z == cells);
        }
        std::set<uint32_t> distinct(boundary.outline.begin(), boundary.outline.end());
        EXPECT_EQ(distinct.size(), boundary.outline.size());
    }
}

TEST(PolyPack, BoundariesThatAreNotOneLoopAndDegenerateGroupsGiveFinitePolygons) {
    LogCapture log;
    PolyPack pack(4, 3, 4);
    auto add = [&pack](const std::vector<Vec3>& positions, const std::vector<uint32_t>& indices) {
        auto mesh = makeMesh(positions, indices);
        EXPECT_TRUE(mesh->computeNormals());
        EXPECT_TRUE(pack.addSurface(mesh, true, true));
        return pack.polygons().back();
    };
    // A square ring: outer square 0-3 (side 4), inner square 4-7 (side 2), 8 triangles.
    const std::vector<Vec3> ring = {{0, 0, 0}, {4, 0, 0}, {4, 0, 4}, {0, 0, 4},
                                    {1, 0, 1}, {3, 0, 1}, {3, 0, 3}, {1, 0, 3}};
    const PackPolygon p0 =
        add(ring, {0, 4, 1, 1, 4, 5, 1, 5, 2, 2, 5, 6, 2, 6, 3, 3, 6, 7, 3, 7, 0, 0, 7, 4});
    // Both loops are in the outline, so the frame covers the whole ring.
    EXPECT_EQ(std::set<uint32_t>(p0.outlineIndices.begin(), p0.outlineIndices.end()),
              (std::set<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(p0.outlineChains.size(), 2u);
    // The frame follows the real edges, never a jump between the loops.
    EXPECT_FLOAT_EQ(p0.sizeU, 4.0f);
    EXPECT_FLOAT_EQ(p0.sizeV, 4.0f);
    expectNear(p0.plane.normal, {0, 1, 0});
    // A closed tetrahedron with shared vertices: every edge cancels.
    const PackPolygon p1 =
        add({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 2, 1, 0, 1, 3, 0, 3, 2, 1, 2, 3});
    EXPECT_EQ(p1.outlineIndices, (std::vector<uint32_t>{0, 1, 2, 3}));
    // Two triangles touching at one vertex, and a triangle folded onto itself: chains 0-1-2,
    // 2-3-4 and the folded triangle's leftover edge 4-4.
    const PackPolygon p2 =
        add({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}}, {0, 1, 2, 2, 3, 4, 4, 4, 4});
    EXPECT_EQ(p2.outlineIndices.size(), 7u);
    EXPECT_EQ(p2.outlineChains, (std::vector<uint32_t>{0, 3, 6}));
    // Without normals: a triangle with all corners on one index, and one with two equal corners.
    ASSERT_TRUE(pack.addSurface(makeMesh({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, {0, 0, 0, 1, 1, 2}),
                                true, true));
    ASSERT_EQ(pack.polygons().size(), 5u);
    for (const PackPolygon& polygon : pack.polygons())
        EXPECT_TRUE(allFinite(polygon));
    EXPECT_TRUE(pack.buildTree());
    const std::string text = log.text();
    for (const char* line : {"polygon 0 has no single closed outline (2 closed chains)",
                             "polygon 1 has no boundary edges",
                             "polygon 2 has no single closed outline (3 closed chains)"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(PolyPack, ClassificationAgainstAPlane) {
    PackPlane floor; // y = 1, facing +y
    floor.normal = {0, 1, 0};
    floor.d = -1;
    // Coplanar counts as in front; points within the epsilon count as on the plane.
    const std::pair<std::vector<Vec3>, PlaneSide> cases[] = {
        {{{0, 2, 0}, {1, 3, 0}, {0, 2, 1}}, SIDE_FRONT},
        {{{0, 0, 0}, {1, -3, 0}, {0, 0, 1}}, SIDE_BACK},
        {{{0, 0, 0}, {1, 3, 0}, {0, 1, 1}}, SIDE_SPANNING},
        {{{0, 1, 0}, {5, 1, 0}, {0, 1, 5}}, SIDE_FRONT},
        {{{0, 1, 0}, {5, 1, 0}, {0, 0.5f, 5}}, SIDE_BACK},
        {{{0, 1.0000001f, 0}, {5, 0.5f, 0}}, SIDE_BACK}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        PackPolygon polygon;
        polygon.outline = cases[i].first;
        EXPECT_EQ(PolyPack::classify(polygon, floor), cases[i].second) << "case " << i;
    }
}

} // namespace
} // namespace Vrenn::Test
