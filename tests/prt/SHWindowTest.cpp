// Windows against ringing: the factors per band, their effect on a point sun, a constant sky
// and the built-in probes, whose drawn skies they keep out of black.

#include "prt/SHWindow.h"

#include "fs/HalfFloat.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/SkyCube.h"

#include <cmath>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

// The projection of a point light of the given power in direction d: power * Y_i(d).
SHCoeffs pointSun(const Vec3& d, float power) {
    float basis[kSHCoeffCount];
    const Vec3 n = normalized(d);
    shEvaluateAll(std::acos(n.z), std::atan2(n.y, n.x), basis);
    SHCoeffs coeffs;
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            coeffs.channel(c)[i] = power * basis[i] * (c == 2 ? 0.5f : 1.0f);
    return coeffs;
}

TEST(SHWindowTest, FactorsAndTheirEffectOnASunAndAConstantSky) {
    const float lanczos[kSHBands] = {1.0f, 0.935489f, 0.756827f, 0.504551f, 0.233872f};
    const float hann[kSHBands] = {1.0f, 0.904508f, 0.654508f, 0.345492f, 0.095492f};
    for (int band = 0; band < kSHBands; ++band) {
        EXPECT_NEAR(shWindowFactor(SHWindow::Lanczos, band), lanczos[band], 1e-6f);
        EXPECT_NEAR(shWindowFactor(SHWindow::Hann, band), hann[band], 1e-6f);
        EXPECT_EQ(shWindowFactor(SHWindow::None, band), 1.0f);
    }

    // A point sun rings to about -15 % raw; each window keeps it above -6 %, and the peak
    // stays in the sun's direction.
    const Vec3 sunDirection{0.3f, -0.5f, 0.8f};
    const SHCoeffs raw = pointSun(sunDirection, 1000.0f);
    EXPECT_LT(shSeriesDip(raw), -0.14f);
    for (const SHWindow window : {SHWindow::Lanczos, SHWindow::Hann}) {
        SCOPED_TRACE(shWindowName(window));
        SHCoeffs windowed = raw;
        applySHWindow(window, windowed);
        EXPECT_GE(shSeriesDip(windowed), -0.06f);
        EXPECT_LT(shSeriesDip(windowed), -0.03f); // still a window, not a blur to nothing
        const float peak = shSeries(windowed.red, normalized(sunDirection));
        EXPECT_GT(peak, shSeries(windowed.red, normalized(Vec3{0.35f, -0.5f, 0.8f})));
        EXPECT_NEAR(shSeries(windowed.blue, normalized(sunDirection)), 0.5f * peak, 1e-3f * peak);
    }
    SHCoeffs none = raw;
    applySHWindow(SHWindow::None, none);
    EXPECT_EQ(none.red, raw.red);

    // A constant sky has only band 0, which no window touches.
    SHCoeffs constant;
    constant.red[0] = 3.0f;
    constant.green[0] = 2.0f;
    SHCoeffs windowed = constant;
    applySHWindow(kDefaultSHWindow, windowed);
    EXPECT_EQ(windowed.red, constant.red);
    EXPECT_EQ(windowed.green, constant.green);
    EXPECT_EQ(shSeriesDip(constant), 0.0f);

    SHWindow parsed = SHWindow::None;
    EXPECT_TRUE(parseSHWindow("hann", parsed));
    EXPECT_EQ(parsed, SHWindow::Hann);
    EXPECT_FALSE(parseSHWindow("Lanczos", parsed));
}

// The built-in probes' skies are drawn from the windowed series: no texel of either sky is
// black, where the raw series of probe 1 dips far below 0 (to -26 % of its peak).
TEST(SHWindowTest, BuiltInSkiesDrawnWindowedHaveNoBlackRegion) {
    EXPECT_LT(shSeriesDip(lightProbes()[1]), -0.2f);
    for (int slot = 0; slot < kLightProbeCount; ++slot) {
        SCOPED_TRACE(slot);
        SHCoeffs drawn = lightProbes()[size_t(slot)];
        applySHWindow(kDefaultSHWindow, drawn);
        EXPECT_GE(shSeriesDip(drawn), -0.01f);
        Image cube;
        ASSERT_TRUE(makeSkyCube(drawn, kSkyCubeSize, cube));
        const auto* half = reinterpret_cast<const uint16_t*>(cube.data());
        size_t black = 0;
        for (size_t i = 0; i < cube.byteCount() / 2; i += 4)
            if (halfToFloat(half[i]) <= 0.0f && halfToFloat(half[i + 1]) <= 0.0f &&
                halfToFloat(half[i + 2]) <= 0.0f)
                ++black;
        EXPECT_EQ(black, 0u);
    }
}

} // namespace
} // namespace Vrenn
