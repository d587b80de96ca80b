// The sky cube maps: every texel holds the probe's SH series in the direction a cube-map lookup
// finds it for, clamped at 0.

#include "prt/SkyCube.h"

#include "ReferenceSH.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using testing::referenceSH;

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

TEST(SkyCube, EveryTexelHoldsTheProbeInTheDirectionACubeLookupFindsItFor) {
    // The series in a few directions, against the basis written out in x, y and z.
    const SHVector& red = lightProbes()[0].red;
    for (const Vec3& d : {Vec3{1, 0, 0}, Vec3{0, -1, 0}, Vec3{0, 0, 1}, normalized({-1, 2, -3})})
        EXPECT_NEAR(shSeries(red, d), referenceSeries(red, d), 1e-5);

    for (int slot = 0; slot < kLightProbeCount; ++slot) {
        SCOPED_TRACE("probe " + std::to_string(slot));
        const SHCoeffs& probe = lightProbes()[size_t(slot)];
        Image cube;
        ASSERT_TRUE(makeSkyCube(probe, kSkyCubeSize, cube));
        const int n = kSkyCubeSize;
        ASSERT_EQ(cube.width(), n);
        ASSERT_EQ(cube.height(), n);
        ASSERT_EQ(cube.faces(), 6);
        ASSERT_EQ(cube.mipLevels(), 1);
        ASSERT_EQ(cube.format(), FORMAT_RGBA16F);

        int clamped = 0;
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
                    for (int c = 0; c < 3; ++c) {
                        const double series = referenceSeries(probe.channel(c), d);
                        clamped += series < 0.0;
                        const double expected = std::max(series, 0.0);
                        ASSERT_NEAR(texel[c], expected, 1e-3 * expected + 1e-5)
                            << "face " << face << " texel " << column << "," << row;
                    }
                }
        EXPECT_GT(clamped, 0); // the series dips below 0 somewhere: the clamp was exercised
    }
}

TEST(SkyCube, NegativeRadianceIsClampedToZero) {
    // Red rises towards +x (c x, c = sqrt(3 / 4 pi)), green towards -x, blue is 0.
    SHCoeffs probe;
    probe.red[3] = -1.0f;
    probe.green[3] = 1.0f;
    Image cube;
    ASSERT_TRUE(makeSkyCube(probe, 8, cube));
    const float c = 0.48860252f;
    for (int row = 0; row < 8; ++row)
        for (int column = 0; column < 8; ++column) {
            const float* plusX = texelOf(cube, 0, column, row);
            EXPECT_GT(plusX[0], 0.5f * c);
            const uint16_t* minusX = reinterpret_cast<const uint16_t*>(cube.getFaceData(1, 0)) +
                                     (size_t(row) * 8 + size_t(column)) * 4;
            EXPECT_EQ(minusX[0], 0u); // 0, not -0
            EXPECT_GT(halfToFloat(minusX[1]), 0.5f * c);
            EXPECT_EQ(minusX[2], 0u);
        }
    // The face centres lie on the axes.
    EXPECT_NEAR(texelOf(cube, 0, 4, 4)[0], c, 0.02f);

    Image untouched;
    EXPECT_FALSE(makeSkyCube(probe, 0, untouched));
    EXPECT_EQ(untouched.data(), nullptr);
}

} // namespace
} // namespace Vrenn
