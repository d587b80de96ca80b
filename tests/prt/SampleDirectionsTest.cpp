#include "prt/SampleDirections.h"

#include "ReferenceSH.h"
#include "prt/SHSampler.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

using testing::referenceSH;

constexpr double kPi = 3.14159265358979323846;

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
        for (size_t k = 0; k < values.size(); ++k) {
            const auto& d = directions.unit[k];
            values[k] = float(f(d[0], d[1], d[2]));
        }
        SHVector c;
        sampler.project(values.data(), c.data());
        return c;
    }
};

TEST(LcgRandom, FollowsThePortableSequenceAndStaysInRange) {
    // The C standard's example generator gives 16838 first after seeding with 1.
    LcgRandom seeded(1);
    EXPECT_EQ(seeded.next(), 16838);
    LcgRandom random(0);
    EXPECT_EQ(random.next(), 0); // state 12345 has nothing above bit 15
    int lowest = LcgRandom::kMax, highest = 0;
    for (int i = 0; i < 200000; ++i) {
        const int value = random.next();
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    EXPECT_EQ(lowest, 0);
    EXPECT_EQ(highest, 32767);
    EXPECT_FLOAT_EQ(LcgRandom(5).nextUnit() * 32767.0f, float(LcgRandom(5).next()));
}

TEST(SampleDirections, KeepTheLargestSquareOfTheRequestedCount) {
    EXPECT_EQ(sampleGridSize(1000), 31);
    EXPECT_EQ(sampleGridSize(100), 10);
    EXPECT_EQ(sampleGridSize(99), 9);
    EXPECT_EQ(sampleGridSize(50), 7);
    EXPECT_EQ(sampleGridSize(1), 1);
    EXPECT_EQ(sampleGridSize(0), 0);
    EXPECT_EQ(sampleGridSize(-4), 0);
    EXPECT_EQ(sampleGridSize(INT_MAX), 46340);

    Bake bake(1000);
    EXPECT_EQ(bake.directions.size(), 961u);
    EXPECT_EQ(bake.sampler.size(), 961u);
    EXPECT_EQ(bake.sampler.sampleCount(), 1000);
    EXPECT_FLOAT_EQ(bake.sampler.weight(), 12.566368f / 1000.0f);
    EXPECT_EQ(Bake(50).directions.size(), 49u);
}

TEST(SampleDirections, FormAJitteredGridOverTheSphere) {
    const int g = 16;
    Bake bake(g * g, 100.0f);
    const SampleDirections& d = bake.directions;
    for (int a = 0; a < g; ++a) {
        for (int b = 0; b < g; ++b) {
            const size_t k = size_t(a * g + b);
            const auto& w = d.unit[k];
            EXPECT_NEAR(w[0] * w[0] + w[1] * w[1] + w[2] * w[2], 1.0, 1e-5);
            // cos theta = 1 - 2u with u in cell a, phi / 2 pi in cell b.
            const double u = (1.0 - w[2]) / 2.0;
            EXPECT_GE(u, double(a) / g - 1e-5);
            EXPECT_LE(u, double(a + 1) / g + 1e-5);
            const double v = d.phi[k] / (2.0 * kPi);
            EXPECT_GE(v, double(b) / g - 1e-5);
            EXPECT_LE(v, double(b + 1) / g + 1e-5);
            EXPECT_NEAR(std::cos(d.theta[k]), w[2], 1e-5);
            if (std::hypot(w[0], w[1]) > 1e-3f) {
                EXPECT_NEAR(std::atan2(w[1], w[0]), std::remainder(double(d.phi[k]), 2.0 * kPi),
                            1e-3);
            }
            for (int c = 0; c < 3; ++c)
                EXPECT_FLOAT_EQ(d.scaled[k][size_t(c)], w[size_t(c)] * 100.0f);
        }
    }
}

TEST(SampleDirections, AreReproducibleAndRefuseCountsOutsideTheSupportedRange) {
    LcgRandom first(0), second(0);
    SampleDirections a, b, c;
    EXPECT_FALSE(generateSampleDirections(0, 1.0f, first, a));
    EXPECT_FALSE(generateSampleDirections(-10, 1.0f, first, a));
    EXPECT_FALSE(generateSampleDirections(kMaxSampleRays + 1, 1.0f, first, a));
    EXPECT_EQ(a.size(), 0u);
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, first, a));
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, second, b));
    EXPECT_EQ(a.theta, b.theta);
    EXPECT_EQ(a.phi, b.phi);
    // A continuing generator draws fresh jitter.
    ASSERT_TRUE(generateSampleDirections(256, 1.0f, first, c));
    EXPECT_NE(a.theta, c.theta);
}

