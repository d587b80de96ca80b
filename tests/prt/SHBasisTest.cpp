#include "prt/SHBasis.h"

#include "ReferenceSH.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

using testing::referenceSH;

constexpr double kPi = 3.14159265358979323846;

TEST(SHBasis, ConstantTermIsTheSameEverywhere) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> theta(0.0f, 3.1415927f), phi(0.0f, 6.2831855f);
    for (int i = 0; i < 200; ++i)
        EXPECT_NEAR(shEvaluate(0, 0, theta(rng), phi(rng)), 0.2820948f, 1e-7f);
    EXPECT_NEAR(shNormalisation(0, 0), 1.0 / std::sqrt(12.566368), 3e-8);
}

TEST(SHBasis, KnownValuesAtAxisDirections) {
    // +z: only the m = 0 functions are nonzero, sqrt((2l + 1) / 4 pi).
    for (int l = 0; l < kSHBands; ++l) {
        EXPECT_NEAR(shEvaluate(l, 0, 0.0f, 0.0f), std::sqrt((2 * l + 1) / (4 * kPi)), 2e-6) << l;
        for (int m = 1; m <= l; ++m) {
            EXPECT_NEAR(shEvaluate(l, m, 0.0f, 0.0f), 0.0, 1e-6);
            EXPECT_NEAR(shEvaluate(l, -m, 0.0f, 0.0f), 0.0, 1e-6);
        }
    }
    const float halfPi = 1.5707964f;
    // +x: band 1 is (-c y, c z, -c x), so Y(1, 1) = -0.4886025.
    EXPECT_NEAR(shEvaluate(1, 1, halfPi, 0.0f), -0.4886025f, 1e-6f);
    EXPECT_NEAR(shEvaluate(1, -1, halfPi, 0.0f), 0.0f, 1e-6f);
    // +y: Y(1, -1) = -0.4886025.
    EXPECT_NEAR(shEvaluate(1, -1, halfPi, halfPi), -0.4886025f, 1e-6f);
    // Y(2, 2) at +x is sqrt(15 / 16 pi) = 0.5462742, Y(2, 0) at the equator -sqrt(5 / 16 pi).
    EXPECT_NEAR(shEvaluate(2, 2, halfPi, 0.0f), 0.5462742f, 1e-6f);
    EXPECT_NEAR(shEvaluate(2, 0, halfPi, 1.0f), -0.3153916f, 1e-6f);
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

TEST(SHBasis, IsOrthonormalOverTheSphere) {
    // Dense quadrature of Y_i * Y_j with the basis evaluated at each point's angles.
    const int zSteps = 400, phiSteps = 48;
    double gram[kSHCoeffCount][kSHCoeffCount] = {};
    for (int i = 0; i < zSteps; ++i) {
        const double z = -1.0 + (i + 0.5) * 2.0 / zSteps;
        for (int j = 0; j < phiSteps; ++j) {
            const double phi = (j + 0.5) * 2.0 * kPi / phiSteps;
            float y[kSHCoeffCount];
            shEvaluateAll(float(std::acos(z)), float(phi), y);
            for (int a = 0; a < kSHCoeffCount; ++a)
                for (int b = 0; b < kSHCoeffCount; ++b)
                    gram[a][b] += double(y[a]) * y[b];
        }
    }
    const double area = (2.0 / zSteps) * (2.0 * kPi / phiSteps);
    for (int a = 0; a < kSHCoeffCount; ++a)
        for (int b = 0; b < kSHCoeffCount; ++b)
            EXPECT_NEAR(gram[a][b] * area, a == b ? 1.0 : 0.0, 2e-4) << a << "," << b;
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
