#include "geometry/OcclusionCaster.h"

#include "GeometryTestSupport.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"

#include <gtest/gtest.h>
#include <random>
#include <tuple>

namespace Vrenn::Test {
namespace {

using Offsets = std::vector<std::array<float, 3>>;

// Blocked rays whose nearest hit the caster found on another polygon than the plain walk's
// first hit (the plain walk stops at the first leaf with a hit, which may hold a hit a little
// past a nearer one in the next leaf).
size_t g_otherPolygon = 0;

// Casts the segments from every start with each build of the caster (all starts at once) and
// checks each answer against the plain walk's: the occlusion answer exactly; the hit is one
// the ray has wherever the plain walk finds one, never farther than the plain walk's, and the
// same from every build and whether the starts are cast together or one by one. Returns how
// many were blocked.
size_t expectPlainWalkAnswers(const PolyPack& pack, const std::vector<Vec3>& starts,
                              const Offsets& offsets, const std::string& what) {
    const size_t count = offsets.size();
    std::vector<uint8_t> expected(starts.size() * count);
    std::vector<int32_t> expectedPolygon(expected.size(), -1);
    std::vector<float> expectedAlong(expected.size(), 0.0f);
    Vec3 hit;
    size_t blockedCount = 0;
    for (size_t r = 0; r < expected.size(); ++r) {
        const Vec3 start = starts[r / count],
                   offset{offsets[r % count][0], offsets[r % count][1], offsets[r % count][2]};
        expected[r] = pack.rayTest(start, start + offset, hit, expectedPolygon[r]) ? 1 : 0;
        if (expected[r]) expectedAlong[r] = dot(hit - start, offset) / dot(offset, offset);
        blockedCount += expected[r];
    }
    std::vector<OcclusionCaster::Hit> firstHits;
    for (CasterKernel kernel : {CasterKernel::Baseline, CasterKernel::Avx2, CasterKernel::Avx512}) {
        OcclusionCaster caster(pack, kernel);
        std::vector<uint8_t> blocked(expected.size(), 7);
        caster.cast(starts.data(), starts.size(), offsets.data(), count, blocked.data());
        std::vector<OcclusionCaster::Hit> hits(expected.size()), alone(expected.size());
        caster.castHits(starts.data(), starts.size(), offsets.data(), count, hits.data());
        for (size_t t = 0; t < starts.size(); ++t)
            caster.castHits(&starts[t], 1, offsets.data(), count, alone.data() + t * count);
        for (size_t r = 0; r < expected.size(); ++r) {
            const OcclusionCaster::Hit &h = hits[r], &other = firstHits.empty() ? h : firstHits[r];
            const int w = pack.atlasWidth();
            const char* fault =
                blocked[r] != expected[r]                ? "the occlusion answer differs"
                : (h.polygon >= 0) != (expected[r] != 0) ? "the hit answer differs"
                : h.polygon >= 0 &&
                        (h.texel < 0 || !pack.coverage().covered(h.texel % w, h.texel / w))
                    ? "the hit texel is not covered"
                : h.polygon >= 0 && h.along > expectedAlong[r] + 1e-5f ? "the hit is farther"
                : std::tie(h.polygon, h.texel, h.along) !=
                            std::tie(alone[r].polygon, alone[r].texel, alone[r].along) ||
                        std::tie(h.polygon, h.texel, h.along) !=
                            std::tie(other.polygon, other.texel, other.along)
                    ? "the hit differs between builds or groupings"
                    : nullptr;
            if (fault) {
                const auto& o = offsets[r % count];
                const Vec3& s = starts[r / count];
                ADD_FAILURE() << what << ", build " << int(caster.kernel())
                              << " (1 baseline, 2 AVX2, 3 AVX-512): ray from (" << s.x << ", "
                              << s.y << ", " << s.z << ") by (" << o[0] << ", " << o[1] << ", "
                              << o[2] << "): " << fault << " (caster " << int(blocked[r])
                              << ", polygon " << h.polygon << " at " << h.along << "; plain walk "
                              << int(expected[r]) << " at " << expectedAlong[r] << ")";
                return blockedCount;
            }
        }
        if (firstHits.empty()) {
            for (size_t r = 0; r < expected.size(); ++r)
                g_otherPolygon += hits[r].polygon != expectedPolygon[r] ? 1 : 0;
            firstHits = hits;
        }
    }
    return blockedCount;
}

size_t expectPlainWalkAnswers(const PolyPack& pack, const Vec3& start, const Offsets& offsets,
                              const std::string& what) {
    return expectPlainWalkAnswers(pack, std::vector<Vec3>{start}, offsets, what);
}

Offsets randomOffsets(std::mt19937& random, size_t count, float length) {
    std::normal_distribution<float> normal;
    Offsets offsets(count);
    for (auto& o : offsets) {
        const Vec3 d = normalized(Vec3{normal(random), normal(random), normal(random)}) * length;
        o = {d.x, d.y, d.z};
    }
    return offsets;
}

// A soup of quads with random planes, sizes and places, some sharing planes and edges, so the
// tree has coplanar sets, spanning polygons and cells listed on both sides.
std::shared_ptr<Mesh> randomSoup(std::mt19937& random, int quads) {
    std::uniform_real_distribution<float> place(-60.0f, 60.0f), size(2.0f, 40.0f);
    std::normal_distribution<float> normal;
    std::vector<std::array<Vec3, 3>> list;
    for (int q = 0; q < quads; ++q) {
        Vec3 n = normalized(Vec3{normal(random), normal(random), normal(random)});
        if (q % 4 == 0) n = Vec3{0, 1, 0}; // axis-aligned families: coplanar sets and grazing
        if (q % 4 == 1) n = Vec3{1, 0, 0};
        const Vec3 helper = std::fabs(n.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
        const Vec3 u = normalized(cross(helper, n)), v = cross(n, u);
        Vec3 origin{place(random), place(random), place(random)};
        if (q % 4 == 0) origin.y = float(int(origin.y) / 20 * 20);
        list.push_back({origin, v * size(random), u * size(random)});
    }
    return quadsMesh(list);
}

TEST(OcclusionCaster, AgreesWithThePlainWalkRayByRayOnRandomSoups) {
    g_otherPolygon = 0;
    std::mt19937 random(2024);
    std::uniform_real_distribution<float> place(-70.0f, 70.0f), length(1.0f, 200.0f);
    size_t rays = 0, blocked = 0;
    for (int soup = 0; soup < 12; ++soup) {
        PolyPack pack(4, 3, 4);
        auto mesh = randomSoup(random, 20 + soup * 6);
        ASSERT_TRUE(mesh->computeNormals());
        ASSERT_TRUE(pack.addSurface(mesh, true, true));
        ASSERT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f));
        ASSERT_TRUE(pack.buildTree());
        const std::string what = "soup " + std::to_string(soup);

        // From random points, in every direction and at many lengths.
        for (int s = 0; s < 40; ++s) {
            const Vec3 start{place(random), place(random), place(random)};
            Offsets offsets = randomOffsets(random, 67, 1.0f);
            for (auto& o : offsets) {
                const float l = length(random);
                o = {o[0] * l, o[1] * l, o[2] * l};
            }
            blocked += expectPlainWalkAnswers(pack, start, offsets, what);
            rays += offsets.size();
        }
        // From points on the splitting planes (and within their thickness), and along them.
        for (size_t k = 0; k < pack.nodes().size(); k += 3) {
            const PackPlane& plane = pack.nodes()[k].plane;
            Vec3 p{place(random), place(random), place(random)};
            p = p - plane.normal * plane.distance(p);
            for (float lift : {0.0f, 0.004f, -0.009f}) {
                Offsets offsets = randomOffsets(random, 33, 150.0f);
                // Segments lying in the plane, and ones leaving it at grazing angles.
                const Vec3 helper =
                    std::fabs(plane.normal.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
                const Vec3 along = normalized(cross(helper, plane.normal)) * 120.0f;
                offsets.push_back({along.x, along.y, along.z});
                const Vec3 grazing = along + plane.normal * 0.005f;
                offsets.push_back({grazing.x, grazing.y, grazing.z});
                offsets.push_back({-grazing.x, -grazing.y, -grazing.z});
                offsets.push_back({0, 0, 0});
                blocked += expectPlainWalkAnswers(pack, p + plane.normal * lift, offsets, what);
                rays += offsets.size();
            }
        }
        // Along the polygons' edges, from just off their corners.
        for (const PackPolygon& polygon : pack.polygons()) {
            const size_t n = polygon.outline.size();
            Offsets offsets;
            for (size_t i = 0; i < n; ++i) {
                const Vec3 edge = polygon.outline[(i + 1) % n] - polygon.outline[i];
                offsets.push_back({edge.x, edge.y, edge.z});
            }
            const Vec3 start = polygon.outline[0] + polygon.normal * 0.003f;
            blocked += expectPlainWalkAnswers(pack, start, offsets, what);
            rays += offsets.size();
        }
        if (HasFailure()) return;
    }
    // Both answers are common, or the comparison would say little; the nearest hit is almost
    // always the plain walk's first.
    EXPECT_LT(g_otherPolygon, blocked / 100);
    EXPECT_GT(rays, 30000u);
    EXPECT_GT(blocked, rays / 10);
    EXPECT_LT(blocked, rays * 9 / 10);
}

TEST(OcclusionCaster, AgreesWithThePlainWalkOnTheDemoSceneFromItsTexels) {
    // The scene, packed as the bake packs it, and rays as the bake casts them: from covered
    // texels lifted 0.1 along the normal, segments of 8192 over the upper hemisphere.
    const auto model = readVmsh(vmshBytes(*DemoSceneBuilder().build()));
    PolyPack pack(4, 3, 4);
    for (const auto& surface : model->surfaces())
        ASSERT_TRUE(pack.addSurface(surface->mesh(), true, true));
    ASSERT_TRUE(pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f));
    ASSERT_TRUE(pack.buildTree());

