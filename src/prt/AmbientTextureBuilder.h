#pragma once

#include "geometry/OcclusionCaster.h"
#include "geometry/PolyPack.h"
#include "prt/LcgRandom.h"
#include "prt/SampleDirections.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace Vrenn {

// Bakes ambient occlusion into the texels of a pack's atlas, and is the base of the SH
// transfer bake: it owns the sample directions, casts the visibility rays through the pack and
// keeps the per-thread scratch buffers.
//
// Per texel, from the point 0.1 above the polygon along its normal n, each sample direction w
// with n.w > 0 is traced to the ray length; the texel receives, as one byte,
// 1 + int(252 * clamp(sum of max(0, n.w) over unblocked samples * 4 pi / R * 0.25, 0, 1)),
// R the requested ray count. So an open texel gets about 198 and a fully enclosed one 1.
//
// Constructing a builder makes it the process-wide builder (current()) until it is destroyed
// or another is constructed. generateSamples must run before the walk.
class AmbientTextureBuilder : public TexelBaker {
public:
    AmbientTextureBuilder(int rayCount, float rayLength, const PolyPack& pack);
    ~AmbientTextureBuilder() override;
    AmbientTextureBuilder(const AmbientTextureBuilder&) = delete;
    AmbientTextureBuilder& operator=(const AmbientTextureBuilder&) = delete;

    // The builder that texel callbacks reach, or null.
    static AmbientTextureBuilder* current();

    // Draws the jittered sample set for the requested ray count from the builder's own
    // generator (seeded with 0 when the builder is made) and hands every sample to addSample.
    // False, with no samples, for a ray count below 1 or above kMaxSampleRays.
    virtual bool generateSamples();
    // Called for every generated sample, in order.
    virtual void addSample(uint32_t sample, float theta, float phi);

    // Sets up one scratch set per worker. False when there are no samples yet, when the
    // pack's bake image cannot take what processTexel writes, or when memory runs out.
    bool beginWalk(unsigned workers) override;
    void processTexel(const Vec3& position, const TangentFrame& frame, uint32_t polygon,
                      uint8_t* texel, size_t planeBytes, unsigned worker) final;
    // Casts the rays of all the texels together, then fills each texel.
    void processTexels(const Vec3* positions, uint8_t* const* texels, size_t count,
                       const TangentFrame& frame, uint32_t polygon, size_t planeBytes,
                       unsigned worker) override;

    int rayCount() const { return m_rayCount; }
    float rayLength() const { return m_rayLength; }
    const SampleDirections& directions() const { return m_directions; }
    size_t sampleCount() const { return m_directions.size(); }
    const PolyPack& pack() const { return m_pack; }
    // Rays cast through the pack since the last beginWalk, over all workers.
    uint64_t raysTraced() const;

    // Distance along the polygon normal from the texel to the rays' start.
    static constexpr float kOriginOffset = 0.1f;

protected:
    // Scratch of one worker thread, one value per sample in each buffer. The lobe buffers
    // belong to the polygon last seen by this worker.
    struct Worker {
        std::vector<float> visibility;
        std::array<std::vector<float>, 3> lobes;
        std::vector<float> product;
        int64_t polygon = -1;
        uint64_t rays = 0;
        // The rays of a run of texels, cast together: the samples cast (those above the
        // polygon), their offsets, the texels' starts and the answers, texel by texel.
        std::unique_ptr<OcclusionCaster> caster;
        std::vector<uint32_t> castSamples;
        std::vector<std::array<float, 3>> castOffsets;
        std::vector<Vec3> starts;
        std::vector<uint8_t> blocked;
        // Where the rays hit (castHits), texel by texel as blocked.
        std::vector<OcclusionCaster::Hit> hits;
        // max(0, n.w) about the polygon's geometric normal, for the interreflection.
        std::vector<float> normalLobe;
        // The hits a texel gathers from: where each reads its light, its weight and sample.
        std::vector<uint32_t> gatherFrom;
        std::vector<float> gatherWeight;
        std::vector<uint32_t> gatherSample;
    };

    // Whether the pack's image suits processTexel.
    virtual bool acceptsImage() const;

    // Fills the worker's lobe buffers for a polygon (called when its first texel comes).
    virtual void preparePolygon(Worker& worker, const Vec3& normal, const TangentFrame& frame);
    // Writes one texel from worker.visibility (visibility[s] = 1 when the ray along sample s
    // reaches its end unblocked, 0 when it is blocked or below the polygon).
    virtual void shadeTexel(Worker& worker, uint8_t* texel, size_t planeBytes);

    // Casts the rays of count texels of a polygon with normal n: from each position lifted by
    // kOriginOffset along n, every sample w with n.w > 0 (octants wholly behind n skipped,
    // octants wholly in front cast without a test); worker.blocked then holds, texel by
    // texel, one answer per sample in worker.castSamples.
    void castRays(Worker& worker, const Vec3* positions, size_t count, const Vec3& n) const;
    // The same rays, with where each hits: worker.hits in place of worker.blocked.
    void castHits(Worker& worker, const Vec3* positions, size_t count, const Vec3& n) const;
    // Lists the samples and starts both take; returns the rays per texel.
    size_t prepareCast(Worker& worker, const Vec3* positions, size_t count, const Vec3& n) const;
    // out[s] = max(0, d.w) for every sample.
    void clampedCosine(const Vec3& d, std::vector<float>& out) const;

    Worker& workerState(unsigned worker) { return *m_workers[worker]; }

    const PolyPack& m_pack;
    int m_rayCount;
    float m_rayLength;
    LcgRandom m_random;
    SampleDirections m_directions;

private:
    std::vector<std::unique_ptr<Worker>> m_workers;
};

} // namespace Vrenn
