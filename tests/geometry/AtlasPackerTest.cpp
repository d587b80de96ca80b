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
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Whole texels at 0.25 per unit, one more for the border, at least 2, at most 65536.
    const std::pair<float, int> cases[] = {{1.5f, 2},   {4.0f, 2},    {4.1f, 3},
                                           {40.0f, 11}, {0.0f, 2},    {-3.0f, 2},
                                           {nan, 2},    {inf, 65536}, {1e30f, 65536}};
    for (const auto& [size, extent] : cases)
        EXPECT_EQ(atlasRectExtent(size, 0.25f), extent) << size;
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

// The atlas starts at the given size and doubles its smaller side (its height when square)
// until everything fits, up to 1024 x 1024 (an atlas starting wider gets one attempt), then is
// trimmed while every rectangle lies in its first half and it stays at least the start size.
TEST(AtlasPacker, GrowsUntilEverythingFitsAndReportsWhatNeverDoes) {
    using Sizes = std::vector<std::pair<int, int>>;
    const struct {
        Sizes sizes;
        int startWidth, startHeight, width, height, unplaced; // width 0: not checked
    } cases[] = {
        {{{40, 10}}, 32, 32, 32, 64, 0},                // fits only turned
        {Sizes(5, {32, 32}), 32, 32, 64, 128, 0},       // 32x64, 64x64, then 64x128
        {{{64, 64}}, 64, 32, 64, 64, 0},                // a wide start doubles the height
        {{{64, 64}}, 32, 64, 64, 64, 0},                // a tall one the width
        {{{1, 1}, {1, 9}, {1, 7}}, 4, 4, 4, 16, 0},     // 8 x 16 trimmed back to the start
        {Sizes(1025, {32, 32}), 32, 32, 1024, 1024, 1}, // 1024 fill 1024 x 1024 exactly
        {{{2000, 4}, {3, 3}}, 32, 32, 0, 0, 1},         // too long whichever way it turns
        {{{100, 100}, {100, 100}}, 2048, 100, 2048, 100, 0},
        {{{100, 200}}, 2048, 100, 0, 0, 0}, // turned
        {{{150, 200}}, 2048, 100, 0, 0, 1},
        {{{0, 5}, {4, -1}, {3, 3}}, 32, 32, 32, 32, 2}, // empty ones never grow the atlas
        {{{3, 3}}, 0, -5, 4, 4, 0},
        {{}, 32, 32, 32, 32, 0},
    };
    for (const auto& c : cases) {
        auto rects = makeRects(c.sizes);
        const AtlasPackResult result = packAtlasRects(rects, c.startWidth, c.startHeight);
        SCOPED_TRACE(testing::Message() << c.sizes.size() << " rectangles, first "
                                        << (c.sizes.empty() ? 0 : c.sizes[0].first));
        EXPECT_EQ(result.unplaced, c.unplaced);
        EXPECT_TRUE(!c.width ||
                    std::pair(result.width, result.height) == std::pair(c.width, c.height))
            << result.width << "x" << result.height;
        int placed = 0;
        for (const AtlasRect& r : rects)
            placed += r.placed;
        EXPECT_EQ(placed + c.unplaced, int(c.sizes.size()));
        expectValidPlacements(rects, result);
    }
    auto rects = makeRects({{40, 10}});
    packAtlasRects(rects, 32, 32);
    EXPECT_TRUE(rects[0].flipped);
    EXPECT_EQ(std::pair(rects[0].placedWidth(), rects[0].placedHeight()), std::pair(10, 40));
    EXPECT_EQ(atlasPlacementLogLine(rects[0]), "poly 0 0 0 40*10flip\n");
    rects = makeRects({{2000, 4}, {3, 3}});
    packAtlasRects(rects, 32, 32);
    EXPECT_TRUE(byId(rects, 1).placed);
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
