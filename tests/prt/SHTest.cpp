// The SH basis against its polynomial forms, rotations, the probes turned and blended, windows
// against ringing, and the sky cube maps drawn from a probe's series.

#include "ReferenceSH.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/PrtLighting.h"
#include "prt/SHBasis.h"
#include "prt/SHRotation.h"
#include "prt/SHWindow.h"
#include "prt/SkyCube.h"
#include "support/TestData.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>

namespace Vrenn {
namespace {

using testing::referenceSH;

// Random directions and the pole +z, where the azimuth is undefined.
TEST(SHBasis, AllFunctionsMatchTheirPolynomialFormsAndAreZeroOutOfRange) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 500; ++i) {
        const float theta = i ? std::acos(1.0f - 2.0f * u(rng)) : 0.0f;
        const float phi = i ? 6.2831855f * u(rng) : 1.0f;
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
    for (const auto& [l, m] : {std::pair{2, 3}, {-1, 0}, {kSHMaxEvalBand + 1, 0}})
        EXPECT_EQ(shEvaluate(l, m, 1.0f, 1.0f), 0.0f) << l << " " << m;
    EXPECT_EQ(shLegendre(3, -1, 0.5f), 0.0f);
    EXPECT_EQ(shNormalisation(100, 0), 0.0f);
    // x outside [-1, 1] must not produce NaN from the square root.
    EXPECT_FALSE(std::isnan(shLegendre(2, 1, 1.0000001f)));
}

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
            rotation.apply(testing::referenceSHVector(x, y, z), out);
            const SHVector expected = testing::referenceSHVector(rd[0], rd[1], rd[2]);
            for (int i = 0; i < kSHCoeffCount; ++i)
                ASSERT_NEAR(out[size_t(i)], expected[size_t(i)], 2e-5) << i;
        }
    }
}

