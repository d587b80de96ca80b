#include "prt/PrtLighting.h"

#include "prt/LightProbes.h"
#include "prt/SHRotation.h"
#include "prt/SHSampler.h"
#include "prt/SampleDirections.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>
#include <string>

namespace Vrenn {
namespace {

constexpr float kHalfPi = 1.5707964f;

// The probe table as published for the scene, typed out independently of the source: slot 0
// red, green, blue, then slot 1 red, green, blue.
const float kExpectedProbes[2][3][25] = {
    {
        {3.78753f,  -2.88627f,  0.391142f,   1.03197f,   -0.616166f,  -0.0834651f, -0.933304f,
         0.583896f, 0.210015f,  -1.37186f,   -0.563244f, -0.0491417f, 0.114491f,   0.00553311f,
         0.781309f, 0.583967f,  -1.03612f,   -0.819263f, -0.157711f,  -0.563726f,  -0.215416f,
         -0.16436f, -0.225857f, 0.00151119f, -0.345071f},
        {4.27024f,   -3.58435f,   0.308782f,   1.02958f,   -0.548171f, 0.140957f, -1.25411f,
         0.515027f,  -0.0363258f, -1.45944f,   -0.539468f, 0.0617803f, 0.307979f, 0.0338831f,
         0.952611f,  0.729455f,   -1.14518f,   -0.904767f, -0.195423f, -0.74259f, -0.18553f,
         -0.180453f, -0.365794f,  -0.0985805f, -0.411306f},
        {4.51702f,  -4.14741f,  0.112665f, 0.882065f,  -0.390161f, 0.462276f, -1.52841f,
         0.376773f, -0.443857f, -1.35738f, -0.462607f, 0.200034f,  0.593284f, 0.0490005f,
         1.09584f,  0.825565f,  -1.15791f, -0.941666f, -0.198651f, -0.95405f, -0.144677f,
         -0.14669f, -0.498991f, -0.23297f, -0.45972f},
    },
    {
        {3.62868f,    -1.76088f,  -0.246393f, -0.348783f,  0.200855f,  0.469281f,  -0.900437f,
         -0.0451261f, -0.820726f, 0.366579f,  -0.0131909f, 0.332927f,  -0.624154f, 0.0867741f,
         1.33551f,    -0.17081f,  0.302925f,  -1.57367f,   0.0471945f, 0.633604f,  0.110878f,
         0.325716f,   -0.692823f, -0.410697f, 0.608466f},
        {2.62879f,    -1.4375f,    -0.100482f,  -0.224845f,   0.14573f,  0.254474f,  -0.7623f,
         -0.0339636f, -0.321973f,  -0.0542855f, -0.00180406f, 0.229405f, -0.710479f, 0.0257999f,
         1.03391f,    -0.0740879f, 0.159041f,   -1.2303f,     0.059874f, 0.675262f,  0.241348f,
         0.243738f,   -0.653443f,  -0.259206f,  0.423942f},
        {2.32989f,    -1.26045f,   -0.00974248f, -0.102494f, 0.0452627f, 0.117522f,  -0.740973f,
         0.00399698f, 0.0342302f,  -0.340743f,   -0.030469f, 0.204309f,  -0.815957f, -0.0562447f,
         0.920165f,   -0.0411797f, 0.0579006f,   -1.07613f,  0.108268f,  0.716686f,  0.34299f,
         0.159835f,   -0.691902f,  -0.203072f,   0.403179f},
    },
};

TEST(LightProbes, HoldTheTableValueForValue) {
    const auto& probes = lightProbes();
    ASSERT_EQ(probes.size(), 2u);
    for (int slot = 0; slot < 2; ++slot)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kSHCoeffCount; ++i)
                EXPECT_EQ(probes[size_t(slot)].channel(c)[size_t(i)], kExpectedProbes[slot][c][i])
                    << "slot " << slot << " channel " << c << " coefficient " << i;
}

TEST(PrtLighting, TheSkyTurnIsTheRightHandRotationAboutY) {
    const std::array<float, 9> identity = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(skyRotationRows(0.0f), identity);
    // A quarter turn: +x -> -z, +z -> +x, +y stays.
    const std::array<float, 9> r = skyRotationRows(kHalfPi);
    const float expected[9] = {0, 0, 1, 0, 1, 0, -1, 0, 0};
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(r[size_t(i)], expected[i], 1e-7f) << i;
}

TEST(PrtLighting, ZeroTurnKeepsTheProbesAndAnyTurnKeepsTheConstantTerms) {
    PrtLighting lighting;
    lighting.update(0.0f, 0.0f, {});
    for (int slot = 0; slot < 2; ++slot)
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < kSHCoeffCount; ++i)
                EXPECT_NEAR(lighting.turnedProbe(slot).channel(c)[size_t(i)],
                            kExpectedProbes[slot][c][i], 1e-6f)
                    << "slot " << slot << " channel " << c << " coefficient " << i;

