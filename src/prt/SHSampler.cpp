#include "prt/SHSampler.h"

namespace Vrenn {

SHSampler::SHSampler(int sampleCount)
    : m_sampleCount(sampleCount),
      m_weight(sampleCount > 0 ? kSHFourPi / static_cast<float>(sampleCount) : 0.0f) {}

void SHSampler::addSample(float theta, float phi) {
    m_theta.push_back(theta);
    m_phi.push_back(phi);
    const size_t start = m_basis.size();
    m_basis.resize(start + kSHCoeffCount);
    float* values = m_basis.data() + start;
    shEvaluateAll(theta, phi, values);
    for (int i = 0; i < kSHCoeffCount; ++i)
        values[i] *= m_weight;
}

void SHSampler::project(const float* values, float* coeffs) const {
    // Accumulating per sample keeps every coefficient's sum in sample order, so the result
    // does not depend on how the compiler vectorises the inner loop.
    float sum[kSHCoeffCount] = {};
    const size_t count = size();
    for (size_t k = 0; k < count; ++k) {
        const float f = values[k];
        if (f == 0.0f) continue;
        const float* b = basis(k);
        for (int i = 0; i < kSHCoeffCount; ++i)
            sum[i] += f * b[i];
    }
    for (int i = 0; i < kSHCoeffCount; ++i)
        coeffs[i] = sum[i];
}

} // namespace Vrenn
