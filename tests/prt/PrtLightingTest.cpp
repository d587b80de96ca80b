#include "prt/PrtLighting.h"

#include "ReferenceSH.h"
#include "prt/LightProbes.h"
#include "support/TestData.h"

#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
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

} // namespace
} // namespace Vrenn
