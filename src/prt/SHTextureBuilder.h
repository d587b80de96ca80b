#pragma once

#include "prt/AmbientTextureBuilder.h"
#include "prt/SHSampler.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace Vrenn {

// Bakes SH transfer: per texel and per tangent-space basis direction b_k, the projection onto
// the 25 SH functions of visibility(w) * max(0, d_k . w), d_k = b_k in the polygon's tangent
// frame, written as half floats in the 19-plane layout of TransferTextures.h. The three lobes
// are computed once per polygon per worker; visibility is traced as in the ambient bake.
//
// The projection weight is 4 pi / R for R requested rays, so with g * g samples the results
// scale by g * g / R (R = 1000: 961 samples, factor 0.961), as the run-time lighting expects.
//
// Interreflected transfer takes further walks over the same texels (see BounceWalk): the
// diffuse light that surfaces pass on, bounce by bounce, is added to the shadowed transfer.
class SHTextureBuilder : public AmbientTextureBuilder {
public:
    // The basis directions in tangent space: tilted 54.7 degrees off the normal, 120 degrees
    // apart around it, so that the three together cover the hemisphere evenly.
    static constexpr float kBasis[3][3] = {{0.8164966f, 0.0f, 0.5773503f},
                                           {-0.4082483f, 0.707107f, 0.5773503f},
                                           {-0.4082483f, -0.707107f, 0.5773503f}};

    // What one walk of an interreflected bake reads and writes. Texel arrays hold 25 SH
    // coefficients per atlas texel (row * atlas width + column), covered texels only.
    //
    // D is the transfer of a texel's own geometric-normal lobe, max(0, n.w), as T (the stored
    // transfer) is that of the tilted lobes. The first walk bakes T_0 as ever and writes D_0
    // (lit null). Each later walk b gathers, from every ray of texel p that hits a surface at
    // texel q, (albedo(q) / pi) * D_b(q) * lobe(w) * 4 pi / R: the light q passes on towards p
    // per unit of the light that reaches q. A middle walk writes D_{b+1} = D_0 + that gathered
    // with the normal lobe; the last adds what it gathers with the basis lobes to the texel's
    // stored transfer (T_N = T_0 + it) and writes no D. (The caller may replace D at texels
    // whose own value does not stand for their surface between walks.)
    //
    // The hits a texel gathers from are the same in every walk, so the first walk may keep
    // them (KeptHits) and the later walks read them instead of casting the rays again.
    struct KeptHits;
    struct BounceWalk {
        float* normalTransfer = nullptr;       // D written by this walk (first and middle walks)
        const float* lit = nullptr;            // D_b, read where rays hit; null in the first walk
        const float* shadowedNormal = nullptr; // D_0 (middle walks)
        const float* polygonAlbedo = nullptr;  // per pack polygon, each in [0, 1)
        bool last = false;
        // The first walk fills it (polygonAlbedo set); later walks read it unless it is full.
        KeptHits* kept = nullptr;
    };

    // Per covered atlas texel, the hits of its rays that bring light (those on surfaces of
    // albedo above 0): the texel hit, the weight albedo * 4 / R and the sample, in the order
    // the rays are cast. Each worker appends to lists of its own; a texel records which
    // worker's lists hold its hits and where. Once the kept bytes would pass the budget, or
    // memory runs out, the first walk stops keeping and sets full: the hits kept are then of
    // no use and the later walks cast their rays.
    struct KeptHits {
        struct Lists {
            std::vector<uint32_t> from;
            std::vector<float> weight;
            std::vector<uint32_t> sample;
        };
        // Sized by the caller: one value per atlas texel.
        std::vector<uint64_t> offset;
        std::vector<uint32_t> count;
        std::vector<uint16_t> worker;
        std::vector<Lists> lists; // one per worker, sized when the first walk begins
        uint64_t budgetBytes = 0;
        std::atomic<uint64_t> bytes{0};
        std::atomic<bool> full{false};

        static constexpr uint64_t kBytesPerHit = 12;
        // Sizes the per-texel arrays (bad_alloc when they do not fit).
        KeptHits(size_t texels, uint64_t budget);
        // Whether the later walks can read the hits.
        bool usable() const { return !full.load(std::memory_order_relaxed); }
    };

    SHTextureBuilder(int rayCount, float rayLength, const PolyPack& pack);

    void addSample(uint32_t sample, float theta, float phi) override;
    void processTexels(const Vec3* positions, uint8_t* const* texels, size_t count,
                       const TangentFrame& frame, uint32_t polygon, size_t planeBytes,
                       unsigned worker) override;

    // Sets what the walks from now on do (null: the plain shadowed bake). The walk must be
    // kept until the next call.
    void setBounceWalk(const BounceWalk* walk) { m_bounce = walk; }

    bool beginWalk(unsigned workers) override;

    const SHSampler& sampler() const { return m_sampler; }

protected:
    bool acceptsImage() const override;
    void preparePolygon(Worker& worker, const Vec3& normal, const TangentFrame& frame) override;
    void shadeTexel(Worker& worker, uint8_t* texel, size_t planeBytes) override;

private:
    // The atlas texel whose plane-0 bytes start at texel.
    size_t texelIndex(const uint8_t* texel) const;
    // The hits that bring light, as gatherTexel reads them.
    struct GatherList {
        const uint32_t* from;
        const float* weight;
        const uint32_t* sample;
        size_t count;
    };
    // Lists in worker.gatherFrom, gatherWeight and gatherSample the hits of texel t of a run
    // (in worker.hits) that bring light.
    void listGather(Worker& worker, size_t t) const;
    // Appends worker.gather* to the kept hits as those of the given atlas texel.
    void keepGather(Worker& worker, unsigned workerIndex, size_t index) const;
    // Adds to one texel the bounced light of the hits listed.
    void gatherTexel(const Worker& worker, const GatherList& list, uint8_t* texel,
                     size_t planeBytes) const;
    // The first walk of an interreflected bake, keeping the hits: visibility from the hit walk.
    void shadeKeepingHits(Worker& worker, const Vec3* positions, uint8_t* const* texels,
                          size_t count, const Vec3& n, size_t planeBytes, unsigned workerIndex);

    SHSampler m_sampler;
    const BounceWalk* m_bounce = nullptr;
};

} // namespace Vrenn
