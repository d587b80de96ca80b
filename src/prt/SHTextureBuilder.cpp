#include "prt/SHTextureBuilder.h"

#include "fs/Image.h"
#include "prt/TransferTextures.h"

namespace Vrenn {

SHTextureBuilder::SHTextureBuilder(int rayCount, float rayLength, const PolyPack& pack)
    : AmbientTextureBuilder(rayCount, rayLength, pack), m_sampler(rayCount) {}

void SHTextureBuilder::addSample(uint32_t, float theta, float phi) {
    m_sampler.addSample(theta, phi);
}

bool SHTextureBuilder::acceptsImage() const {
    const auto& image = m_pack.bakeImage();
    return image && image->data() && image->format() == kTransferFormat &&
           image->depth() >= kTransferPlaneCount && m_sampler.size() == m_directions.size();
}

void SHTextureBuilder::preparePolygon(Worker& worker, const Vec3&, const TangentFrame& frame) {
    for (int k = 0; k < kTransferBasisCount; ++k)
        clampedCosine(frame.toWorld({kBasis[k][0], kBasis[k][1], kBasis[k][2]}),
                      worker.lobes[static_cast<size_t>(k)]);
}

void SHTextureBuilder::shadeTexel(Worker& worker, uint8_t* texel, size_t planeBytes) {
    const size_t samples = m_directions.size();
    float coefficients[kSHCoeffCount];
    for (int k : {1, 2, 0}) {
        const std::vector<float>& lobe = worker.lobes[static_cast<size_t>(k)];
        for (size_t s = 0; s < samples; ++s)
            worker.product[s] = worker.visibility[s] * lobe[s];
        m_sampler.project(worker.product.data(), coefficients);
        writeTransferCoefficients(texel, planeBytes, k, coefficients);
    }
}

} // namespace Vrenn
