#include "geometry/AtlasPacker.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace Vrenn {
namespace {

std::vector<AtlasRect> makeRects(const std::vector<std::pair<int, int>>& sizes) {
    std::vector<AtlasRect> rects;
    for (size_t i = 0; i < sizes.size(); ++i) {
        AtlasRect r;
        r.width = sizes[i].first;
        r.height = sizes[i].second;
        r.id = int(i);
        rects.push_back(r);
    }
    return rects;
}

const AtlasRect& byId(const std::vector<AtlasRect>& rects, int id) {
    for (const AtlasRect& r : rects)
        if (r.id == id) return r;
    throw std::runtime_error("no such rectangle");
}

// Every placed rectangle lies inside the atlas and no two share a texel.
void expectValidPlacements(const std::vector<AtlasRect>& rects, const AtlasPackResult& result) {
    std::vector<int> owner(size_t(result.width) * size_t(result.height), -1);
    for (const AtlasRect& r : rects) {
        if (!r.placed) continue;
        ASSERT_GE(r.x, 0);
        ASSERT_GE(r.y, 0);
        ASSERT_LE(r.x + r.placedWidth(), result.width);
        ASSERT_LE(r.y + r.placedHeight(), result.height);
        for (int y = r.y; y < r.y + r.placedHeight(); ++y) {
            for (int x = r.x; x < r.x + r.placedWidth(); ++x) {
                int& cell = owner[size_t(y) * size_t(result.width) + size_t(x)];
                ASSERT_EQ(cell, -1) << "rectangles " << cell << " and " << r.id << " overlap";
                cell = r.id;
            }
        }
    }
}

TEST(AtlasPacker, RectangleExtentsFromWorldSizes) {
    EXPECT_EQ(atlasRectExtent(1.5f, 0.25f), 2); // the minimum
    EXPECT_EQ(atlasRectExtent(4.0f, 0.25f), 2);
    EXPECT_EQ(atlasRectExtent(4.1f, 0.25f), 3);
    EXPECT_EQ(atlasRectExtent(40.0f, 0.25f), 11);
    EXPECT_EQ(atlasRectExtent(0.0f, 0.25f), 2);
    EXPECT_EQ(atlasRectExtent(-3.0f, 0.25f), 2);
    EXPECT_EQ(atlasRectExtent(std::numeric_limits<float>::quiet_NaN(), 0.25f), 2);
    EXPECT_EQ(atlasRectExtent(std::numeric_limits<float>::infinity(), 0.25f), 65536);
    EXPECT_EQ(atlasRectExtent(1e30f, 0.25f), 65536);
}

TEST(AtlasPacker, PlacesLargestFirstInOrderAndSplitsFreeSpaceBelowAndRight) {
    // Worked by hand: A (20x20) at the corner leaves (0,20) 20x12 below and (20,0) 12x32 to
    // the right. B (12x30) does not fit below, so it goes right; C (20x12) exactly fills below.
    auto rects = makeRects({{20, 12}, {12, 30}, {20, 20}});
    const AtlasPackResult result = packAtlasRects(rects, 32, 32);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.width, 32);
    EXPECT_EQ(result.height, 32);
    ASSERT_EQ(rects[0].id, 2); // sorted by area, largest first
    ASSERT_EQ(rects[1].id, 1);
    ASSERT_EQ(rects[2].id, 0);
    const AtlasRect &a = byId(rects, 2), &b = byId(rects, 1), &c = byId(rects, 0);
    EXPECT_EQ(std::make_pair(a.x, a.y), std::make_pair(0, 0));
    EXPECT_EQ(std::make_pair(b.x, b.y), std::make_pair(20, 0));
    EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(0, 20));
    EXPECT_FALSE(a.flipped || b.flipped || c.flipped);
    expectValidPlacements(rects, result);

    // Equal areas keep their order.
    rects = makeRects({{2, 8}, {4, 4}, {8, 2}, {5, 5}});
    packAtlasRects(rects, 32, 32);
    EXPECT_EQ(std::vector<int>({rects[0].id, rects[1].id, rects[2].id, rects[3].id}),
              std::vector<int>({3, 0, 1, 2}));
}

TEST(AtlasPacker, TurnsARectangleThatOnlyFitsOnItsSide) {
    // 40 x 10 fits neither way in 32 x 32; the height doubles and it lies turned in 32 x 64.
    auto rects = makeRects({{40, 10}});
    const AtlasPackResult result = packAtlasRects(rects, 32, 32);
    ASSERT_TRUE(result.complete());
    EXPECT_EQ(result.width, 32);
    EXPECT_EQ(result.height, 64);
    EXPECT_TRUE(rects[0].flipped);
    EXPECT_EQ(rects[0].placedWidth(), 10);
    EXPECT_EQ(rects[0].placedHeight(), 40);
    EXPECT_EQ(atlasPlacementLogLine(rects[0]), "poly 0 0 0 40*10flip\n");
    expectValidPlacements(rects, result);
}

