#include "GeometryTestSupport.h"
#include "geometry/BspOutline.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

namespace Vrenn::Test {
namespace {

// The scene as the program sees it: written and loaded back.
std::shared_ptr<Model> loadedScene() {
    return readVmsh(vmshBytes(*DemoSceneBuilder().build()));
}

// `vrenn mkscene` checks that the scene file is the same every time, and its streams once loaded.
TEST(DemoScene, TilesOfPositionsAndTextureSetZeroOnlyWithTheCameraInTheOpen) {
    const DemoSceneBuilder builder;
    const auto scene = builder.build();
    std::set<std::string> materials;
    for (const auto& surface : scene->surfaces()) {
        const Mesh& mesh = *surface->mesh();
        materials.insert(surface->materialName());
        ASSERT_EQ(mesh.streamCount(), 1u);
        EXPECT_EQ(mesh.strides()[0], 20u);
        EXPECT_EQ(mesh.elements(),
                  (std::vector<VertexElement>{{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0},
                                              {0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12}}));
    }
    EXPECT_EQ(materials.size(), scene->surfaces().size());
    // Tiles repeat the courtyard.
    EXPECT_EQ(DemoSceneBuilder(3).faceCount(), 9 * builder.faceCount());
    EXPECT_EQ(DemoSceneBuilder(0).faceCount(), builder.faceCount());
    const auto big = DemoSceneBuilder(2).build();
    EXPECT_FLOAT_EQ(big->bounds().max.x - big->bounds().min.x, 2000.0f);

    // Its extent is checked through `vrenn mesh info`; the default camera position (0, 200, 0)
    // is in the open.
    const auto loaded = loadedScene();
    EXPECT_LT(loaded->bounds().max.y, 400.0f);
    for (const auto& surface : loaded->surfaces()) {
        const BoundingBox& b = surface->bounds();
        EXPECT_FALSE(b.min.x < 0 && b.max.x > 0 && b.min.y < 200 && b.max.y > 200 && b.min.z < 0 &&
                     b.max.z > 0 && surface->materialName() == "blocks");
    }
}

TEST(DemoScene, EveryFaceIsItsOwnPlanarVertexGroupFacingOutOfTheSolids) {
    const auto scene = loadedScene();
    LogCapture log;
    PolyPack pack(4, 3, 4);
    for (const auto& surface : scene->surfaces())
        ASSERT_TRUE(pack.addSurface(surface->mesh(), true, true));
    EXPECT_EQ(log.text(), ""); // no polygon needed a fallback outline
    ASSERT_EQ(pack.polygons().size(), DemoSceneBuilder().faceCount());

    std::vector<std::set<uint32_t>> usedBySurface(scene->surfaces().size());
    for (size_t i = 0; i < pack.polygons().size(); ++i) {
        const PackPolygon& polygon = pack.polygons()[i];
        const Mesh& mesh = *pack.surfaces()[polygon.surface].mesh;
        const VertexAttribute position = mesh.attribute(USAGE_POSITION);
        const VertexAttribute normal = mesh.attribute(USAGE_NORMAL);
        EXPECT_EQ(polygon.outlineChains.size(), 1u) << "polygon " << i;
        // Convex faces: every vertex is on the outline.
        EXPECT_EQ(polygon.outline.size(), polygon.vertexIndices.size()) << "polygon " << i;
        for (uint32_t v : polygon.vertexIndices) {
            EXPECT_TRUE(usedBySurface[polygon.surface].insert(v).second)
                << "vertex " << v << " shared by two faces";
            EXPECT_NEAR(polygon.plane.distance(position.getVec3(v)), 0.0f, 1e-3f)
                << "polygon " << i;
            EXPECT_GT(dot(normal.getVec3(v), polygon.normal), 0.9999f) << "polygon " << i;
        }
        EXPECT_TRUE(polygon.sizeU > 1.0f && polygon.sizeV > 1.0f) << "polygon " << i;
    }

    int overhangs = 0, innerWallFaces = 0;
    for (const PackPolygon& polygon : pack.polygons()) {
        const Vec3 n = polygon.plane.normal;
        // Nothing faces down into the floor; faces looking down are undersides above it.
        if (n.y < -0.9f) {
            EXPECT_GT(polygon.origin.y, 0.0f);
            ++overhangs;
        }
        // Faces in the planes of the side walls' inner faces look into the courtyard.
        if (std::fabs(std::fabs(polygon.origin.x) - 470.0f) < 1e-3f && std::fabs(n.x) > 0.9f &&
            polygon.sizeU > 100.0f) {
            EXPECT_LT(n.x * polygon.origin.x, 0.0f);
            ++innerWallFaces;
        }
    }
    EXPECT_GE(overhangs, 10);
    EXPECT_EQ(innerWallFaces, 2);
    EXPECT_FLOAT_EQ(pack.polygons()[0].plane.normal.y, 1.0f); // the floor faces up
}

// A pack over upward-facing unit squares at the given heights.
struct FloorPack {
    explicit FloorPack(const std::vector<float>& heights) : pack(4, 3, 4) {
        std::vector<std::array<Vec3, 3>> quads;
        for (float y : heights)
            quads.push_back({Vec3{0, y, 0}, Vec3{0, 0, 1}, Vec3{1, 0, 0}});
        EXPECT_TRUE(pack.addSurface(quadsMesh(quads), true, true));
    }
    PolyPack pack;
};

// Two unit floors: the root splits by polygon 0 (polygon 1 in front), its front list by polygon
// 1 (polygon 0 behind); leaves [1], [0] and the root's empty back. The outline for looking at
// the tree draws each splitting square closed, at its node's depth.
TEST(BspTree, LogDumpAndOutlineShowTheTree) {
    FloorPack q({0, 1});
    EXPECT_TRUE(bspOutline(q.pack).empty()); // no tree yet
    LogCapture log;
    ASSERT_TRUE(q.pack.buildTree());
    EXPECT_EQ(log.text(), "poly intersection\nF F \nB F \npolys\n"
                          "0   -0 1 -0 -0 0 1 2 3 \n1   -0 1 -0 -1 4 5 6 7 \n"
                          "nodes\n0 -0 1 -0 1 -3\n1 -0 1 -0 -1 -2\n\n"
                          "leafs\n0 1 \n1 0 \n2 \n");
    const std::vector<BspOutlinePoint> lines = bspOutline(q.pack);
    ASSERT_EQ(lines.size(), 16u);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].depth, i / 8) << i;
        EXPECT_EQ(lines[i].position.y, float(i / 8)) << i;
    }
    for (size_t square = 0; square < 2; ++square) // each chain ends where it began
        EXPECT_EQ(lines[square * 8 + 7].position, lines[square * 8].position);
}

