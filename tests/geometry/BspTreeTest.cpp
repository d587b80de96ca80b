#include "GeometryTestSupport.h"
#include "geometry/BspOutline.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"

#include <cstdlib>
#include <gtest/gtest.h>

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

TEST(BspTree, MatrixTooLargeForMemoryIsRefusedWithAReason) {
    FloorPack q({0, 1, 2});
    q.pack.setMatrixByteLimit(8); // 3 polygons need 9 bytes
    LogCapture log;
    EXPECT_FALSE(q.pack.buildTree());
    EXPECT_TRUE(q.pack.nodes().empty());
    EXPECT_EQ(log.text(), "PolyPack::buildTree: 3 polygons need a 9-byte classification matrix, "
                          "more than this machine's memory allows (8 bytes)\n");
    q.pack.setMatrixByteLimit(9);
    EXPECT_TRUE(q.pack.buildTree());
    // The default limit is the machine's memory, far above what a test needs.
    EXPECT_GT(PolyPack(4, 3, 4).matrixByteLimit(), uint64_t(1) << 24);
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

TEST(BspTree, DemoSceneTreeMatchesTheRecursiveDefinitionAndItsPlanes) {
    struct Case {
        uint32_t tiles;
        int32_t balance, split;
    };
    // The reference shares only the classification with the pack; the leaves it makes hold
    // every polygon, on the side of each ancestor's plane that leads to them.
    for (const auto& [tiles, balance, split] :
         {Case{1, 3, 4}, Case{1, 0, 1}, Case{1, 5, 0}, Case{1, -1, 2}, Case{2, 3, 4}}) {
        SCOPED_TRACE(testing::Message() << tiles << " tiles, weights " << balance << ", " << split);
        const auto scene = DemoSceneBuilder(tiles).build();
        PolyPack pack(4, balance, split);
        for (const auto& surface : scene->surfaces()) {
            ASSERT_TRUE(surface->mesh()->computeTangentFrame());
            ASSERT_TRUE(pack.addSurface(surface->mesh(), true, true));
        }
        ASSERT_TRUE(pack.buildTree());
        const ReferenceTree reference(pack, balance, split);
        ASSERT_EQ(pack.nodes().size(), reference.nodes.size());
        ASSERT_EQ(pack.leaves().size(), reference.leaves.size());
        for (size_t k = 0; k < pack.nodes().size(); ++k) {
            const BspNode& node = pack.nodes()[k];
            EXPECT_EQ(node.plane.normal,
                      pack.polygons()[size_t(reference.nodes[k][0])].plane.normal);
            EXPECT_EQ(node.plane.d, pack.polygons()[size_t(reference.nodes[k][0])].plane.d);
            EXPECT_EQ(node.front, reference.nodes[k][1]) << "node " << k;
            EXPECT_EQ(node.back, reference.nodes[k][2]) << "node " << k;
        }
        for (size_t l = 0; l < pack.leaves().size(); ++l)
            EXPECT_EQ(pack.leaves()[l].polygons, reference.leaves[l]) << "leaf " << l;
    }
}

} // namespace
} // namespace Vrenn::Test
