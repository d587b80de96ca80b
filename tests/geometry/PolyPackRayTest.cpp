#include "GeometryTestSupport.h"
#include "geometry/PolyPack.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn::Test {
namespace {

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
    EXPECT_TRUE(pack.rayTest({5, 5, 5}, {5, -5, 5}, hit, polygon));
    EXPECT_EQ(polygon, 0);
    ASSERT_EQ(pack.nodes()[0].plane.normal, (Vec3{0, 1, 0}));
    ASSERT_EQ(pack.nodes()[0].plane.d, 0.0f);
    for (float y : {-0.005f, 0.0f, 0.005f}) {
        EXPECT_TRUE(pack.rayTest({30, y, 5}, {30, -50, 5}, hit, polygon)) << y;
        EXPECT_EQ(polygon, 1) << y;
        EXPECT_NEAR(hit.y, -20.0f, 1e-4);
        EXPECT_TRUE(pack.rayTest({30, y, 5}, {30, 50, 5}, hit, polygon)) << y;
        EXPECT_EQ(polygon, 2) << y;
        EXPECT_NEAR(hit.y, 20.0f, 1e-4);
        // Slanted, as the bake's rays mostly are.
        EXPECT_TRUE(pack.rayTest({25, y, 5}, {35, -50, 6}, hit, polygon)) << y;
        EXPECT_EQ(polygon, 1) << y;
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
        for (size_t f = 0; f < faces.size() && !ambiguous; ++f) {
            const Face& face = faces[f];
            const double da = dot(face.n, a - face.p), db = dot(face.n, b - face.p);
            if (std::fabs(da) < 0.05 || std::fabs(db) < 0.05) {
                ambiguous = true;
                break;
            }
            if (!(da > 0 && db < 0)) continue;
            const double t = da / (da - db);
            const double px = a.x + t * (b.x - a.x), py = a.y + t * (b.y - a.y),
                         pz = a.z + t * (b.z - a.z);
            const double rx = px - face.p.x, ry = py - face.p.y, rz = pz - face.p.z;
            const double s =
                (rx * face.a.x + ry * face.a.y + rz * face.a.z) / double(lengthSquared(face.a));
            const double u =
                (rx * face.b.x + ry * face.b.y + rz * face.b.z) / double(lengthSquared(face.b));
            const double margin = 0.01;
            if (s < -margin || s > 1 + margin || u < -margin || u > 1 + margin) continue;
            if (s < margin || s > 1 - margin || u < margin || u > 1 - margin) {
                ambiguous = true;
                break;
            }
            if (t < bestT) {
                bestT = t;
                expected = int(f);
            }
        }
        if (ambiguous) continue;
        Vec3 hit;
        int32_t polygon = -1;
        const bool blocked = pack.rayTest(a, b, hit, polygon);
        ASSERT_EQ(polygon, expected) << "ray " << ray;
        ASSERT_EQ(blocked, expected >= 0);
        if (blocked) {
            const Vec3 point = a + (b - a) * float(bestT);
            EXPECT_NEAR(length(hit - point), 0.0f, 1e-2f) << "ray " << ray;
            ++hits;
        }
        ++compared;
    }
    EXPECT_GT(compared, 3000);
    EXPECT_GT(hits, 300);
}

} // namespace
} // namespace Vrenn::Test