    for (const float angle : {0.3f, kHalfPi, 2.5f, -1.0f, 7.0f}) {
        lighting.update(angle, 0.4f, {});
        bool moved = false;
        for (int slot = 0; slot < 2; ++slot) {
            for (int c = 0; c < 3; ++c) {
                const SHVector& turned = lighting.turnedProbe(slot).channel(c);
                EXPECT_EQ(turned[0], kExpectedProbes[slot][c][0]) << angle;
                for (int i = 1; i < kSHCoeffCount; ++i)
                    moved =
                        moved || std::abs(turned[size_t(i)] - kExpectedProbes[slot][c][i]) > 1e-3f;
            }
        }
        EXPECT_TRUE(moved) << "the turn by " << angle << " changed nothing";
    }
}

TEST(PrtLighting, BlendEndsGiveExactlyOneTurnedProbe) {
    PrtLighting lighting;
    for (const float angle : {0.0f, 0.7f, 3.0f}) {
        // Both probes are turned whatever the blend.
        lighting.update(angle, 0.0f, {});
        const SHCoeffs slot0 = lighting.turnedProbe(0);
        const SHCoeffs slot1 = lighting.turnedProbe(1);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(lighting.lighting().channel(c), slot0.channel(c)) << angle;

        lighting.update(angle, 1.0f, {});
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(lighting.turnedProbe(0).channel(c), slot0.channel(c));
            EXPECT_EQ(lighting.lighting().channel(c), slot1.channel(c)) << angle;
        }

        lighting.update(angle, 0.25f, {});
        for (int c = 0; c < 3; ++c)
            for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
                EXPECT_NEAR(lighting.lighting().channel(c)[i],
                            0.75f * slot0.channel(c)[i] + 0.25f * slot1.channel(c)[i], 1e-6f);
    }
}

template <size_t N>
const LightingParameter* findParameter(const std::array<LightingParameter, N>& list,
                                       const std::string& name) {
    for (const LightingParameter& p : list)
        if (p.name == name) return &p;
    return nullptr;
}

// The value under name, or NaNs when the list lacks it (then every comparison fails).
template <size_t N>
Vector4 valueOf(const std::array<LightingParameter, N>& list, const std::string& name) {
    const LightingParameter* p = findParameter(list, name);
    EXPECT_NE(p, nullptr) << "no parameter " << name;
    const float nan = std::nanf("");
    return p ? p->value : Vector4{nan, nan, nan, nan};
}

template <size_t N> bool namesAreUnique(const std::array<LightingParameter, N>& list) {
    std::set<std::string> names;
    for (const LightingParameter& p : list)
        names.insert(p.name);
    return names.size() == N;
}

Vector4 coefficients(const SHVector& v, int first) {
    return {v[size_t(first)], v[size_t(first + 1)], v[size_t(first + 2)], v[size_t(first + 3)]};
}

