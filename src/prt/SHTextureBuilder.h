#pragma once

#include "prt/AmbientTextureBuilder.h"
#include "prt/SHSampler.h"

namespace Vrenn {

// Bakes SH transfer: per texel and per tangent-space basis direction b_k, the projection onto
// the 25 SH functions of visibility(w) * max(0, d_k . w), d_k = b_k in the polygon's tangent
// frame, written as half floats in the 19-plane layout of TransferTextures.h. The three lobes
// are computed once per polygon per worker; visibility is traced as in the ambient bake.
//
// The projection weight is 4 pi / R for R requested rays, so with g * g samples the results
// scale by g * g / R (R = 1000: 961 samples, factor 0.961), as the run-time lighting expects.
class SHTextureBuilder : public AmbientTextureBuilder {
public:
    // The basis directions in tangent space: tilted 54.7 degrees off the normal, 120 degrees
    // apart around it, so that the three together cover the hemisphere evenly.
    static constexpr float kBasis[3][3] = {{0.8164966f, 0.0f, 0.5773503f},
                                           {-0.4082483f, 0.707107f, 0.5773503f},
                                           {-0.4082483f, -0.707107f, 0.5773503f}};

    SHTextureBuilder(int rayCount, float rayLength, const PolyPack& pack);

    void addSample(uint32_t sample, float theta, float phi) override;

    const SHSampler& sampler() const { return m_sampler; }

protected:
    bool acceptsImage() const override;
    void preparePolygon(Worker& worker, const Vec3& normal, const TangentFrame& frame) override;
    void shadeTexel(Worker& worker, uint8_t* texel, size_t planeBytes) override;

private:
    SHSampler m_sampler;
};

} // namespace Vrenn
