#include "prt/PrtLighting.h"

#include "ReferenceSH.h"
#include "prt/LightProbes.h"
#include "support/TestData.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace Vrenn {
namespace {

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

SHVector spike(const std::array<double, 3>& d) {
    const auto y = testing::referenceSH(d[0], d[1], d[2]);
    SHVector v;
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = float(y[i]);
    return v;
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
    fromX.red = fromX.green = fromX.blue = spike({1, 0, 0});
    PrtLighting turned({SHCoeffs{}, fromX});
    turned.update(kHalfPi, 1.0f, {});
    const SHVector atMinusZ = spike({0, 0, -1});
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            EXPECT_NEAR(turned.lighting().channel(c)[i], atMinusZ[i], 1e-5f) << c << " " << i;

    // Any turn keeps the constant terms.
    lighting.update(2.5f, 0.0f, {});
    EXPECT_EQ(lighting.turnedProbe(1).green[0], expected[1].green[0]);
}

TEST(PrtLighting, BlendMixesTheTwoTurnedProbes) {
    PrtLighting lighting;
    lighting.update(0.7f, 0.25f, {});
    const SHCoeffs slot0 = lighting.turnedProbe(0), slot1 = lighting.turnedProbe(1);
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            EXPECT_NEAR(lighting.lighting().channel(c)[i],
                        0.75f * slot0.channel(c)[i] + 0.25f * slot1.channel(c)[i], 1e-6f);
}

// The parameters as a map from name to value; a name given twice fails.
template <size_t N>
std::map<std::string, Vector4> byName(const std::array<LightingParameter, N>& list) {
    std::map<std::string, Vector4> out;
    for (const LightingParameter& p : list)
        EXPECT_TRUE(out.emplace(p.name, p.value).second) << p.name << " twice";
    return out;
}

TEST(PrtLighting, PacksEachEffectsCoefficientRangesUnderItsNames) {
    PrtLighting lighting;
    for (const Vec3& camera : {Vec3{1.5f, -2.0f, 7.25f}, Vec3{0, 1, 0}}) {
        lighting.update(camera.x + 0.9f, 0.3f, camera);
        const SHCoeffs& l = lighting.lighting();
        const Vector4 cameraValue{camera.x, camera.y, camera.z, 1.0f};
        // lightXCoeffN holds four coefficients of channel X from first + 4 (N - firstN) on.
        auto expected = [&](bool constant, int firstN, int lastN, int first) {
            std::map<std::string, Vector4> want{{"objSpaceCamera", cameraValue}};
            if (constant) want["lightRGBCoeff0"] = {l.red[0], l.green[0], l.blue[0], 0.0f};
            for (int c = 0; c < 3; ++c)
                for (int n = firstN; n <= lastN; ++n) {
                    const size_t i = size_t(first + 4 * (n - firstN));
                    const SHVector& v = l.channel(c);
                    want[std::string("light") + "RGB"[c] + "Coeff" + std::to_string(n)] = {
                        v[i], v[i + 1], v[i + 2], v[i + 3]};
                }
            return want;
        };
        EXPECT_EQ(byName(lighting.onePassParameters()), expected(true, 1, 6, 1));
        EXPECT_EQ(byName(lighting.bands012Parameters()), expected(true, 1, 2, 1));
        EXPECT_EQ(byName(lighting.bands34Parameters()), expected(false, 0, 3, 9));
        EXPECT_EQ(byName(lighting.combineParameters()),
                  (std::map<std::string, Vector4>{{"objSpaceCamera", cameraValue}}));
    }
}

} // namespace
} // namespace Vrenn