// The tree construction written as the plain recursion it is defined by, over the
// pack's polygons, to check the pack's own construction against.
struct ReferenceTree {
    explicit ReferenceTree(const PolyPack& pack, int32_t balanceWeight, int32_t splitWeight)
        : polygons(pack.polygons()), balance(balanceWeight), split(splitWeight) {
        const size_t n = polygons.size();
        flags.assign(n, 1);
        std::vector<uint32_t> all(n);
        for (size_t i = 0; i < n; ++i)
            all[i] = uint32_t(i);
        build(all);
    }
    uint8_t entry(uint32_t i, uint32_t j) const {
        return i == j ? 1 : PolyPack::classify(polygons[j], polygons[i].plane);
    }
    int32_t build(std::vector<uint32_t> list) {
        int32_t best = -1;
        long long bestScore = 0;
        for (uint32_t c : list) {
            if (!flags[c]) continue;
            long long front = 0, back = 0, spanning = 0;
            for (uint32_t j : list) {
                if (j == c) continue;
                const uint8_t e = entry(c, j);
                (e == 1 ? front : e == 255 ? back : spanning)++;
            }
            const long long score = balance * std::llabs(back - front) + split * spanning;
            if (best < 0 || score < bestScore) {
                best = int32_t(c);
                bestScore = score;
                flags[c] = 0;
            }
        }
        if (best < 0) {
            leaves.push_back(list);
            return -int32_t(leaves.size());
        }
        std::vector<uint32_t> frontList, backList;
        for (uint32_t j : list) {
            const uint8_t e = entry(uint32_t(best), j);
            if (e != 255) frontList.push_back(j);
            if (e != 1) backList.push_back(j);
        }
        nodes.push_back({best, 0, 0});
        const size_t k = nodes.size() - 1;
        nodes[k][1] = build(frontList);
        nodes[k][2] = build(backList);
        return int32_t(k);
    }

    const std::vector<PackPolygon>& polygons;
    long long balance, split;
    std::vector<uint8_t> flags;
    std::vector<std::array<int32_t, 3>> nodes; // splitter, front, back
    std::vector<std::vector<uint32_t>> leaves;
};

// Builds the pack's tree over the meshes: the same nodes (planes, children) and leaves as the
// reference's.
void expectReferenceTree(const std::vector<std::shared_ptr<Mesh>>& meshes, int32_t balance,
                         int32_t split) {
    PolyPack pack(4, balance, split);
    for (const auto& mesh : meshes)
        ASSERT_TRUE(pack.addSurface(mesh, true, true));
    ASSERT_TRUE(pack.buildTree());
    const ReferenceTree reference(pack, balance, split);
    ASSERT_EQ(pack.nodes().size(), reference.nodes.size());
    for (size_t k = 0; k < pack.nodes().size(); ++k) {
        const BspNode& node = pack.nodes()[k];
        const PackPlane& plane = pack.polygons()[size_t(reference.nodes[k][0])].plane;
        EXPECT_EQ(std::tuple(node.plane.normal, node.plane.d, node.front, node.back),
                  std::tuple(plane.normal, plane.d, reference.nodes[k][1], reference.nodes[k][2]))
            << "node " << k;
    }
    ASSERT_EQ(pack.leaves().size(), reference.leaves.size());
    for (size_t l = 0; l < pack.leaves().size(); ++l)
        EXPECT_EQ(pack.leaves()[l].polygons, reference.leaves[l]) << "leaf " << l;
}

