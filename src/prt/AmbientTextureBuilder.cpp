#include "prt/AmbientTextureBuilder.h"

#include "core/Log.h"
#include "fs/Image.h"
#include "prt/SHBasis.h"

#include <algorithm>
#include <atomic>
#include <new>

namespace Vrenn {

namespace {

std::atomic<AmbientTextureBuilder*> g_currentBuilder{nullptr};

inline float dotUnit(const Vec3& n, const std::array<float, 3>& w) {
    return n.x * w[0] + n.y * w[1] + n.z * w[2];
}

} // namespace

AmbientTextureBuilder::AmbientTextureBuilder(int rayCount, float rayLength, const PolyPack& pack)
    : m_pack(pack), m_rayCount(rayCount), m_rayLength(rayLength), m_random(0) {
    g_currentBuilder.store(this);
}

AmbientTextureBuilder::~AmbientTextureBuilder() {
    AmbientTextureBuilder* self = this;
    g_currentBuilder.compare_exchange_strong(self, nullptr);
}

AmbientTextureBuilder* AmbientTextureBuilder::current() {
    return g_currentBuilder.load();
}

bool AmbientTextureBuilder::generateSamples() {
    if (!generateSampleDirections(m_rayCount, m_rayLength, m_random, m_directions)) return false;
    for (size_t k = 0; k < m_directions.size(); ++k)
        addSample(static_cast<uint32_t>(k), m_directions.theta[k], m_directions.phi[k]);
    return true;
}

void AmbientTextureBuilder::addSample(uint32_t, float, float) {}

bool AmbientTextureBuilder::acceptsImage() const {
    const auto& image = m_pack.bakeImage();
    return image && image->data() && bytesPerPixel(image->format()) >= 1;
}

bool AmbientTextureBuilder::beginWalk(unsigned workers) {
    auto refuse = [](const std::string& why) {
        logMessage("AmbientTextureBuilder::beginWalk: " + why + "\n");
        return false;
    };
    if (m_directions.size() == 0) return refuse("there are no samples (generateSamples first)");
    if (workers == 0) return refuse("a walk needs at least one worker");
    if (!acceptsImage()) return refuse("the bake image is not one this builder fills");
    const size_t samples = m_directions.size();
    m_workers.clear();
    try {
        // One copy of the tree for all workers' casters.
        const auto tree = std::make_shared<const CasterTree>(m_pack);
        for (unsigned w = 0; w < workers; ++w) {
            auto worker = std::make_unique<Worker>();
            worker->visibility.assign(samples, 0.0f);
            for (auto& lobe : worker->lobes)
                lobe.assign(samples, 0.0f);
            worker->product.assign(samples, 0.0f);
            worker->caster = std::make_unique<OcclusionCaster>(tree);
            worker->castSamples.reserve(samples);
            worker->castOffsets.reserve(samples);
            m_workers.push_back(std::move(worker));
        }
    } catch (const std::bad_alloc&) {
        m_workers.clear();
        return refuse("no memory for the scratch of " + std::to_string(workers) + " workers");
    }
    return true;
}

uint64_t AmbientTextureBuilder::raysTraced() const {
    uint64_t rays = 0;
    for (const auto& worker : m_workers)
        rays += worker->rays;
    return rays;
}

void AmbientTextureBuilder::clampedCosine(const Vec3& d, std::vector<float>& out) const {
    for (size_t s = 0; s < m_directions.size(); ++s) {
        const float c = dotUnit(d, m_directions.unit[s]);
        out[s] = c > 0.0f ? c : 0.0f;
    }
}

namespace {

// The samples a texel of a polygon with normal n casts: those with n.w > 0, in octant order
// (octants wholly behind n skipped, those wholly in front taken without a test).
void listCastSamples(const SampleDirections& directions, const Vec3& n,
                     std::vector<uint32_t>& samples, std::vector<std::array<float, 3>>& offsets) {
    const std::array<OctantSide, 8> sides = classifyOctants(n.x, n.y, n.z);
    samples.clear();
    offsets.clear();
    for (size_t o = 0; o < 8; ++o) {
        const OctantSide side = sides[o];
        for (uint32_t s : directions.octants[o]) {
            if (side == OctantSide::Back ||
                (side == OctantSide::Mixed && !(dotUnit(n, directions.unit[s]) > 0.0f)))
                continue;
            samples.push_back(s);
            offsets.push_back(directions.scaled[s]);
        }
    }
}

} // namespace

size_t AmbientTextureBuilder::prepareCast(Worker& worker, const Vec3* positions, size_t count,
                                          const Vec3& n) const {
    listCastSamples(m_directions, n, worker.castSamples, worker.castOffsets);
    worker.starts.resize(count);
    for (size_t t = 0; t < count; ++t)
        worker.starts[t] = positions[t] + n * kOriginOffset;
    const size_t rays = worker.castSamples.size();
    worker.rays += count * rays;
    return rays;
}

void AmbientTextureBuilder::castRays(Worker& worker, const Vec3* positions, size_t count,
                                     const Vec3& n) const {
    const size_t rays = prepareCast(worker, positions, count, n);
    worker.blocked.resize(count * rays);
    worker.caster->cast(worker.starts.data(), count, worker.castOffsets.data(), rays,
                        worker.blocked.data());
}

void AmbientTextureBuilder::castHits(Worker& worker, const Vec3* positions, size_t count,
                                     const Vec3& n) const {
    const size_t rays = prepareCast(worker, positions, count, n);
    worker.hits.resize(count * rays);
    worker.caster->castHits(worker.starts.data(), count, worker.castOffsets.data(), rays,
                            worker.hits.data());
}

void AmbientTextureBuilder::processTexel(const Vec3& position, const TangentFrame& frame,
                                         uint32_t polygon, uint8_t* texel, size_t planeBytes,
                                         unsigned worker) {
    processTexels(&position, &texel, 1, frame, polygon, planeBytes, worker);
}

void AmbientTextureBuilder::processTexels(const Vec3* positions, uint8_t* const* texels,
                                          size_t count, const TangentFrame& frame, uint32_t polygon,
                                          size_t planeBytes, unsigned workerIndex) {
    Worker& worker = workerState(workerIndex);
    const Vec3 n = m_pack.polygons()[polygon].normal;
    if (worker.polygon != static_cast<int64_t>(polygon)) {
        preparePolygon(worker, n, frame);
        worker.polygon = polygon;
    }
    castRays(worker, positions, count, n);
    const size_t rays = worker.castSamples.size();
    std::fill(worker.visibility.begin(), worker.visibility.end(), 0.0f);
    for (size_t t = 0; t < count; ++t) {
        const uint8_t* blocked = worker.blocked.data() + t * rays;
        for (size_t i = 0; i < rays; ++i)
            worker.visibility[worker.castSamples[i]] = blocked[i] ? 0.0f : 1.0f;
        shadeTexel(worker, texels[t], planeBytes);
    }
}

void AmbientTextureBuilder::preparePolygon(Worker& worker, const Vec3& normal,
                                           const TangentFrame&) {
    clampedCosine(normal, worker.lobes[0]);
}

void AmbientTextureBuilder::shadeTexel(Worker& worker, uint8_t* texel, size_t) {
    const std::vector<float>& cosine = worker.lobes[0];
    float sum = 0.0f;
    for (size_t s = 0; s < m_directions.size(); ++s)
        sum += worker.visibility[s] * cosine[s];
    float value = sum * kSHFourPi / static_cast<float>(m_rayCount) * 0.25f;
    value = value > 0.0f ? std::min(value, 1.0f) : 0.0f;
    *texel = static_cast<uint8_t>(1 + static_cast<int>(252.0f * value));
}

} // namespace Vrenn