TEST(AtlasPacker, DoublesTheSmallerSideUntilEverythingFits) {
    // One 32 x 32 square per 32 x 32 atlas cell: 5 need 32x32 -> 32x64 -> 64x64 -> 64x128.
    auto rects = makeRects(std::vector<std::pair<int, int>>(5, {32, 32}));
    AtlasPackResult result = packAtlasRects(rects, 32, 32);
    ASSERT_TRUE(result.complete());
    EXPECT_EQ(result.width, 64);
    EXPECT_EQ(result.height, 128);
    expectValidPlacements(rects, result);

    // A wide start doubles the height; a tall one the width.
    rects = makeRects({{64, 64}});
    result = packAtlasRects(rects, 64, 32);
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(64, 64));
    rects = makeRects({{64, 64}});
    result = packAtlasRects(rects, 32, 64);
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(64, 64));
    EXPECT_EQ(atlasPlacementLogLine(rects[0]), "poly 0 0 0 64*64\n");

    // 1 x 9 fits neither 4 x 8 nor 8 x 8, so the atlas grows to 8 x 16; everything then lies
    // in its left half, and the width comes back to 4 (the start: never less).
    rects = makeRects({{1, 1}, {1, 9}, {1, 7}});
    result = packAtlasRects(rects, 4, 4);
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(4, 16));
    expectValidPlacements(rects, result);
}

TEST(AtlasPacker, RandomChartsArePlacedInsideWithoutOverlap) {
    std::mt19937 rng(99);
    for (int trial = 0; trial < 20; ++trial) {
        std::uniform_int_distribution<int> count(1, 400), side(2, 40);
        std::vector<std::pair<int, int>> sizes(size_t(count(rng)));
        for (auto& s : sizes)
            s = {side(rng), side(rng)};
        auto rects = makeRects(sizes);
        const AtlasPackResult result = packAtlasRects(rects, 32, 32);
        ASSERT_TRUE(result.complete());
        // Sizes are the start doubled, and no half of the atlas would hold every rectangle.
        EXPECT_EQ(result.width & (result.width - 1), 0);
        EXPECT_EQ(result.height & (result.height - 1), 0);
        int usedWidth = 0, usedHeight = 0;
        for (const AtlasRect& r : rects) {
            EXPECT_TRUE(r.placed);
            usedWidth = std::max(usedWidth, r.x + r.placedWidth());
            usedHeight = std::max(usedHeight, r.y + r.placedHeight());
        }
        EXPECT_TRUE(result.width == 32 || usedWidth > result.width / 2);
        EXPECT_TRUE(result.height == 32 || usedHeight > result.height / 2);
        expectValidPlacements(rects, result);
    }
}

TEST(AtlasPacker, ReportsRectanglesThatDoNotFitTheLargestAtlas) {
    // 1024 squares of 32 x 32 fill 1024 x 1024 exactly; one more cannot be placed.
    auto rects = makeRects(std::vector<std::pair<int, int>>(1025, {32, 32}));
    AtlasPackResult result = packAtlasRects(rects, 32, 32);
    EXPECT_FALSE(result.complete());
    EXPECT_EQ(result.unplaced, 1);
    EXPECT_EQ(result.width, 1024);
    EXPECT_EQ(result.height, 1024);
    int placed = 0;
    for (const AtlasRect& r : rects)
        placed += r.placed ? 1 : 0;
    EXPECT_EQ(placed, 1024);
    expectValidPlacements(rects, result);

    // Too long for any atlas, whichever way it turns; the small one still gets placed.
    rects = makeRects({{2000, 4}, {3, 3}});
    result = packAtlasRects(rects, 32, 32);
    EXPECT_EQ(result.unplaced, 1);
    EXPECT_FALSE(byId(rects, 0).placed);
    EXPECT_TRUE(byId(rects, 1).placed);

    // An atlas that starts wider than the limit gets one attempt.
    rects = makeRects({{100, 100}, {100, 100}});
    result = packAtlasRects(rects, 2048, 100);
    EXPECT_EQ(result.unplaced, 0);
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(2048, 100));
    rects = makeRects({{100, 200}});
    result = packAtlasRects(rects, 2048, 100);
    EXPECT_EQ(result.unplaced, 0); // turned
    rects = makeRects({{150, 200}});
    result = packAtlasRects(rects, 2048, 100);
    EXPECT_EQ(result.unplaced, 1);
}

TEST(AtlasPacker, EmptyRectanglesAndAtlasesDoNotHang) {
    auto rects = makeRects({{0, 5}, {4, -1}, {3, 3}});
    AtlasPackResult result = packAtlasRects(rects, 32, 32);
    EXPECT_EQ(result.unplaced, 2);
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(32, 32));
    EXPECT_TRUE(byId(rects, 2).placed);

    rects = makeRects({{3, 3}});
    result = packAtlasRects(rects, 0, -5);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(4, 4));

    std::vector<AtlasRect> none;
    result = packAtlasRects(none, 32, 32);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(std::make_pair(result.width, result.height), std::make_pair(32, 32));
}

TEST(AtlasPacker, MapsChartCornersOntoTheCornerTexels) {
    // A 5 x 3 rectangle at (10, 20); turned, U runs down the rows.
    const struct {
        bool flipped;
        float u, v, x, y;
    } cases[] = {{false, 1, 1, 14, 22},
                 {false, 0.5f, 0, 12, 20},
                 {true, 1, 0, 10, 24},
                 {true, 0, 1, 12, 20}};
    for (const auto& c : cases) {
        const AtlasRect r{5, 3, -1, 10, 20, c.flipped};
        EXPECT_EQ(r.texelPoint(c.u, c.v), (std::array<float, 2>{c.x, c.y}))
            << c.flipped << " " << c.u << "," << c.v;
    }
}

} // namespace
} // namespace Vrenn