    g_otherPolygon = 0;
    std::mt19937 random(7);
    const Offsets sphere = randomOffsets(random, 400, 8192.0f);
    size_t rays = 0, blocked = 0;
    for (uint32_t p = 0; p < pack.polygons().size(); p += 2) {
        const PackPolygon& polygon = pack.polygons()[p];
        Offsets hemisphere;
        for (const auto& o : sphere)
            if (dot(polygon.normal, Vec3{o[0], o[1], o[2]}) > 0.0f) hemisphere.push_back(o);
        // A run of neighbouring texels cast together, as the bake casts them, and a corner.
        std::vector<Vec3> run;
        for (float u = 0.3f; u < 0.5f; u += 0.04f)
            run.push_back(pack.rectanglePoint(p, u, 0.6f) + polygon.normal * 0.1f);
        blocked += expectPlainWalkAnswers(pack, run, hemisphere,
                                          "demo scene polygon " + std::to_string(p));
        rays += run.size() * hemisphere.size();
        const Vec3 corner = pack.rectanglePoint(p, 1.0f, 0.0f) + polygon.normal * 0.1f;
        blocked += expectPlainWalkAnswers(pack, corner, hemisphere,
                                          "demo scene polygon " + std::to_string(p) + " corner");
        rays += hemisphere.size();
        if (HasFailure()) return;
    }
    EXPECT_LT(g_otherPolygon, blocked / 100);
    EXPECT_GT(rays, 50000u);
    EXPECT_GT(blocked, rays / 10);
    EXPECT_LT(blocked, rays * 9 / 10);
}

TEST(OcclusionCaster, WithoutATreeNothingIsBlocked) {
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(
        pack.addSurface(quadsMesh({{Vec3{0, 0, 0}, Vec3{0, 0, 10}, Vec3{10, 0, 0}}}), true, true));
    OcclusionCaster caster(pack);
    const Offsets down{{0, -10, 0}};
    uint8_t blocked = 7;
    caster.cast({5, 5, 5}, down.data(), 1, &blocked);
    EXPECT_EQ(blocked, 0);
    OcclusionCaster::Hit hit{3, 4, 0.5f};
    const Vec3 start{5, 5, 5};
    caster.castHits(&start, 1, down.data(), 1, &hit);
    EXPECT_EQ(hit.polygon, -1);
    EXPECT_EQ(hit.texel, -1);
}

} // namespace
} // namespace Vrenn::Test