// The other entry points a user may call: a 4x4 engine matrix (its translation ignored), fewer
// bands, output over input, and refusals that leave the output alone.
TEST(SHRotation, AcceptsEngineMatricesLowerOrdersAndInPlaceUse) {
    std::mt19937 rng(2);
    const Matrix3 r = randomRotation(rng);
    const float m4[16] = {r[0], r[1], r[2], 5.0f, r[3], r[4], r[5], -7.0f,
                          r[6], r[7], r[8], 9.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    const SHRotation rotation(r.data());
    SHVector c;
    std::normal_distribution<float> normal;
    for (float& v : c)
        v = normal(rng);
    SHVector full, fromEngine;
    rotation.apply(c, full);
    SHRotation::fromMatrix4(m4).apply(c, fromEngine);
    EXPECT_EQ(fromEngine, full);

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

constexpr float kHalfPi = 1.5707964f;

// The probe table as published for the scene, typed out independently of the source.
std::array<SHCoeffs, 2> expectedProbes() {
    std::ifstream in(Test::testDataPath("prt/light-probes.txt"));
    std::string comment;
    std::getline(in, comment);
    std::array<SHCoeffs, 2> probes;
    for (SHCoeffs& probe : probes)
        for (int c = 0; c < 3; ++c)
            for (float& v : probe.channel(c))
                in >> v;
    EXPECT_TRUE(in) << "light-probes.txt is short";
    return probes;
}

TEST(PrtLighting, HoldsTheProbeTableAndTurnsItRightHandedAboutY) {
    const auto expected = expectedProbes();
    PrtLighting lighting;
    lighting.update(0.0f, 0.0f, {});
    for (int slot = 0; slot < 2; ++slot)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(lightProbes()[size_t(slot)].channel(c), expected[size_t(slot)].channel(c));
            for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
                EXPECT_NEAR(lighting.turnedProbe(slot).channel(c)[i],
                            expected[size_t(slot)].channel(c)[i], 1e-6f);
        }

    // A quarter turn takes +x to -z and +z to +x: light arriving from +x arrives from -z.
    const std::array<float, 9> r = skyRotationRows(kHalfPi), want = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    for (size_t i = 0; i < 9; ++i)
        EXPECT_NEAR(r[i], want[i], 1e-7f) << i;
    SHCoeffs fromX;
    fromX.red = fromX.green = fromX.blue = testing::referenceSHVector(1, 0, 0);
    PrtLighting turned({SHCoeffs{}, fromX});
    turned.update(kHalfPi, 1.0f, {});
    const SHVector atMinusZ = testing::referenceSHVector(0, 0, -1);
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            EXPECT_NEAR(turned.lighting().channel(c)[i], atMinusZ[i], 1e-5f) << c << " " << i;

    // Any turn keeps the constant terms; the blend mixes the two turned probes.
    lighting.update(2.5f, 0.25f, {});
    EXPECT_EQ(lighting.turnedProbe(1).green[0], expected[1].green[0]);
    const SHCoeffs slot0 = lighting.turnedProbe(0), slot1 = lighting.turnedProbe(1);
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            EXPECT_NEAR(lighting.lighting().channel(c)[i],
                        0.75f * slot0.channel(c)[i] + 0.25f * slot1.channel(c)[i], 1e-6f);
}

// What the windows do to a probe is checked through `vrenn probe` and the built-in skies.
TEST(SHWindowTest, FactorsAndNames) {
    const float lanczos[kSHBands] = {1.0f, 0.935489f, 0.756827f, 0.504551f, 0.233872f};
    const float hann[kSHBands] = {1.0f, 0.904508f, 0.654508f, 0.345492f, 0.095492f};
    for (int band = 0; band < kSHBands; ++band) {
        EXPECT_NEAR(shWindowFactor(SHWindow::Lanczos, band), lanczos[band], 1e-6f);
        EXPECT_NEAR(shWindowFactor(SHWindow::Hann, band), hann[band], 1e-6f);
        EXPECT_EQ(shWindowFactor(SHWindow::None, band), 1.0f);
    }

    SHWindow parsed = SHWindow::None;
    EXPECT_TRUE(parseSHWindow("hann", parsed));
    EXPECT_EQ(parsed, SHWindow::Hann);
    EXPECT_FALSE(parseSHWindow("Lanczos", parsed));
}

// Where a cube-map lookup in direction (x, y, z) lands: the face of the component largest in
// magnitude (+X, -X, +Y, -Y, +Z, -Z) and the face coordinates s = (sc / |ma| + 1) / 2,
// t = (tc / |ma| + 1) / 2, with sc and tc as the lookup rule gives them per face.
struct CubeSpot {
    int face;
    double s, t;
};

CubeSpot cubeSpot(double x, double y, double z) {
    const double ax = std::fabs(x), ay = std::fabs(y), az = std::fabs(z);
    int face;
    double sc, tc, ma;
    if (ax >= ay && ax >= az) {
        face = x > 0 ? 0 : 1;
        sc = x > 0 ? -z : z;
        tc = -y;
        ma = ax;
    } else if (ay >= az) {
        face = y > 0 ? 2 : 3;
        sc = x;
        tc = y > 0 ? z : -z;
        ma = ay;
    } else {
        face = z > 0 ? 4 : 5;
        sc = z > 0 ? x : -x;
        tc = -y;
        ma = az;
    }
    return {face, (sc / ma + 1.0) / 2.0, (tc / ma + 1.0) / 2.0};
}

// The SH series of c in direction d, from the polynomial forms of the basis.
double referenceSeries(const SHVector& c, const Vec3& d) {
    const auto basis = referenceSH(d.x, d.y, d.z);
    double sum = 0.0;
    for (size_t i = 0; i < basis.size(); ++i)
        sum += double(c[i]) * basis[i];
    return sum;
}

const float* texelOf(const Image& cube, int face, int column, int row) {
    static thread_local float rgba[4];
    const auto* half = reinterpret_cast<const uint16_t*>(cube.getFaceData(face, 0)) +
                       (size_t(row) * size_t(cube.width()) + size_t(column)) * 4;
    for (int c = 0; c < 4; ++c)
        rgba[c] = halfToFloat(half[c]);
    return rgba;
}

// The built-in probes' skies are drawn from the windowed series: no texel of either sky is black,
// where the raw series of probe 1 dips far below 0 (to -26 % of its peak).
TEST(SkyCube, EveryTexelHoldsTheProbeInTheDirectionACubeLookupFindsItFor) {
    EXPECT_LT(shSeriesDip(lightProbes()[1]), -0.2f);
    for (int run = 0; run < 2 * kLightProbeCount; ++run) {
        const int slot = run / 2;
        const bool windowed = run % 2;
        SCOPED_TRACE("probe " + std::to_string(slot) + (windowed ? " windowed" : " raw"));
        SHCoeffs probe = lightProbes()[size_t(slot)];
        if (windowed) applySHWindow(kDefaultSHWindow, probe);
        Image cube;
        ASSERT_TRUE(makeSkyCube(probe, kSkyCubeSize, cube));
        const int n = kSkyCubeSize;
        ASSERT_EQ(
            std::tuple(cube.width(), cube.height(), cube.faces(), cube.mipLevels(), cube.format()),
            std::tuple(n, n, 6, 1, FORMAT_RGBA16F));

        int clamped = 0, black = 0;
        for (int face = 0; face < 6; ++face)
            for (int row = 0; row < n; ++row)
                for (int column = 0; column < n; ++column) {
                    const double s = (column + 0.5) / n, t = (row + 0.5) / n;
                    const Vec3 d = cubeFaceDirection(face, float(s), float(t));
                    // The lookup in the texel's direction finds this very texel.
                    const CubeSpot spot = cubeSpot(d.x, d.y, d.z);
                    ASSERT_TRUE(spot.face == face && std::fabs(spot.s - s) < 1e-5 &&
                                std::fabs(spot.t - t) < 1e-5)
                        << "face " << face << " texel " << column << "," << row << " found at face "
                        << spot.face << " " << spot.s << "," << spot.t;
                    const float* texel = texelOf(cube, face, column, row);
                    ASSERT_EQ(texel[3], 1.0f);
                    black += texel[0] <= 0.0f && texel[1] <= 0.0f && texel[2] <= 0.0f;
                    for (int c = 0; c < 3; ++c) {
                        const double series = referenceSeries(probe.channel(c), d);
                        clamped += series < 0.0;
                        const double expected = std::max(series, 0.0);
                        ASSERT_NEAR(texel[c], expected, 1e-3 * expected + 1e-5)
                            << "face " << face << " texel " << column << "," << row;
                    }
                }
        if (windowed) {
            EXPECT_GE(shSeriesDip(probe), -0.01f);
            EXPECT_EQ(black, 0);
        } else {
            EXPECT_GT(clamped, 0); // the series dips below 0 somewhere: the clamp was exercised
        }
    }
    Image untouched;
    EXPECT_FALSE(makeSkyCube(lightProbes()[0], 0, untouched));
    EXPECT_EQ(untouched.data(), nullptr);
}

} // namespace
} // namespace Vrenn