TEST(PrtLighting, PacksEachEffectsCoefficientRangesUnderItsNames) {
    PrtLighting lighting;
    const Vec3 camera(1.5f, -2.0f, 7.25f);
    lighting.update(0.9f, 0.3f, camera);
    const SHCoeffs& l = lighting.lighting();
    const Vector4 cameraValue{1.5f, -2.0f, 7.25f, 1.0f};
    const Vector4 constant{l.red[0], l.green[0], l.blue[0], 0.0f};

    const auto& onePass = lighting.onePassParameters();
    EXPECT_EQ(onePass.size(), 20u);
    EXPECT_TRUE(namesAreUnique(onePass));
    EXPECT_EQ(valueOf(onePass, "lightRGBCoeff0"), constant);
    EXPECT_EQ(valueOf(onePass, "lightRCoeff1"), coefficients(l.red, 1));
    EXPECT_EQ(valueOf(onePass, "lightRCoeff2"), coefficients(l.red, 5));
    EXPECT_EQ(valueOf(onePass, "lightGCoeff4"), coefficients(l.green, 13));
    EXPECT_EQ(valueOf(onePass, "lightBCoeff6"), coefficients(l.blue, 21));
    EXPECT_EQ(valueOf(onePass, "objSpaceCamera"), cameraValue);

    const auto& bands012 = lighting.bands012Parameters();
    EXPECT_EQ(bands012.size(), 8u);
    EXPECT_TRUE(namesAreUnique(bands012));
    EXPECT_EQ(valueOf(bands012, "lightRGBCoeff0"), constant);
    EXPECT_EQ(valueOf(bands012, "lightRCoeff1"), coefficients(l.red, 1));
    EXPECT_EQ(valueOf(bands012, "lightGCoeff2"), coefficients(l.green, 5));
    EXPECT_EQ(valueOf(bands012, "lightBCoeff1"), coefficients(l.blue, 1));
    EXPECT_EQ(valueOf(bands012, "objSpaceCamera"), cameraValue);

    const auto& bands34 = lighting.bands34Parameters();
    EXPECT_EQ(bands34.size(), 13u);
    EXPECT_TRUE(namesAreUnique(bands34));
    EXPECT_EQ(findParameter(bands34, "lightRGBCoeff0"), nullptr);
    EXPECT_EQ(valueOf(bands34, "lightRCoeff0"), coefficients(l.red, 9));
    EXPECT_EQ(valueOf(bands34, "lightRCoeff1"), coefficients(l.red, 13));
    EXPECT_EQ(valueOf(bands34, "lightGCoeff2"), coefficients(l.green, 17));
    EXPECT_EQ(valueOf(bands34, "lightBCoeff3"), coefficients(l.blue, 21));
    EXPECT_EQ(valueOf(bands34, "objSpaceCamera"), cameraValue);

    const auto& combine = lighting.combineParameters();
    ASSERT_EQ(combine.size(), 1u);
    EXPECT_EQ(combine[0].name, "objSpaceCamera");
    EXPECT_EQ(combine[0].value, cameraValue);

    // A later frame rewrites every value and keeps the names.
    lighting.update(2.0f, 0.8f, Vec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(valueOf(lighting.bands34Parameters(), "lightBCoeff3"),
              coefficients(lighting.lighting().blue, 21));
    EXPECT_EQ(valueOf(lighting.combineParameters(), "objSpaceCamera"), (Vector4{0, 1, 0, 1}));
    EXPECT_TRUE(namesAreUnique(lighting.onePassParameters()));
}

// Evaluates an SH function at a unit direction.
float evaluate(const SHVector& c, float x, float y, float z) {
    const float theta = std::acos(std::fmax(-1.0f, std::fmin(1.0f, z)));
    const float phi = std::atan2(y, x);
    float basis[kSHCoeffCount];
    shEvaluateAll(theta, phi, basis);
    float sum = 0.0f;
    for (int i = 0; i < kSHCoeffCount; ++i)
        sum += c[size_t(i)] * basis[i];
    return sum;
}

TEST(PrtLighting, LightFromPlusXArrivesFromTheTurnedDirection) {
    // A narrow lobe of light around +x, projected like the bake projects its functions.
    SampleDirections directions;
    LcgRandom random(0);
    ASSERT_TRUE(generateSampleDirections(4096, 1.0f, random, directions));
    SHSampler sampler(4096);
    std::vector<float> values(directions.size());
    for (size_t k = 0; k < directions.size(); ++k) {
        sampler.addSample(directions.theta[k], directions.phi[k]);
        values[k] = std::pow(std::fmax(0.0f, directions.unit[k][0]), 16.0f);
    }
    SHCoeffs lobe;
    sampler.project(values.data(), lobe.red.data());
    lobe.green = lobe.blue = lobe.red;
    const SHCoeffs dark{};

    // Where the turn takes +x: the first column of R(pi / 2), which must be -z.
    const std::array<float, 9> r = skyRotationRows(kHalfPi);
    const float target[3] = {r[0], r[3], r[6]};
    EXPECT_NEAR(target[0], 0.0f, 1e-6f);
    EXPECT_NEAR(target[1], 0.0f, 1e-6f);
    EXPECT_NEAR(target[2], -1.0f, 1e-6f);

    // Slot 1 is dark and fully blended in for the second case: it must not leak into slot 0's
    // turn, and slot 0 lit must follow the same turn when it sits in slot 1.
    for (const bool inSlot1 : {false, true}) {
        PrtLighting lighting(inSlot1 ? std::array<SHCoeffs, 2>{dark, lobe}
                                     : std::array<SHCoeffs, 2>{lobe, dark});
        lighting.update(kHalfPi, inSlot1 ? 1.0f : 0.0f, {});
        // The brightest of a dense spiral of directions lies next to the target ...
        const SHVector& lit = lighting.lighting().red;
        const int count = 4000;
        float best = -1e30f, bestDot = 0.0f;
        for (int k = 0; k < count; ++k) {
            const float z = 1.0f - (2.0f * float(k) + 1.0f) / float(count);
            const float radius = std::sqrt(1.0f - z * z);
            const float phi = 2.3999632f * float(k);
            const float x = radius * std::cos(phi), y = radius * std::sin(phi);
            const float value = evaluate(lit, x, y, z);
            if (value > best) {
                best = value;
                bestDot = x * target[0] + y * target[1] + z * target[2];
            }
        }
        EXPECT_GT(bestDot, std::cos(0.1f)) << (inSlot1 ? "slot 1" : "slot 0");
        // and the target itself is as bright as any of them.
        EXPECT_GE(evaluate(lit, target[0], target[1], target[2]), best * 0.999f);
    }
}

} // namespace
} // namespace Vrenn
