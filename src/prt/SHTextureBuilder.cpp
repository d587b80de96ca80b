#include "prt/SHTextureBuilder.h"

#include "fs/Image.h"
#include "prt/TransferTextures.h"

#include <algorithm>
#include <cstring>
#include <new>

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

void SHTextureBuilder::preparePolygon(Worker& worker, const Vec3& normal,
                                      const TangentFrame& frame) {
    for (int k = 0; k < kTransferBasisCount; ++k)
        clampedCosine(frame.toWorld({kBasis[k][0], kBasis[k][1], kBasis[k][2]}),
                      worker.lobes[static_cast<size_t>(k)]);
    if (m_bounce) {
        worker.normalLobe.resize(m_directions.size());
        clampedCosine(normal, worker.normalLobe);
    }
}

size_t SHTextureBuilder::texelIndex(const uint8_t* texel) const {
    const Image& image = *m_pack.bakeImage();
    return static_cast<size_t>(texel - image.data()) /
           static_cast<size_t>(bytesPerPixel(image.format()));
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
    if (m_bounce && m_bounce->normalTransfer) {
        for (size_t s = 0; s < samples; ++s)
            worker.product[s] = worker.visibility[s] * worker.normalLobe[s];
        m_sampler.project(worker.product.data(),
                          m_bounce->normalTransfer + texelIndex(texel) * kSHCoeffCount);
    }
}

SHTextureBuilder::KeptHits::KeptHits(size_t texels, uint64_t budget)
    : offset(texels, 0), count(texels, 0), worker(texels, 0), budgetBytes(budget) {}

bool SHTextureBuilder::beginWalk(unsigned workers) {
    if (!AmbientTextureBuilder::beginWalk(workers)) return false;
    if (m_bounce && m_bounce->kept && !m_bounce->lit) {
        KeptHits& kept = *m_bounce->kept;
        try {
            if (workers > UINT16_MAX) throw std::bad_alloc();
            kept.lists.assign(workers, {});
        } catch (const std::bad_alloc&) {
            kept.full = true;
        }
    }
    return true;
}

void SHTextureBuilder::processTexels(const Vec3* positions, uint8_t* const* texels, size_t count,
                                     const TangentFrame& frame, uint32_t polygon, size_t planeBytes,
                                     unsigned workerIndex) {
    const bool keeping = m_bounce && !m_bounce->lit && m_bounce->kept && m_bounce->kept->usable();
    if (!m_bounce || (!m_bounce->lit && !keeping)) {
        AmbientTextureBuilder::processTexels(positions, texels, count, frame, polygon, planeBytes,
                                             workerIndex);
        return;
    }
    Worker& worker = workerState(workerIndex);
    const Vec3 n = m_pack.polygons()[polygon].normal;
    if (worker.polygon != static_cast<int64_t>(polygon)) {
        preparePolygon(worker, n, frame);
        worker.polygon = polygon;
    }
    if (keeping) {
        shadeKeepingHits(worker, positions, texels, count, n, planeBytes, workerIndex);
        return;
    }
    const KeptHits* kept = m_bounce->kept;
    if (kept && kept->usable()) {
        for (size_t t = 0; t < count; ++t) {
            const size_t index = texelIndex(texels[t]);
            const KeptHits::Lists& lists = kept->lists[kept->worker[index]];
            const size_t at = kept->offset[index];
            gatherTexel(worker,
                        {lists.from.data() + at, lists.weight.data() + at, lists.sample.data() + at,
                         kept->count[index]},
                        texels[t], planeBytes);
        }
        return;
    }
    castHits(worker, positions, count, n);
    for (size_t t = 0; t < count; ++t) {
        listGather(worker, t);
        gatherTexel(worker,
                    {worker.gatherFrom.data(), worker.gatherWeight.data(),
                     worker.gatherSample.data(), worker.gatherFrom.size()},
                    texels[t], planeBytes);
    }
}

void SHTextureBuilder::shadeKeepingHits(Worker& worker, const Vec3* positions,
                                        uint8_t* const* texels, size_t count, const Vec3& n,
                                        size_t planeBytes, unsigned workerIndex) {
    // A ray has a hit exactly where the occlusion walk finds it blocked, so the visibility,
    // and with it the shadowed transfer, is that of the plain walk.
    castHits(worker, positions, count, n);
    const size_t rays = worker.castSamples.size();
    std::fill(worker.visibility.begin(), worker.visibility.end(), 0.0f);
    for (size_t t = 0; t < count; ++t) {
        const OcclusionCaster::Hit* hits = worker.hits.data() + t * rays;
        for (size_t i = 0; i < rays; ++i)
            worker.visibility[worker.castSamples[i]] = hits[i].polygon >= 0 ? 0.0f : 1.0f;
        shadeTexel(worker, texels[t], planeBytes);
        if (m_bounce->kept->usable()) {
            listGather(worker, t);
            keepGather(worker, workerIndex, texelIndex(texels[t]));
        }
    }
}

