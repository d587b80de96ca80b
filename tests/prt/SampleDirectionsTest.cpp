#include "prt/SampleDirections.h"

#include "ReferenceSH.h"
#include "prt/SHSampler.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

using testing::kPi;
using testing::referenceSH;

// The sample set and sampler the bake builds for a requested ray count.
struct Bake {
    SampleDirections directions;
    SHSampler sampler;

    explicit Bake(int rays, float rayLength = 8192.0f) : sampler(rays) {
        LcgRandom random(0);
        EXPECT_TRUE(generateSampleDirections(rays, rayLength, random, directions));
        for (size_t k = 0; k < directions.size(); ++k)
            sampler.addSample(directions.theta[k], directions.phi[k]);
    }

    SHVector project(const std::function<double(double, double, double)>& f) const {
        std::vector<float> values(directions.size());
        for (size_t k = 0; k < values.size(); ++k)
            values[k] =
                float(f(directions.unit[k][0], directions.unit[k][1], directions.unit[k][2]));
        SHVector c;
        sampler.project(values.data(), c.data());
        return c;
    }
};

TEST(LcgRandom, FollowsThePortableSequence) {
    // The C standard's example generator after seeding with 1.
    LcgRandom random(1);
    for (int expected : {16838, 5758, 10113, 17515, 31051})
        EXPECT_EQ(random.next(), expected);
    EXPECT_FLOAT_EQ(LcgRandom(5).nextUnit() * 32767.0f, float(LcgRandom(5).next()));
}

TEST(SampleDirections, KeepTheLargestSquareOfTheRequestedCountAndRefuseOthers) {
    const std::pair<int, int> sizes[] = {{1000, 31}, {100, 10}, {99, 9},         {1, 1},
                                         {0, 0},     {-4, 0},   {INT_MAX, 46340}};
    for (const auto& [rays, g] : sizes)
        EXPECT_EQ(sampleGridSize(rays), g) << rays;

    LcgRandom first(0), second(0);
    SampleDirections a, b, c;
    for (int rays : {0, -10, kMaxSampleRays + 1})
        EXPECT_FALSE(generateSampleDirections(rays, 1.0f, first, a)) << rays;
    EXPECT_EQ(a.size(), 0u);
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, first, a));
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, second, b));
    EXPECT_EQ(a.phi, b.phi);
    // A continuing generator draws fresh jitter.
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, first, c));
    EXPECT_NE(a.theta, c.theta);
}

TEST(SampleDirections, FormAJitteredGridOverTheSphereSortedIntoOctants) {
    const int g = 16;
    Bake bake(g * g, 100.0f);
    const SampleDirections& d = bake.directions;
    for (size_t k = 0; k < d.size(); ++k) {
        const auto& w = d.unit[k];
        EXPECT_NEAR(w[0] * w[0] + w[1] * w[1] + w[2] * w[2], 1.0, 1e-5);
        // cos theta = 1 - 2u with u in cell k / g, phi / 2 pi in cell k % g.
        const double u = (1.0 - w[2]) / 2.0, v = d.phi[k] / (2.0 * kPi);
        EXPECT_NEAR(u, (double(k / g) + 0.5) / g, 0.5 / g + 1e-5) << k;
        EXPECT_NEAR(v, (double(k % g) + 0.5) / g, 0.5 / g + 1e-5) << k;
        EXPECT_NEAR(std::cos(d.theta[k]), w[2], 1e-5);
        if (std::hypot(w[0], w[1]) > 1e-3f) {
            EXPECT_NEAR(std::atan2(w[1], w[0]), std::remainder(double(d.phi[k]), 2.0 * kPi), 1e-3);
        }
        for (int c = 0; c < 3; ++c)
            EXPECT_FLOAT_EQ(d.scaled[k][size_t(c)], w[size_t(c)] * 100.0f);
    }
    size_t total = 0;
    for (int o = 0; o < 8; ++o) {
        const auto& list = d.octants[size_t(o)];
        total += list.size();
        for (size_t i = 0; i < list.size(); ++i) {
            const auto& w = d.unit[list[i]];
            EXPECT_EQ((w[0] < 0) + 2 * (w[1] < 0) + 4 * (w[2] < 0), o);
            EXPECT_TRUE(i == 0 || list[i - 1] < list[i]);
        }
    }
    EXPECT_EQ(total, d.size());
}

TEST(SampleDirections, OctantClassificationIsConservative) {
    auto sides = classifyOctants(-0.5f, 0.1f, -0.2f); // x < 0, y > 0, z < 0: octant 5
    for (int o = 0; o < 8; ++o)
        EXPECT_EQ(sides[size_t(o)], o == 5   ? OctantSide::Front
                                    : o == 2 ? OctantSide::Back
                                             : OctantSide::Mixed);
    // A normal on an axis plane leaves no octant wholly in front.
    for (OctantSide side : classifyOctants(0.0f, 0.0f, 1.0f))
        EXPECT_EQ(side, OctantSide::Mixed);

    // Against the real sample set and random normals: Front and Back never misjudge a sample.
    Bake bake(4096);
    std::mt19937 rng(3);
    std::normal_distribution<float> normal;
    for (int trial = 0; trial < 200; ++trial) {
        const float n[3] = {normal(rng), normal(rng), normal(rng)};
        sides = classifyOctants(n[0], n[1], n[2]);
        for (int o = 0; o < 8; ++o)
            for (uint32_t k : bake.directions.octants[size_t(o)]) {
                const auto& w = bake.directions.unit[k];
                const float dot = n[0] * w[0] + n[1] * w[1] + n[2] * w[2];
                ASSERT_FALSE(sides[size_t(o)] == OctantSide::Front && dot <= 0.0f);
                ASSERT_FALSE(sides[size_t(o)] == OctantSide::Back && dot >= 0.0f);
            }
    }
}

TEST(SHSampler, ProjectsKnownFunctionsToTheirCoefficients) {
    // The constant: sqrt(4 pi) for a square ray count, scaled by g^2 / R otherwise.
    EXPECT_NEAR(Bake(1024).project([](double, double, double) { return 1.0; })[0], 3.5449077, 1e-4);
    EXPECT_NEAR(Bake(1000).project([](double, double, double) { return 1.0; })[0],
                3.5449077 * 0.961, 1e-4);

    // Each basis function projects onto itself.
    Bake bake(1024);
    for (int i = 0; i < kSHCoeffCount; ++i) {
        const SHVector b = bake.project(
            [i](double x, double y, double z) { return referenceSH(x, y, z)[size_t(i)]; });
        for (int j = 0; j < kSHCoeffCount; ++j)
            EXPECT_NEAR(b[size_t(j)], i == j ? 1.0 : 0.0, 0.03) << i << "," << j;
    }

    // Without samples, zero.
    SHSampler empty(0);
    SHVector zero;
    zero.fill(1.0f);
    empty.project(nullptr, zero.data());
    EXPECT_EQ(zero, SHVector{});
}

} // namespace
} // namespace Vrenn
