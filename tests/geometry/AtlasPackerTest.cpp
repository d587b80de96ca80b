#include "geometry/AtlasPacker.h"

#include "geometry/CoverageMask.h"

#include <gtest/gtest.h>
#include <limits>

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
    EXPECT_EQ(std::pair(result.width, result.height), std::pair(32, 32));
    std::vector<std::tuple<int, int, int, bool>> placed; // sorted by area, largest first
    for (const AtlasRect& r : rects)
        placed.push_back({r.id, r.x, r.y, r.flipped});
    EXPECT_EQ(placed, (std::vector<std::tuple<int, int, int, bool>>{
                          {2, 0, 0, false}, {1, 20, 0, false}, {0, 0, 20, false}}));
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
}

int coveredCount(const CoverageMask& mask) {
    int count = 0;
    for (uint8_t b : mask.bytes())
        count += b != 0;
    return count;
}

bool inside(const TexelRect& r, int x, int y) {
    return x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1;
}

TEST(CoverageMask, ChartsCoverWhatTheyFillOfTheirRectangleAndNoMore) {
    // A chart filling its rectangle covers exactly it, and filling its rows never bridges to
    // a chart beside it; a right triangle over an 8 x 8 rectangle covers columns 0 ... 7 - y of
    // row y.
    const TexelRect rect{2, 3, 7, 6}, beside{10, 3, 13, 6};
    const float square[] = {2, 3, 7, 3, 7, 6, 2, 6}, right[] = {10, 3, 13, 3, 13, 6, 10, 6};
    const float triangle[] = {0, 0, 7, 0, 0, 7};
    CoverageMask squareMask(16, 16), triangleMask(16, 16);
    squareMask.addPolygon(rect, square, 4);
    squareMask.addPolygon(beside, right, 4);
    triangleMask.addPolygon(TexelRect{0, 0, 7, 7}, triangle, 3);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(squareMask.covered(x, y), inside(rect, x, y) || inside(beside, x, y))
                << x << "," << y;
            EXPECT_EQ(triangleMask.covered(x, y), x < 8 && y < 8 && x <= 7 - y) << x << "," << y;
        }
    EXPECT_EQ(squareMask.at(4, 4), CoverageMask::kCovered);

    // Steep thin charts still reach every row.
    CoverageMask mask(8, 64);
    const float sliver[] = {0, 0, 1, 63, 0.9f, 63};
    mask.addPolygon(TexelRect{0, 0, 1, 63}, sliver, 3);
    for (int y = 0; y < 64; ++y)
        EXPECT_TRUE(mask.covered(0, y) || mask.covered(1, y)) << y;
}

TEST(CoverageMask, DegenerateAndHostileInputIsClampedNotWrittenOutside) {
    // A chart collapsed to a point covers its texel; not-a-number and huge coordinates are
    // clamped onto the rectangle.
    CoverageMask mask(10, 10);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float point[] = {4.2f, 4.4f, 4.2f, 4.4f, 4.2f, 4.4f};
    const float hostile[] = {nan, nan, 1e30f, -1e30f, 7.0f, nan};
    mask.addPolygon(TexelRect{4, 4, 5, 5}, point, 3);
    EXPECT_EQ(coveredCount(mask), 1);
    EXPECT_TRUE(mask.covered(4, 4));
    mask.addPolygon(TexelRect{6, 6, 8, 8}, hostile, 3);
    for (int t = 0; t < 100; ++t)
        EXPECT_TRUE(!mask.covered(t % 10, t / 10) || t == 44 ||
                    inside(TexelRect{6, 6, 8, 8}, t % 10, t / 10))
            << t;

    // Rectangles reaching past the mask are clipped, and one past the right edge is not
    // carried into the next row; empty rectangles, outlines and masks take nothing.
    const float big[] = {-5, -5, 20, -5, 20, 20, -5, 20}, wide[] = {3, 0, 20, 0, 20, 0, 3, 0};
    CoverageMask clipped(6, 6), edge(6, 6), untouched(6, 6), none(-3, 4);
    clipped.addPolygon(TexelRect{-5, -5, 20, 20}, big, 4);
    EXPECT_EQ(coveredCount(clipped), 36);
    edge.addPolygon(TexelRect{3, 0, 20, 0}, wide, 4);
    EXPECT_EQ(coveredCount(edge), 3);
    EXPECT_FALSE(edge.covered(0, 1));
    untouched.addPolygon(TexelRect{3, 3, 2, 2}, big, 4);
    untouched.addPolygon(TexelRect{0, 0, 5, 5}, big, 0);
    untouched.addPolygon(TexelRect{7, 7, 9, 9}, big, 4);
    EXPECT_EQ(coveredCount(untouched), 0);
    none.addPolygon(TexelRect{0, 0, 5, 5}, big, 4);
    EXPECT_EQ(none.bytes().size(), 0u);
}

} // namespace
} // namespace Vrenn