void SHTextureBuilder::listGather(Worker& worker, size_t t) const {
    const size_t rays = worker.castSamples.size();
    const OcclusionCaster::Hit* hits = worker.hits.data() + t * rays;
    // (albedo / pi) * (4 pi / R): the radiance a unit of irradiance leaves, times the solid
    // angle of one sample.
    const float perAlbedo = 4.0f / static_cast<float>(m_rayCount);
    worker.gatherFrom.clear();
    worker.gatherWeight.clear();
    worker.gatherSample.clear();
    for (size_t i = 0; i < rays; ++i) {
        const OcclusionCaster::Hit& hit = hits[i];
        if (hit.polygon < 0) continue;
        const float albedo = m_bounce->polygonAlbedo[hit.polygon];
        if (!(albedo > 0.0f)) continue;
        worker.gatherFrom.push_back(static_cast<uint32_t>(hit.texel));
        worker.gatherWeight.push_back(albedo * perAlbedo);
        worker.gatherSample.push_back(worker.castSamples[i]);
    }
}

void SHTextureBuilder::keepGather(Worker& worker, unsigned workerIndex, size_t index) const {
    KeptHits& kept = *m_bounce->kept;
    const size_t count = worker.gatherFrom.size();
    const uint64_t bytes = count * KeptHits::kBytesPerHit;
    if (kept.bytes.fetch_add(bytes, std::memory_order_relaxed) + bytes > kept.budgetBytes) {
        kept.full = true;
        return;
    }
    KeptHits::Lists& lists = kept.lists[workerIndex];
    try {
        const size_t at = lists.from.size();
        lists.from.insert(lists.from.end(), worker.gatherFrom.begin(), worker.gatherFrom.end());
        lists.weight.insert(lists.weight.end(), worker.gatherWeight.begin(),
                            worker.gatherWeight.end());
        lists.sample.insert(lists.sample.end(), worker.gatherSample.begin(),
                            worker.gatherSample.end());
        kept.offset[index] = at;
        kept.count[index] = static_cast<uint32_t>(count);
        kept.worker[index] = static_cast<uint16_t>(workerIndex);
    } catch (const std::bad_alloc&) {
        kept.full = true;
    }
}

namespace {

// Four coefficients at a time: 25 = 6 * 4 + 1.
typedef float V4 __attribute__((vector_size(16)));
constexpr int kVectors = kSHCoeffCount / 4;

inline V4 load4(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// sum += weight * coefficients, for one lobe's 25 sums.
struct LobeSum {
    V4 v[kVectors] = {};
    float last = 0.0f;
    void add(float weight, const float* coefficients) {
        for (int j = 0; j < kVectors; ++j)
            v[j] += weight * load4(coefficients + 4 * j);
        last += weight * coefficients[kSHCoeffCount - 1];
    }
    float operator[](int i) const { return i < 4 * kVectors ? v[i / 4][i % 4] : last; }
};

} // namespace

void SHTextureBuilder::gatherTexel(const Worker& worker, const GatherList& list, uint8_t* texel,
                                   size_t planeBytes) const {
    const BounceWalk& walk = *m_bounce;
    // The hits' light fetched ahead: the hits' texels lie all over the atlas, and waiting for
    // each in turn would take most of the walk's time.
    for (size_t h = 0; h < list.count; ++h) {
        const float* lit = walk.lit + static_cast<size_t>(list.from[h]) * kSHCoeffCount;
        __builtin_prefetch(lit);
        __builtin_prefetch(lit + 16);
        __builtin_prefetch(lit + kSHCoeffCount - 1);
    }
    const size_t count = list.count;
    const size_t index = texelIndex(texel);
    if (!walk.last) {
        LobeSum sum;
        for (size_t h = 0; h < count; ++h) {
            const float c = list.weight[h] * worker.normalLobe[list.sample[h]];
            if (c != 0.0f) sum.add(c, walk.lit + static_cast<size_t>(list.from[h]) * kSHCoeffCount);
        }
        float* out = walk.normalTransfer + index * kSHCoeffCount;
        const float* shadowed = walk.shadowedNormal + index * kSHCoeffCount;
        for (int i = 0; i < kSHCoeffCount; ++i)
            out[i] = shadowed[i] + sum[i];
        return;
    }
    LobeSum sums[kTransferBasisCount];
    bool any = false;
    for (size_t h = 0; h < count; ++h) {
        const float* lit = walk.lit + static_cast<size_t>(list.from[h]) * kSHCoeffCount;
        for (int k = 0; k < kTransferBasisCount; ++k) {
            const float c = list.weight[h] * worker.lobes[static_cast<size_t>(k)][list.sample[h]];
            if (c == 0.0f) continue;
            any = true;
            sums[k].add(c, lit);
        }
    }
    // Texels that gather nothing keep the shadowed transfer's bytes.
    if (!any) return;
    for (int k = 0; k < kTransferBasisCount; ++k) {
        float coefficients[kSHCoeffCount];
        readTransferCoefficients(texel, planeBytes, k, coefficients);
        for (int i = 0; i < kSHCoeffCount; ++i)
            coefficients[i] += sums[k][i];
        writeTransferCoefficients(texel, planeBytes, k, coefficients);
    }
}

} // namespace Vrenn
