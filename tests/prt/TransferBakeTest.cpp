#include "BakeScenes.h"
#include "ReferenceSH.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "geometry/GeometryTestSupport.h"
#include "geometry/PolyPack.h"
#include "prt/SHTextureBuilder.h"

#include <array>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using testing::openFloor;
using testing::Rect;
using testing::rectModel;
using testing::referenceSH;
using testing::SHBake;

using Coefficients = std::array<std::array<double, 25>, 3>; // per basis direction

// The tangent-space basis directions, written out.
const double kBasis[3][3] = {{std::sqrt(2.0 / 3.0), 0.0, std::sqrt(1.0 / 3.0)},
                             {-std::sqrt(1.0 / 6.0), std::sqrt(0.5), std::sqrt(1.0 / 3.0)},
                             {-std::sqrt(1.0 / 6.0), -std::sqrt(0.5), std::sqrt(1.0 / 3.0)}};

// Per basis k and coefficient i: the integral over the upper hemisphere (z > 0) of
// max(0, b_k . w) Y_i(w), by a dense midpoint rule in (cos theta, phi).
Coefficients openHemisphereTransfer() {
    const double pi = 3.14159265358979323846;
    const int zSteps = 800, phiSteps = 1600;
    Coefficients sum{};
    for (int i = 0; i < zSteps; ++i) {
        const double z = (i + 0.5) / zSteps;
        const double r = std::sqrt(1.0 - z * z);
        for (int j = 0; j < phiSteps; ++j) {
            const double phi = (j + 0.5) * 2.0 * pi / phiSteps;
            const double x = r * std::cos(phi), y = r * std::sin(phi);
            const auto y25 = referenceSH(x, y, z);
            for (int k = 0; k < 3; ++k) {
                const double lobe = kBasis[k][0] * x + kBasis[k][1] * y + kBasis[k][2] * z;
                if (lobe <= 0) continue;
                for (int c = 0; c < 25; ++c)
                    sum[size_t(k)][size_t(c)] += lobe * y25[size_t(c)];
            }
        }
    }
    const double cell = (1.0 / zSteps) * (2.0 * pi / phiSteps);
    for (auto& basis : sum)
        for (double& c : basis)
            c *= cell;
    return sum;
}

const Coefficients& openTransfer() {
    static const Coefficients reference = openHemisphereTransfer();
    return reference;
}

// Reads the coefficients of a texel back from the 19 half-float planes: coefficient 0 of basis
// k in plane 6 channel k, 1-8 in planes 2k and 2k + 1, 9-24 in planes 7 + 4k to 10 + 4k.
Coefficients readTexel(const Image& image, int x, int y) {
    const size_t plane = size_t(image.width()) * size_t(image.height()) * 8;
    auto half = [&](int p, int channel) {
        uint16_t h;
        std::memcpy(&h,
                    image.data() + size_t(p) * plane +
                        (size_t(y) * size_t(image.width()) + size_t(x)) * 8 + 2 * size_t(channel),
                    2);
        return double(halfToFloat(h));
    };
    Coefficients c{};
    for (int k = 0; k < 3; ++k) {
        c[size_t(k)][0] = half(6, k);
        for (int i = 1; i <= 8; ++i)
            c[size_t(k)][size_t(i)] = half(2 * k + (i - 1) / 4, (i - 1) % 4);
        for (int i = 9; i <= 24; ++i)
            c[size_t(k)][size_t(i)] = half(7 + 4 * k + (i - 9) / 4, (i - 9) % 4);
    }
    return c;
}

// Coefficients of polygon p's chart at texel i along its axis U and j along V (the rectangle
// may have been placed turned).
Coefficients texel(const SHBake& bake, uint32_t p, int i, int j) {
    const AtlasRect& r = bake.pack.polygons()[p].atlas;
    const auto t = r.texelPoint(float(i) / float(r.width - 1), float(j) / float(r.height - 1));
    return readTexel(*bake.pack.bakeImage(), int(std::lround(t[0])), int(std::lround(t[1])));
}

