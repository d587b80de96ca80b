#include "prt/SHRotation.h"

#include "ReferenceSH.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace Vrenn {
namespace {

using testing::referenceSH;

using Matrix3 = std::array<float, 9>; // row by row, acting on column vectors

std::array<double, 3> transform(const Matrix3& m, double x, double y, double z) {
    return {m[0] * x + m[1] * y + m[2] * z, m[3] * x + m[4] * y + m[5] * z,
            m[6] * x + m[7] * y + m[8] * z};
}

// A uniformly random rotation from a random unit quaternion.
Matrix3 randomRotation(std::mt19937& rng) {
    std::normal_distribution<double> normal;
    double w = normal(rng), x = normal(rng), y = normal(rng), z = normal(rng);
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    w /= n, x /= n, y /= n, z /= n;
    return {float(1 - 2 * (y * y + z * z)), float(2 * (x * y - w * z)),
            float(2 * (x * z + w * y)),     float(2 * (x * y + w * z)),
            float(1 - 2 * (x * x + z * z)), float(2 * (y * z - w * x)),
            float(2 * (x * z - w * y)),     float(2 * (y * z + w * x)),
            float(1 - 2 * (x * x + y * y))};
}

SHVector randomCoefficients(std::mt19937& rng) {
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    SHVector c;
    for (float& v : c)
        v = u(rng);
    return c;
}

SHVector basisAt(double x, double y, double z) {
    const auto ref = referenceSH(x, y, z);
    SHVector v;
    for (int i = 0; i < kSHCoeffCount; ++i)
        v[size_t(i)] = float(ref[size_t(i)]);
    return v;
}

TEST(SHRotation, MovesWhatWasAtDToRD) {
    // Turning a function f by R gives f(R^-1 d), so the coefficient vector Y(d), the
    // band-limited spike at d, must become Y(R d). Holds for reflections too.
    std::mt19937 rng(5);
    std::normal_distribution<double> normal;
    std::vector<Matrix3> matrices;
    for (int i = 0; i < 50; ++i)
        matrices.push_back(randomRotation(rng));
    matrices.push_back({1, 0, 0, 0, 1, 0, 0, 0, -1});   // mirror z
    matrices.push_back({-1, 0, 0, 0, -1, 0, 0, 0, -1}); // point reflection
    for (const Matrix3& r : matrices) {
        const SHRotation rotation(r.data());
        for (int k = 0; k < 10; ++k) {
            double x = normal(rng), y = normal(rng), z = normal(rng);
            const double n = std::sqrt(x * x + y * y + z * z);
            x /= n, y /= n, z /= n;
            const auto rd = transform(r, x, y, z);
            SHVector out;
            rotation.apply(basisAt(x, y, z), out);
            const SHVector expected = basisAt(rd[0], rd[1], rd[2]);
            for (int i = 0; i < kSHCoeffCount; ++i)
                ASSERT_NEAR(out[size_t(i)], expected[size_t(i)], 2e-5) << i;
        }
    }
}

TEST(SHRotation, AcceptsEngineMatricesLowerOrdersAndInPlaceUse) {
    std::mt19937 rng(2);
    const Matrix3 r = randomRotation(rng);
    const float m4[16] = {r[0], r[1], r[2], 5.0f, r[3], r[4], r[5], -7.0f,
                          r[6], r[7], r[8], 9.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    const SHRotation rotation(r.data());
    const SHRotation fromEngine = SHRotation::fromMatrix4(m4);
    for (int l = 0; l < kSHBands; ++l)
        for (int m = -l; m <= l; ++m)
            for (int n = -l; n <= l; ++n)
                EXPECT_EQ(fromEngine.element(l, m, n), rotation.element(l, m, n));

    const SHVector c = randomCoefficients(rng);
    SHVector full;
    rotation.apply(c, full);

    // Order 3 touches only the first 9 outputs and agrees with the full rotation there.
    SHVector partial, expected = full;
    partial.fill(42.0f);
    std::fill(expected.begin() + 9, expected.end(), 42.0f);
    ASSERT_TRUE(rotation.apply(c.data(), partial.data(), 3));
    EXPECT_EQ(partial, expected);

    SHVector inPlace = c;
    ASSERT_TRUE(shRotate(inPlace.data(), 5, r.data(), inPlace.data()));
    EXPECT_EQ(inPlace, full);

    SHVector untouched = c;
    EXPECT_FALSE(rotation.apply(c.data(), untouched.data(), 0));
    EXPECT_FALSE(rotation.apply(c.data(), untouched.data(), 6));
    EXPECT_EQ(untouched, c);
    EXPECT_EQ(rotation.element(5, 0, 0), 0.0f);
    EXPECT_EQ(rotation.element(2, 3, 0), 0.0f);
}

} // namespace
} // namespace Vrenn
