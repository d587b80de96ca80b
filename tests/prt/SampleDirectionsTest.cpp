#include "prt/SampleDirections.h"

#include "prt/SHSampler.h"

#include <climits>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

// The sample set and sampler the bake builds for a requested ray count.
struct Bake {
    SampleDirections directions;
    SHSampler sampler;

    explicit Bake(int rays) : sampler(rays) {
        LcgRandom random(0);
        EXPECT_TRUE(generateSampleDirections(rays, 8192.0f, random, directions));
        for (size_t k = 0; k < directions.size(); ++k)
            sampler.addSample(directions.theta[k], directions.phi[k]);
    }

    // Coefficient 0 of the constant function 1.
    float constantTerm() const {
        const std::vector<float> ones(directions.size(), 1.0f);
        SHVector c;
        sampler.project(ones.data(), c.data());
        return c[0];
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

TEST(SHSampler, ProjectsTheConstantWithTheWeightOfTheRequestedRayCount) {
    // sqrt(4 pi) for a square ray count, scaled by g^2 / R otherwise.
    EXPECT_NEAR(Bake(1024).constantTerm(), 3.5449077, 1e-4);
    EXPECT_NEAR(Bake(1000).constantTerm(), 3.5449077 * 0.961, 1e-4);
}

} // namespace
} // namespace Vrenn
