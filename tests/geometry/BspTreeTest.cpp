#include "GeometryTestSupport.h"
#include "geometry/BspOutline.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

namespace Vrenn::Test {
namespace {

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

TEST(BspTree, LogDumpShowsMatrixPolygonsNodesAndLeaves) {
    FloorPack q({0, 1});
    LogCapture log;
    ASSERT_TRUE(q.pack.buildTree());
    // Root splits by polygon 0 (polygon 1 in front); its front list splits by polygon
    // 1 (polygon 0 behind); leaves: [1], [0], and the empty back of the root.
    EXPECT_EQ(log.text(), "poly intersection\n"
                          "F F \n"
                          "B F \n"
                          "polys\n"
                          "0   -0 1 -0 -0 0 1 2 3 \n"
                          "1   -0 1 -0 -1 4 5 6 7 \n"
                          "nodes\n"
                          "0 -0 1 -0 1 -3\n"
                          "1 -0 1 -0 -1 -2\n"
                          "\n"
                          "leafs\n"
                          "0 1 \n"
                          "1 0 \n"
                          "2 \n");
}

// The outline for looking at the tree: the root's polygon at depth 0, the next split's at
// depth 1, each square closed by four lines in its own plane.
TEST(BspTree, OutlineDrawsEachSplittingPolygonClosedAtItsNodesDepth) {
    FloorPack q({0, 1});
    EXPECT_TRUE(bspOutline(q.pack).empty()); // no tree yet
    ASSERT_TRUE(q.pack.buildTree());
    const std::vector<BspOutlinePoint> lines = bspOutline(q.pack);
    ASSERT_EQ(lines.size(), 16u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const uint32_t depth = i < 8 ? 0 : 1;
        EXPECT_EQ(lines[i].depth, depth) << i;
        EXPECT_EQ(lines[i].position.y, float(depth)) << i;
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

// The pack's tree is the reference's: same nodes (planes and children) and leaves.
void expectReferenceTree(const PolyPack& pack, const ReferenceTree& reference) {
    ASSERT_EQ(pack.nodes().size(), reference.nodes.size());
    ASSERT_EQ(pack.leaves().size(), reference.leaves.size());
    for (size_t k = 0; k < pack.nodes().size(); ++k) {
        const BspNode& node = pack.nodes()[k];
        EXPECT_EQ(node.plane.normal, pack.polygons()[size_t(reference.nodes[k][0])].plane.normal);
        EXPECT_EQ(node.plane.d, pack.polygons()[size_t(reference.nodes[k][0])].plane.d);
        EXPECT_EQ(node.front, reference.nodes[k][1]) << "node " << k;
        EXPECT_EQ(node.back, reference.nodes[k][2]) << "node " << k;
    }
    for (size_t l = 0; l < pack.leaves().size(); ++l)
        EXPECT_EQ(pack.leaves()[l].polygons, reference.leaves[l]) << "leaf " << l;
}

// Builds the pack's tree over the meshes and compares it with the reference.
void expectReferenceTree(const std::vector<std::shared_ptr<Mesh>>& meshes, int32_t balance,
                         int32_t split) {
    PolyPack pack(4, balance, split);
    for (const auto& mesh : meshes)
        ASSERT_TRUE(pack.addSurface(mesh, true, true));
    ASSERT_TRUE(pack.buildTree());
    expectReferenceTree(pack, ReferenceTree(pack, balance, split));
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

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// Thousands of triangles in one plane (two alternating over six vertices): every candidate
// scores the same and none of them falls behind another's plane, so each node spends one
// candidate and keeps the whole list in front. The tree is a chain of one node per polygon
// with an empty leaf behind each and every polygon in the first leaf. Counting the whole
// list anew for every node took minutes of processor time.
TEST(BspTree, ThousandsOfCoplanarTrianglesBuildTheirChainPromptly) {
    const std::vector<Vec3> positions = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0},
                                         {2, 0, 2}, {2, 0, 3}, {3, 0, 2}};
    constexpr uint32_t n = 4000;
    std::vector<uint32_t> indices;
    for (uint32_t t = 0; t < n; ++t)
        for (uint32_t k = 0; k < 3; ++k)
            indices.push_back(t % 2 * 3 + k);
    PolyPack pack(4, 3, 4);
    ASSERT_TRUE(pack.addSurface(makeMesh(positions, indices), true, true));
    ASSERT_EQ(pack.polygons().size(), n);

    const double start = processSeconds();
    ASSERT_TRUE(pack.buildTree());
    EXPECT_LT(processSeconds() - start, 8.0);

    ASSERT_EQ(pack.nodes().size(), n);
    ASSERT_EQ(pack.leaves().size(), n + 1);
    for (uint32_t k = 0; k < n; ++k) {
        EXPECT_EQ(pack.nodes()[k].front, k + 1 < n ? int32_t(k + 1) : -1) << "node " << k;
        EXPECT_EQ(pack.nodes()[k].back, -int32_t(n - k + 1)) << "node " << k;
    }
    ASSERT_EQ(pack.leaves()[0].polygons.size(), n);
    for (uint32_t i = 0; i < n; ++i)
        EXPECT_EQ(pack.leaves()[0].polygons[i], i);
    for (uint32_t l = 1; l <= n; ++l)
        EXPECT_TRUE(pack.leaves()[l].polygons.empty()) << "leaf " << l;
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