TEST(SampleDirections, OctantListsPartitionTheSamplesBySign) {
    Bake bake(1024);
    const SampleDirections& d = bake.directions;
    size_t total = 0;
    for (int o = 0; o < 8; ++o) {
        const auto& list = d.octants[size_t(o)];
        total += list.size();
        // Roughly an eighth of the sphere each.
        EXPECT_NEAR(double(list.size()) / d.size(), 0.125, 0.03) << o;
        for (size_t i = 0; i < list.size(); ++i) {
            const auto& w = d.unit[list[i]];
            EXPECT_EQ(w[0] < 0, bool(o & 1));
            EXPECT_EQ(w[1] < 0, bool(o & 2));
            EXPECT_EQ(w[2] < 0, bool(o & 4));
            if (i > 0) {
                EXPECT_LT(list[i - 1], list[i]);
            }
        }
    }
    EXPECT_EQ(total, d.size());
}

TEST(SampleDirections, OctantClassificationIsConservative) {
    auto sides = classifyOctants(1.0f, 2.0f, 3.0f);
    EXPECT_EQ(sides[0], OctantSide::Front);
    EXPECT_EQ(sides[7], OctantSide::Back);
    for (int o = 1; o < 7; ++o)
        EXPECT_EQ(sides[size_t(o)], OctantSide::Mixed);
    // A normal on an axis plane: directions in that plane have n . w = 0, so no octant can
    // be wholly in front.
    for (OctantSide side : classifyOctants(0.0f, 0.0f, 1.0f))
        EXPECT_EQ(side, OctantSide::Mixed);
    sides = classifyOctants(-0.5f, 0.1f, -0.2f); // x < 0, y > 0, z < 0: octant 5
    EXPECT_EQ(sides[5], OctantSide::Front);
    EXPECT_EQ(sides[2], OctantSide::Back);

    // Against the real sample set and random normals: Front and Back never misjudge a sample.
    Bake bake(4096);
    std::mt19937 rng(3);
    std::normal_distribution<float> normal;
    for (int trial = 0; trial < 200; ++trial) {
        const float n[3] = {normal(rng), normal(rng), normal(rng)};
        sides = classifyOctants(n[0], n[1], n[2]);
        for (int o = 0; o < 8; ++o) {
            for (uint32_t k : bake.directions.octants[size_t(o)]) {
                const auto& w = bake.directions.unit[k];
                const float dot = n[0] * w[0] + n[1] * w[1] + n[2] * w[2];
                if (sides[size_t(o)] == OctantSide::Front) {
                    ASSERT_GT(dot, 0.0f);
                }
                if (sides[size_t(o)] == OctantSide::Back) {
                    ASSERT_LT(dot, 0.0f);
                }
            }
        }
    }
}

TEST(SHSampler, ProjectsTheConstantToItsSingleCoefficient) {
    // sqrt(4 pi) = 3.5449077 for a square ray count (the other coefficients are checked with
    // the basis functions below) ...
    Bake square(1024);
    SHVector c = square.project([](double, double, double) { return 1.0; });
    EXPECT_NEAR(c[0], 3.5449077, 1e-4);

    // ... and scaled by g^2 / R otherwise: 961 samples of weight 4 pi / 1000.
    Bake truncated(1000);
    c = truncated.project([](double, double, double) { return 1.0; });
    EXPECT_NEAR(c[0], 3.5449077 * 0.961, 1e-4);
}

TEST(SHSampler, ProjectsTheClampedCosineLobe) {
    // max(0, z): c0 = pi * Y00 = 0.886227, c2 = sqrt(3 / 4 pi) * 2 pi / 3 = 1.0233267,
    // c6 = sqrt(5 / 16 pi) * pi / 2 = 0.4954159, c20 = -3 / 16 sqrt(1 / pi) * pi / 3 = -0.110778;
    // the rest vanish by symmetry or parity (odd bands above 1 integrate to zero on the lobe).
    Bake bake(4096);
    const SHVector c = bake.project([](double, double, double z) { return z > 0 ? z : 0.0; });
    EXPECT_NEAR(c[0], 0.886227, 2e-3);
    EXPECT_NEAR(c[2], 1.0233267, 2e-3);
    EXPECT_NEAR(c[6], 0.4954159, 2e-3);
    for (int i : {1, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24})
        EXPECT_NEAR(c[size_t(i)], 0.0, 1e-2) << i;
    EXPECT_NEAR(c[20], -0.110778, 2e-3);
}

TEST(SHSampler, ProjectsEachBasisFunctionOntoItself) {
    Bake bake(1024);
    for (int i = 0; i < kSHCoeffCount; ++i) {
        const SHVector c = bake.project(
            [i](double x, double y, double z) { return referenceSH(x, y, z)[size_t(i)]; });
        for (int j = 0; j < kSHCoeffCount; ++j)
            EXPECT_NEAR(c[size_t(j)], i == j ? 1.0 : 0.0, 0.03) << i << "," << j;
    }
}

TEST(SHSampler, WithoutSamplesProjectsToZero) {
    SHSampler empty(0);
    EXPECT_EQ(empty.weight(), 0.0f);
    SHVector c;
    c.fill(1.0f);
    empty.project(nullptr, c.data());
    for (float v : c)
        EXPECT_EQ(v, 0.0f);
}

} // namespace
} // namespace Vrenn
