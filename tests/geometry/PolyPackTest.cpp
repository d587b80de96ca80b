#include "geometry/PolyPack.h"

#include "GeometryTestSupport.h"
#include "geometry/PolygonBoundary.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
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

// Polygons 0 and 1: 40 x 40 floors facing up at heights 0 and -5. Polygon 2: a right triangle
// at height 10 facing down over the floors' corner, covering x + z <= 40 of its rectangle.
struct RayScene {
    RayScene() : pack(4, 3, 4) {
        std::vector<Vec3> positions;
        std::vector<uint32_t> indices;
        addQuad(positions, indices, {0, 0, 0}, {0, 0, 40}, {40, 0, 0});
        addQuad(positions, indices, {0, -5, 0}, {0, 0, 40}, {40, 0, 0});
        const uint32_t base = uint32_t(positions.size());
        positions.insert(positions.end(), {{0, 10, 0}, {40, 10, 0}, {0, 10, 40}});
        indices.insert(indices.end(), {base, base + 1, base + 2});
        auto mesh = makeMesh(positions, indices);
        EXPECT_TRUE(mesh->computeNormals());
        EXPECT_TRUE(pack.addSurface(mesh, true, true));
        EXPECT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f));
        EXPECT_TRUE(pack.buildTree());
    }
    int32_t hitPolygon(const Vec3& a, const Vec3& b, Vec3* point = nullptr) const {
        Vec3 hit;
        int32_t polygon = 99;
        const bool blocked = pack.rayTest(a, b, hit, polygon);
        EXPECT_EQ(blocked, polygon >= 0);
        if (point) *point = hit;
        return polygon;
    }
    PolyPack pack;
};

TEST(PolyPackRay, OnlyTheCoveredFrontOfAPolygonBlocks) {
    RayScene scene;
    // The triangle's chart runs along its hypotenuse (from (40, 0) to (0, 40)) and across to
    // the line through its right-angled corner, so the rectangle also holds the two corners
    // beyond the legs.
    const struct {
        const char* what;
        Vec3 a, b;
        int32_t polygon;
    } cases[] = {
        {"leaving the upper floor upwards, away from its front", {30, 0, 30}, {30, 50, 30}, -1},
        {"leaving it downwards: the hit is at the very start", {30, 0, 30}, {30, -3, 30}, -1},
        {"up from the texel origin the bake uses", {30, 0.1f, 30}, {30, 8192, 30}, -1},
        {"lying in the floor's plane", {1, 0, 1}, {39, 0, 39}, -1},
        {"into the triangle", {5, 1, 5}, {5, 30, 5}, 2},
        {"into the triangle near its hypotenuse", {15, 1, 20}, {15, 30, 20}, 2},
        {"into the chart beyond one leg", {20, 1, -12}, {20, 30, -12}, -1},
        {"into the chart beyond the other leg", {-12, 1, 20}, {-12, 30, 20}, -1},
        {"beside the chart", {35, 1, 35}, {35, 30, 35}, -1},
        {"far beside the chart", {-30, 1, 5}, {-30, 30, 5}, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(scene.hitPolygon(c.a, c.b), c.polygon) << c.what;
    // A segment ending just short of a polygon (within 0.01) still hits it, at its end.
    Vec3 hit;
    EXPECT_EQ(scene.hitPolygon({5, 5, 5}, {5, 0.005f, 5}, &hit), 0);
    EXPECT_NEAR(hit.y, 0.005f, 1e-6);
}

TEST(PolyPackRay, NeedsATreeAndAnAtlasAndWalksSegmentsStartingJustBehindASplittingPlane) {
    // The root splits on polygon 0's plane y = 0. Segments that start 0.005 behind it (within
    // the plane's thickness of 0.01) count as starting on it, and reach what lies on either
    // side: polygon 1 below facing up, polygon 2 above facing down.
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(pack.addSurface(quadsMesh({{Vec3{0, 0, 0}, Vec3{0, 0, 10}, Vec3{10, 0, 0}},
                                           {Vec3{20, -20, 0}, Vec3{0, 0, 10}, Vec3{20, 0, 0}},
                                           {Vec3{20, 20, 0}, Vec3{20, 0, 0}, Vec3{0, 0, 10}}}),
                                true, true));
    // Rays need a tree and an atlas.
    Vec3 hit;
    int32_t polygon = 5;
    EXPECT_FALSE(pack.rayTest({5, 5, 5}, {5, -5, 5}, hit, polygon));
    EXPECT_EQ(polygon, -1);
    ASSERT_TRUE(pack.buildTree());
    EXPECT_FALSE(pack.rayTest({5, 5, 5}, {5, -5, 5}, hit, polygon));
    ASSERT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f));
    EXPECT_TRUE(pack.rayTest({5, 5, 5}, {5, -5, 5}, hit, polygon) && polygon == 0);
    ASSERT_EQ(pack.nodes()[0].plane.normal, (Vec3{0, 1, 0}));
    ASSERT_EQ(pack.nodes()[0].plane.d, 0.0f);
    for (float y : {-0.005f, 0.0f, 0.005f}) {
        // Straight down and up, and slanted, as the bake's rays mostly are.
        for (const auto& [startX, end, expected, expectedY] :
             {std::tuple{30.0f, Vec3{30, -50, 5}, 1, -20.0f},
              {30.0f, Vec3{30, 50, 5}, 2, 20.0f},
              {25.0f, Vec3{35, -50, 6}, 1, -20.0f}}) {
            EXPECT_TRUE(pack.rayTest({startX, y, 5}, end, hit, polygon)) << y;
            EXPECT_EQ(polygon, expected) << y;
            EXPECT_NEAR(hit.y, expectedY, 1e-4);
        }
    }
}

