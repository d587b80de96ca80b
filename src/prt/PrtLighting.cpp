#include "prt/PrtLighting.h"

#include "prt/SHRotation.h"

#include <cmath>

namespace Vrenn {

namespace {

constexpr char kChannelLetters[3] = {'R', 'G', 'B'};

// "light" + R, G or B + "Coeff" + n.
std::string coefficientName(int channel, int n) {
    return std::string("light") + kChannelLetters[channel] + "Coeff" + std::to_string(n);
}

// Coefficients first ... first + 3 of one channel.
Vector4 fourCoefficients(const SHVector& v, int first) {
    return {v[size_t(first)], v[size_t(first + 1)], v[size_t(first + 2)], v[size_t(first + 3)]};
}

Vector4 constantTerms(const SHCoeffs& lighting) {
    return {lighting.red[0], lighting.green[0], lighting.blue[0], 0.0f};
}

Vector4 cameraValue(const Vec3& camera) {
    return {camera.x, camera.y, camera.z, 1.0f};
}

} // namespace

std::array<float, 9> skyRotationRows(float angle) {
    // The rotation by angle about the unit axis (0, 1, 0). The trigonometry runs in double
    // precision and is rounded, so the matrix does not depend on the platform's float maths.
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    return {c, 0.0f, s, 0.0f, 1.0f, 0.0f, -s, 0.0f, c};
}

PrtLighting::PrtLighting() : PrtLighting(lightProbes()) {}

PrtLighting::PrtLighting(const std::array<SHCoeffs, kLightProbeCount>& probes) : m_probes(probes) {
    size_t k = 0;
    m_onePass[k++].name = "lightRGBCoeff0";
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 1; n <= 6; ++n)
            m_onePass[k++].name = coefficientName(channel, n);
    m_onePass[k++].name = "objSpaceCamera";

    k = 0;
    m_bands012[k++].name = "lightRGBCoeff0";
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 1; n <= 2; ++n)
            m_bands012[k++].name = coefficientName(channel, n);
    m_bands012[k++].name = "objSpaceCamera";

    k = 0;
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 0; n <= 3; ++n)
            m_bands34[k++].name = coefficientName(channel, n);
    m_bands34[k++].name = "objSpaceCamera";

    m_combine[0].name = "objSpaceCamera";
}

void PrtLighting::update(float angle, float blend, const Vec3& objectSpaceCamera) {
    const std::array<float, 9> rows = skyRotationRows(angle);
    const SHRotation rotation(rows.data());
    for (int slot = 0; slot < kLightProbeCount; ++slot)
        rotation.apply(m_probes[size_t(slot)], m_turned[size_t(slot)]);

    const float keep = 1.0f - blend;
    for (int channel = 0; channel < 3; ++channel) {
        const SHVector& a = m_turned[0].channel(channel);
        const SHVector& b = m_turned[1].channel(channel);
        SHVector& out = m_lighting.channel(channel);
        for (size_t i = 0; i < size_t(kSHCoeffCount); ++i)
            out[i] = keep * a[i] + blend * b[i];
    }
    pack(objectSpaceCamera);
}

void PrtLighting::pack(const Vec3& camera) {
    const Vector4 constant = constantTerms(m_lighting);
    const Vector4 cameraVector = cameraValue(camera);

    size_t k = 0;
    m_onePass[k++].value = constant;
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 1; n <= 6; ++n)
            m_onePass[k++].value = fourCoefficients(m_lighting.channel(channel), 4 * n - 3);
    m_onePass[k++].value = cameraVector;

    k = 0;
    m_bands012[k++].value = constant;
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 1; n <= 2; ++n)
            m_bands012[k++].value = fourCoefficients(m_lighting.channel(channel), 4 * n - 3);
    m_bands012[k++].value = cameraVector;

    k = 0;
    for (int channel = 0; channel < 3; ++channel)
        for (int n = 0; n <= 3; ++n)
            m_bands34[k++].value = fourCoefficients(m_lighting.channel(channel), 9 + 4 * n);
    m_bands34[k++].value = cameraVector;

    m_combine[0].value = cameraVector;
}

} // namespace Vrenn