// The reference shares only the classification with the pack. Inputs: the demo scene; random
// soups of single triangles, free ones and ones on a few shared planes (repeats included),
// where splitters with nothing behind them, coplanar runs and spanning polygons all occur; and
// floors of separate tiles on two levels, every fifth tilted across the floors' planes.
TEST(BspTree, TreesMatchTheRecursiveDefinition) {
    for (const auto& [tiles, balance, split] :
         {std::tuple{1u, 3, 4}, {1u, 0, 1}, {1u, 5, 0}, {1u, -1, 2}, {2u, 3, 4}}) {
        SCOPED_TRACE(testing::Message() << tiles << " tiles, weights " << balance << ", " << split);
        std::vector<std::shared_ptr<Mesh>> meshes;
        const auto scene = DemoSceneBuilder(tiles).build();
        for (const auto& surface : scene->surfaces())
            meshes.push_back(surface->mesh());
        expectReferenceTree(meshes, balance, split);
    }
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(random);
        };
        std::vector<Vec3> positions;
        std::vector<uint32_t> indices;
        for (int t = 0, count = pick(60, 260); t < count; ++t) {
            std::array<Vec3, 3> corner;
            const bool free = pick(0, 2) == 0;
            const float h = float(pick(-1, 1) * 2); // on plane y = h or x = h
            const bool alongY = seed % 3 != 0 || pick(0, 1) == 0;
            for (Vec3& p : corner) {
                const float a = float(pick(-8, 8)), b = float(pick(-8, 8));
                p = free ? Vec3{a, b, float(pick(-8, 8))} : alongY ? Vec3{a, h, b} : Vec3{h, a, b};
            }
            if (length(cross(corner[1] - corner[0], corner[2] - corner[0])) == 0.0f) continue;
            for (int c = 0, copies = pick(0, 5) == 0 ? pick(2, 6) : 1; c < copies; ++c) {
                const uint32_t base = uint32_t(positions.size());
                positions.insert(positions.end(), corner.begin(), corner.end());
                indices.insert(indices.end(), {base, base + 1, base + 2});
            }
        }
        const int32_t balance = seed % 4 == 3 ? -1 : int32_t(seed % 4), split = seed % 5 + 1;
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        expectReferenceTree({makeMesh(positions, indices)}, balance, split);
    }
    for (const int side : {6, 13}) {
        std::vector<Vec3> positions;
        std::vector<uint32_t> indices;
        for (int t = 0; t < side * side; ++t) {
            const float x = float(t % side) * 4.0f, z = float(t / side) * 4.0f;
            const float y = (t / side) % 2 == 0 ? 0.0f : 2.0f, tilt = t % 5 == 0 ? 3.0f : 0.0f;
            addQuad(positions, indices, {x, y - tilt, z}, {0, 0, 3}, {3, 2 * tilt, 0});
        }
        SCOPED_TRACE(testing::Message() << "floor of side " << side);
        expectReferenceTree({makeMesh(positions, indices)}, 3, 4);
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VRENN_SHADOW_MEMORY 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define VRENN_SHADOW_MEMORY 1
#endif
#endif

// Builds the pack's tree with at most extra bytes of address space beyond what the process
// holds, and ends the process: status 0 when the build succeeds.
[[noreturn]] void buildWithinAddressSpace(PolyPack& pack, rlim_t extra) {
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const rlim_t held = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGE_SIZE));
    const rlimit limit{held + extra, held + extra};
    if (pages <= 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
    std::_Exit(pack.buildTree() ? 0 : 1);
}

// The demo scene on 8 x 8 tiles (23,744 polygons) builds its tree within 128 MiB of address
// space beyond what the process already holds; a byte for every polygon against every
// plane would take 564 MB.
TEST(BspTree, LargePackBuildsInMemoryLinearInItsPolygons) {
#ifdef VRENN_SHADOW_MEMORY
    GTEST_SKIP() << "the sanitizers' shadow memory does not fit an address space limit";
#endif
    const auto scene = DemoSceneBuilder(8).build();
    PolyPack pack(4, 3, 4);
    for (const auto& surface : scene->surfaces())
        ASSERT_TRUE(pack.addSurface(surface->mesh(), true, true));
    ASSERT_EQ(pack.polygons().size(), 23744u);
    EXPECT_EXIT(buildWithinAddressSpace(pack, rlim_t(128) << 20), testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace Vrenn::Test