// Boxes with random extents, each face its own polygon facing out; rectangles fill their
// charts exactly, so the exact segment-rectangle test is the reference.
TEST(PolyPackRay, AgreesWithTestingEveryPolygonOnRandomBoxes) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-100.0f, 100.0f), extent(5.0f, 40.0f);
    struct Face {
        Vec3 p, a, b, n;
    };
    std::vector<Face> faces;
    std::vector<Vec3> positions;
    std::vector<uint32_t> indices;
    for (int box = 0; box < 24; ++box) {
        const Vec3 lo{coord(rng), coord(rng) * 0.3f, coord(rng)};
        const Vec3 size{extent(rng), extent(rng), extent(rng)};
        const Vec3 hi = lo + size;
        const Vec3 x{size.x, 0, 0}, y{0, size.y, 0}, z{0, 0, size.z};
        // (corner, a, b) with a x b pointing out of the box.
        const Face boxFaces[6] = {{lo, z, y, {-1, 0, 0}}, {{hi.x, lo.y, lo.z}, y, z, {1, 0, 0}},
                                  {lo, x, z, {0, -1, 0}}, {{lo.x, hi.y, lo.z}, z, x, {0, 1, 0}},
                                  {lo, y, x, {0, 0, -1}}, {{lo.x, lo.y, hi.z}, x, y, {0, 0, 1}}};
        for (const Face& f : boxFaces) {
            addQuad(positions, indices, f.p, f.a, f.b);
            faces.push_back(f);
        }
    }
    PolyPack pack(4, 3, 4);
    auto mesh = makeMesh(positions, indices);
    ASSERT_TRUE(mesh->computeNormals());
    ASSERT_TRUE(pack.addSurface(mesh, true, true));
    ASSERT_EQ(pack.polygons().size(), faces.size());
    ASSERT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f));
    ASSERT_TRUE(pack.buildTree());

    int compared = 0, hits = 0;
    std::uniform_real_distribution<float> far(-300.0f, 300.0f);
    for (int ray = 0; ray < 4000; ++ray) {
        const Vec3 a{far(rng), far(rng) * 0.5f, far(rng)}, b{far(rng), far(rng) * 0.5f, far(rng)};
        // The reference, in double precision: the nearest face whose front the segment
        // crosses inside the rectangle. Segments passing within a little of an edge, or
        // starting or ending near a face's plane, are left out as ambiguous.
        int expected = -1;
        double bestT = 2.0;
        bool ambiguous = false;
        auto dotd = [](const Vec3& u, const Vec3& v, const double w[3]) {
            return (double(u.x) - v.x) * w[0] + (double(u.y) - v.y) * w[1] +
                   (double(u.z) - v.z) * w[2];
        };
        for (size_t f = 0; f < faces.size() && !ambiguous; ++f) {
            const Face& face = faces[f];
            const double n[3] = {face.n.x, face.n.y, face.n.z};
            const double da = dotd(a, face.p, n), db = dotd(b, face.p, n);
            ambiguous = std::fabs(da) < 0.05 || std::fabs(db) < 0.05;
            if (ambiguous || !(da > 0 && db < 0)) continue;
            const double t = da / (da - db);
            const double r[3] = {a.x + t * (b.x - a.x) - face.p.x, a.y + t * (b.y - a.y) - face.p.y,
                                 a.z + t * (b.z - a.z) - face.p.z};
            const double s = (r[0] * face.a.x + r[1] * face.a.y + r[2] * face.a.z) /
                             double(lengthSquared(face.a));
            const double u = (r[0] * face.b.x + r[1] * face.b.y + r[2] * face.b.z) /
                             double(lengthSquared(face.b));
            const double margin = 0.01;
            if (s < -margin || s > 1 + margin || u < -margin || u > 1 + margin) continue;
            ambiguous = s < margin || s > 1 - margin || u < margin || u > 1 - margin;
            if (!ambiguous && t < bestT) bestT = t, expected = int(f);
        }
        if (ambiguous) continue;
        Vec3 hit;
        int32_t polygon = -1;
        const bool blocked = pack.rayTest(a, b, hit, polygon);
        ASSERT_EQ(polygon, expected) << "ray " << ray;
        ASSERT_EQ(blocked, expected >= 0);
        if (blocked) {
            EXPECT_NEAR(length(hit - (a + (b - a) * float(bestT))), 0.0f, 1e-2f) << "ray " << ray;
            ++hits;
        }
        ++compared;
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(hits, 300);
}

} // namespace
} // namespace Vrenn::Test