TEST(TransferBake, AnOpenSurfaceGetsTheProjectionOfItsHemisphereCutLobes) {
    // 4096 rays: 64 x 64 samples, weight 4 pi / 4096.
    SHBake bake(rectModel({{openFloor()}}), 4096);
    ASSERT_EQ(bake.samples, 4096u);
    const AtlasRect& rect = bake.pack.polygons()[0].atlas;
    ASSERT_EQ(rect.width * rect.height, 9);
    EXPECT_EQ(bake.stats.texels, 9u);
    // About half the samples lie above the surface and are traced.
    EXPECT_NEAR(double(bake.traced) / 9.0, 2048.0, 64.0);

    const Coefficients& expected = openTransfer();
    const Coefficients first = texel(bake, 0, 0, 0);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 25; ++i)
            EXPECT_NEAR(first[size_t(k)][size_t(i)], expected[size_t(k)][size_t(i)], 0.01)
                << "basis " << k << " coefficient " << i;
    // Nothing blocks anywhere, so every texel holds the same numbers.
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(texel(bake, 0, i, j), first) << i << "," << j;
}

TEST(TransferBake, ARoofDarkensWhatItCoversAndOnlyWithItsFront) {
    const std::vector<uint32_t> floorOnly = {0};
    SHBake covered(rectModel({{testing::roofedFloor()}, {testing::roof(true)}}), 1024, &floorOnly);
    SHBake open(rectModel({{testing::roofedFloor()}}), 1024);
    SHBake backFacing(rectModel({{testing::roofedFloor()}, {testing::roof(false)}}), 1024,
                      &floorOnly);

    // The floor's rectangle is 21 x 6 texels, 4 units apart along x: column 0 lies 40 units
    // under the roof, column 20 40 units beyond its edge.
    const AtlasRect& rect = covered.pack.polygons()[0].atlas;
    ASSERT_EQ(rect.width, 21);
    ASSERT_EQ(rect.height, 6);
    for (int j = 0; j < rect.height; ++j) {
        const Coefficients lit = texel(open, 0, 0, j);
        const Coefficients under = texel(covered, 0, 0, j);
        const Coefficients beyond = texel(covered, 0, 20, j);
        double litSum = 0.0, beyondSum = 0.0;
        for (int k = 0; k < 3; ++k) {
            // Under the roof only rays rising less than 6 degrees towards its edge escape;
            // basis 0 leans that way and sees them most.
            EXPECT_LT(under[size_t(k)][0], (k == 0 ? 0.1 : 0.03) * lit[size_t(k)][0]) << k;
            // Beyond the edge only rays rising less than 6 degrees towards the roof are
            // caught, which basis 0, leaning away, never sees.
            EXPECT_GT(beyond[size_t(k)][0], 0.9 * lit[size_t(k)][0]) << k;
            litSum += lit[size_t(k)][0];
            beyondSum += beyond[size_t(k)][0];
        }
        EXPECT_LT(beyondSum, litSum);
        // Going from under the roof into the open, the light grows.
        double previous = -1.0;
        for (int i = 0; i < rect.width; i += 4) {
            const Coefficients c = texel(covered, 0, i, j);
            const double sum = c[0][0] + c[1][0] + c[2][0];
            EXPECT_GT(sum, previous) << i;
            previous = sum;
        }
        // A roof facing away from the floor blocks nothing.
        for (int i = 0; i < rect.width; ++i)
            EXPECT_EQ(texel(backFacing, 0, i, j), texel(open, 0, i, j)) << i << "," << j;
    }
    // The roof was left out of the walk: its texels stay 0.
    const AtlasRect& roofRect = covered.pack.polygons()[1].atlas;
    EXPECT_EQ(texel(covered, 1, 3, 3)[0][0], 0.0);
    EXPECT_GT(roofRect.width, 0);
}

TEST(TransferBake, TheSHBuilderRefusesAnImageItCannotFill) {
    PolyPack pack(4, 3, 4);
    testing::packModel(pack, *rectModel({{openFloor()}}), 1, FORMAT_RGBA16F);
    SHTextureBuilder builder(16, 8192.0f, pack);
    EXPECT_EQ(AmbientTextureBuilder::current(), &builder);
    Vrenn::Test::LogCapture log;
    EXPECT_FALSE(pack.bake(builder)); // no samples yet
    ASSERT_TRUE(builder.generateSamples());
    EXPECT_FALSE(pack.bake(builder)); // one plane where 19 are written
    EXPECT_NE(log.text().find("the bake image is not one this builder fills"), std::string::npos);
    for (size_t i = 0; i < pack.bakeImage()->byteCount(); ++i)
        ASSERT_EQ(pack.bakeImage()->data()[i], 0);
}

} // namespace
} // namespace Vrenn
