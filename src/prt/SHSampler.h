#pragma once

#include "prt/SHBasis.h"

#include <cstddef>
#include <vector>

namespace Vrenn {

// Projects functions sampled along a fixed list of directions onto the 25 SH basis functions.
// Every sample stores its angles and the basis values at its direction already multiplied by
// the sample weight 4 pi / N, so a projection is a plain multiply-add per sample and
// coefficient, and the coefficients approximate the integrals of f * Y over the sphere.
//
// N is the sample count the sampler was made with. The bake makes it with the requested ray
// count, which may exceed the samples actually added (the jittered grid keeps the largest
// square); the projections then come out scaled by added / N.
class SHSampler {
public:
    explicit SHSampler(int sampleCount);

    int bandCount() const { return kSHBands; }
    int coeffCount() const { return kSHCoeffCount; }
    int sampleCount() const { return m_sampleCount; }
    float weight() const { return m_weight; }

    // Appends a sample at (theta, phi) with its weighted basis values.
    void addSample(float theta, float phi);

    size_t size() const { return m_theta.size(); }
    float theta(size_t k) const { return m_theta[k]; }
    float phi(size_t k) const { return m_phi[k]; }
    // The 25 weighted basis values of sample k.
    const float* basis(size_t k) const { return m_basis.data() + k * kSHCoeffCount; }

    // c_i = sum over samples k, in order, of values[k] * basis(k)[i]; values holds one value per
    // added sample. Samples whose value is exactly 0 are skipped, which leaves every sum
    // unchanged. coeffs receives 25 floats.
    void project(const float* values, float* coeffs) const;

private:
    int m_sampleCount;
    float m_weight;
    std::vector<float> m_theta;
    std::vector<float> m_phi;
    std::vector<float> m_basis;
};

} // namespace Vrenn
