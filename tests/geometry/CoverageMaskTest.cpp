#include "geometry/CoverageMask.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>

namespace Vrenn {
namespace {

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

TEST(CoverageMask, EveryRowOfAConvexChartIsCoveredWithoutGaps) {
    // Random convex charts touching all four sides of random rectangles: each row of the
    // rectangle has one unbroken run of covered texels, which contains every texel whose
    // centre lies more than a texel inside the polygon; nothing outside the rectangle is set.
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int trial = 0; trial < 300; ++trial) {
        std::uniform_int_distribution<int> side(2, 30), pos(0, 10);
        TexelRect rect;
        rect.x0 = pos(rng);
        rect.y0 = pos(rng);
        rect.x1 = rect.x0 + side(rng) - 1;
        rect.y1 = rect.y0 + side(rng) - 1;
        const float w = float(rect.x1 - rect.x0), h = float(rect.y1 - rect.y0);
        // A quadrilateral with one corner on each side, in order around the rectangle.
        const float quad[] = {rect.x0 + unit(rng) * w, float(rect.y0),          float(rect.x1),
                              rect.y0 + unit(rng) * h, rect.x0 + unit(rng) * w, float(rect.y1),
                              float(rect.x0),          rect.y0 + unit(rng) * h};
        CoverageMask mask(48, 48);
        mask.addPolygon(rect, quad, 4);
        for (int y = 0; y < 48; ++y) {
            int runs = 0;
            for (int x = 0; x < 48; ++x) {
                if (!mask.covered(x, y)) continue;
                ASSERT_TRUE(inside(rect, x, y)) << trial;
                if (!mask.covered(x - 1, y)) ++runs;
            }
            if (y >= rect.y0 && y <= rect.y1) {
                ASSERT_EQ(runs, 1) << "trial " << trial << " row " << y;
            }
        }
        // Interior texel centres (distance to every edge line above 1) are covered.
        for (int y = rect.y0; y <= rect.y1; ++y) {
            for (int x = rect.x0; x <= rect.x1; ++x) {
                bool deepInside = true;
                for (int i = 0; i < 4; ++i) {
                    const float ax = quad[2 * i], ay = quad[2 * i + 1];
                    const float bx = quad[2 * ((i + 1) % 4)], by = quad[2 * ((i + 1) % 4) + 1];
                    const float ex = bx - ax, ey = by - ay;
                    const float len = std::sqrt(ex * ex + ey * ey);
                    if (len == 0.0f) continue;
                    // The outline runs clockwise on screen (y down): inside is to the right.
                    const float d = (ex * (float(y) - ay) - ey * (float(x) - ax)) / len;
                    if (d < 1.0f) deepInside = false;
                }
                if (deepInside) {
                    ASSERT_TRUE(mask.covered(x, y)) << trial << " " << x << "," << y;
                }
            }
        }
    }
}

TEST(CoverageMask, DegenerateAndHostileInputIsClampedNotWrittenOutside) {
    CoverageMask mask(10, 10);
    // A chart collapsed to a point.
    const float point[] = {4.2f, 4.4f, 4.2f, 4.4f, 4.2f, 4.4f};
    mask.addPolygon(TexelRect{4, 4, 5, 5}, point, 3);
    EXPECT_EQ(coveredCount(mask), 1);
    EXPECT_TRUE(mask.covered(4, 4));

    // Not-a-number and huge coordinates are clamped onto the rectangle.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float hostile[] = {nan, nan, 1e30f, -1e30f, 7.0f, nan};
    mask.addPolygon(TexelRect{6, 6, 8, 8}, hostile, 3);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            if (mask.covered(x, y) && !(x == 4 && y == 4)) {
                EXPECT_TRUE(inside(TexelRect{6, 6, 8, 8}, x, y)) << x << "," << y;
            }

    // Rectangles reaching past the mask are clipped; empty ones and empty outlines do nothing.
    const float big[] = {-5, -5, 20, -5, 20, 20, -5, 20};
    CoverageMask clipped(6, 6);
    clipped.addPolygon(TexelRect{-5, -5, 20, 20}, big, 4);
    EXPECT_EQ(coveredCount(clipped), 36);
    CoverageMask untouched(6, 6);
    untouched.addPolygon(TexelRect{3, 3, 2, 2}, big, 4);
    untouched.addPolygon(TexelRect{0, 0, 5, 5}, big, 0);
    untouched.addPolygon(TexelRect{7, 7, 9, 9}, big, 4);
    EXPECT_EQ(coveredCount(untouched), 0);
    CoverageMask none(-3, 4);
    none.addPolygon(TexelRect{0, 0, 5, 5}, big, 4);
    EXPECT_EQ(none.bytes().size(), 0u);
}

} // namespace
} // namespace Vrenn
