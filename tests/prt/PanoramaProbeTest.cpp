// HDR panoramas into probes: the SH projection weighted by solid angle, the lat-long direction
// convention (pinned by a bright spot off every axis), and the sky cube resampled from the
// panorama.

#include "prt/PanoramaProbe.h"

#include "ReferenceSH.h"
#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/SkyCube.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace Vrenn {
namespace {

using testing::kPi;

// A width x height RGB32F panorama, texel (column, row) set by fill.
Image makePanorama(int width, int height, const std::function<void(int, int, float*)>& fill) {
    Image image;
    auto* texels = reinterpret_cast<float*>(image.create(width, height, 1, FORMAT_RGB32F, 1, 1));
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            fill(column, row, texels + (size_t(row) * size_t(width) + size_t(column)) * 3);
    return image;
}

// The direction of a texel centre, written out from the documented convention.
void texelDirection(int column, int row, int width, int height, double d[3]) {
    const double phi = 2.0 * kPi * ((column + 0.5) / width - 0.5);
    const double theta = kPi * (row + 0.5) / height;
    d[0] = std::sin(theta) * std::sin(phi);
    d[1] = std::cos(theta);
    d[2] = -std::sin(theta) * std::cos(phi);
}

// A constant sky gives only the constant term and a flat sky cube; a spot of radius 2 degrees
// round an oblique direction on a black sky gives the basis in its direction times its energy,
// and shows where a cube-map lookup in its direction lands.
TEST(PanoramaProbeTest, ConstantSkyAndBrightSpotGiveTheirTermsAndShowInTheSkyCube) {
    const double centre[3] = {0.48, 0.6, -0.64}; // a unit vector
    const float radiance[3] = {1000.0f, 500.0f, 10.0f};
    for (const bool spotOnBlack : {false, true}) {
        SCOPED_TRACE(spotOnBlack ? "spot" : "constant");
        const int width = spotOnBlack ? 1024 : 128, height = width / 2;
        const double cosRadius = spotOnBlack ? std::cos(2.0 * kPi / 180.0) : 1.0;
        const float background[3] = {spotOnBlack ? 0.0f : 50.0f, spotOnBlack ? 0.0f : 2.0f,
                                     spotOnBlack ? 0.0f : 0.25f};
        double energy = 0.0; // the spot's solid angle as the texels cover it
        const Image panorama = makePanorama(width, height, [&](int column, int row, float* t) {
            double d[3];
            texelDirection(column, row, width, height, d);
            const bool inSpot = d[0] * centre[0] + d[1] * centre[1] + d[2] * centre[2] > cosRadius;
            for (int c = 0; c < 3; ++c)
                t[c] = inSpot ? radiance[c] : background[c];
            if (inSpot)
                energy += 2.0 * kPi / width *
                          (std::cos(kPi * row / height) - std::cos(kPi * (row + 1) / height));
        });
        ASSERT_NEAR(energy, 2.0 * kPi * (1.0 - cosRadius), 0.05 * energy);

        SHCoeffs coeffs;
        ASSERT_TRUE(projectPanorama(panorama, coeffs));
        const auto basis = testing::referenceSH(centre[0], centre[1], centre[2]);
        for (int c = 0; c < 3; ++c)
            for (size_t i = 0; i < 25; ++i) {
                const double sky = i ? 0.0 : background[c] * std::sqrt(4.0 * kPi);
                const double spotTolerance = 0.01 * radiance[c] * energy;
                EXPECT_NEAR(coeffs.channel(c)[i], sky + radiance[c] * energy * basis[i],
                            (i ? 2e-3 * background[c] : 1e-5 * sky) + spotTolerance)
                    << "channel " << c << " i " << i;
            }

        Image cube;
        ASSERT_TRUE(panoramaSkyCube(panorama, 256, cube));
        ASSERT_EQ(std::tuple(cube.faces(), cube.format()), std::tuple(6, FORMAT_RGBA16F));
        int spot = 0, dim = 0, wrong = 0; // texels in the spot, those not bright, others not sky
        for (int face = 0; face < 6; ++face) {
            const auto* texel = reinterpret_cast<const uint16_t*>(cube.getFaceData(face, 0));
            for (int row = 0; row < 256; ++row)
                for (int column = 0; column < 256; ++column, texel += 4) {
                    const Vec3 d =
                        cubeFaceDirection(face, (column + 0.5f) / 256, (row + 0.5f) / 256);
                    const double cosine = d.x * centre[0] + d.y * centre[1] + d.z * centre[2];
                    wrong += halfToFloat(texel[3]) != 1.0f;
                    if (spotOnBlack && cosine > std::cos(1.5 * kPi / 180.0)) {
                        ++spot;
                        dim += !(halfToFloat(texel[0]) > 0.5f * radiance[0]);
                    } else if (!spotOnBlack || cosine < std::cos(2.5 * kPi / 180.0)) {
                        for (int c = 0; c < 3; ++c)
                            wrong += !(std::fabs(halfToFloat(texel[c]) - background[c]) <=
                                       1e-3 * background[c]);
                    }
                }
        }
        EXPECT_TRUE(spotOnBlack ? spot > 10 : spot == 0) << spot;
        EXPECT_EQ(std::tuple(dim, wrong), std::tuple(0, 0));
    }
    // Non-RGB32F input is refused.
    Image bytes, cube;
    SHCoeffs coeffs;
    bytes.create(8, 4, 1, FORMAT_RGBA8, 1, 1);
    EXPECT_FALSE(projectPanorama(bytes, coeffs));
    EXPECT_FALSE(panoramaSkyCube(bytes, 8, cube));
}

TEST(PanoramaProbeTest, CoefficientFilesComeBackExactlyAndDamagedOnesAreRefused) {
    SHCoeffs coeffs;
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < 25; ++i)
            coeffs.channel(c)[i] =
                float(std::sin(double(c * 25 + int(i)) + 0.1)) * 1e3f / float(i + 1);
    const std::string text = formatProbeCoefficients(coeffs);
    SHCoeffs back;
    std::string why;
    ASSERT_TRUE(parseProbeCoefficients(text, back, why)) << why;
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < 25; ++i)
            EXPECT_EQ(back.channel(c)[i], coeffs.channel(c)[i]);

    const std::string line = text.substr(0, text.find('\n') + 1);
    const SHCoeffs untouched = back;
    for (const std::string& bad :
         {line + line, line + line + line + line, line + line + "1 2 3\n",
          line + line + line.substr(0, line.size() - 1) + " 7\n", line + line + "nan" + line,
          line + line + "1e99" + line.substr(line.find(' ')), std::string("x\n")}) {
        why.clear();
        EXPECT_FALSE(parseProbeCoefficients(bad, back, why)) << bad;
        EXPECT_FALSE(why.empty());
        EXPECT_EQ(back.red, untouched.red);
    }
}

} // namespace
} // namespace Vrenn
