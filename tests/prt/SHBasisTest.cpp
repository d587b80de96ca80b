#include "prt/SHBasis.h"

#include "ReferenceSH.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

using testing::referenceSH;

constexpr double kPi = 3.14159265358979323846;

TEST(SHBasis, KnownValuesAtThePoleWhereTheAzimuthIsUndefined) {
    // +z: only the m = 0 functions are nonzero, sqrt((2l + 1) / 4 pi).
    for (int l = 0; l < kSHBands; ++l) {
        EXPECT_NEAR(shEvaluate(l, 0, 0.0f, 0.0f), std::sqrt((2 * l + 1) / (4 * kPi)), 2e-6) << l;
        for (int m = 1; m <= l; ++m) {
            EXPECT_NEAR(shEvaluate(l, m, 0.0f, 0.0f), 0.0, 1e-6);
            EXPECT_NEAR(shEvaluate(l, -m, 0.0f, 0.0f), 0.0, 1e-6);
        }
    }
    EXPECT_NEAR(shNormalisation(0, 0), 1.0 / std::sqrt(12.566368), 3e-8);
}

TEST(SHBasis, AllFunctionsMatchTheirPolynomialForms) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 500; ++i) {
        const float theta = std::acos(1.0f - 2.0f * u(rng));
        const float phi = 6.2831855f * u(rng);
        const double st = std::sin(double(theta));
        const auto ref = referenceSH(st * std::cos(double(phi)), st * std::sin(double(phi)),
                                     std::cos(double(theta)));
        float all[kSHCoeffCount];
        shEvaluateAll(theta, phi, all);
        for (int l = 0; l < kSHBands; ++l) {
            for (int m = -l; m <= l; ++m) {
                const int index = shIndex(l, m);
                EXPECT_NEAR(shEvaluate(l, m, theta, phi), ref[index], 2e-5)
                    << "l=" << l << " m=" << m << " theta=" << theta << " phi=" << phi;
                EXPECT_EQ(all[index], shEvaluate(l, m, theta, phi));
            }
        }
    }
}

TEST(SHBasis, OutOfRangeArgumentsGiveZero) {
    EXPECT_EQ(shEvaluate(2, 3, 1.0f, 1.0f), 0.0f);
    EXPECT_EQ(shEvaluate(-1, 0, 1.0f, 1.0f), 0.0f);
    EXPECT_EQ(shEvaluate(kSHMaxEvalBand + 1, 0, 1.0f, 1.0f), 0.0f);
    EXPECT_EQ(shLegendre(3, -1, 0.5f), 0.0f);
    EXPECT_EQ(shNormalisation(100, 0), 0.0f);
    // x outside [-1, 1] must not produce NaN from the square root.
    EXPECT_FALSE(std::isnan(shLegendre(2, 1, 1.0000001f)));
}

} // namespace
} // namespace Vrenn
