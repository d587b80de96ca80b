// Our occlusion caster against Embree 3 on the same rays of the demo scene (`vrenn mkscene`),
// at 256 and 1024 samples, on 1 and 2 threads: rays per second of each, their ratio (ours over
// Embree's: 1 or more means ours is at least as fast) and the rays on which the two disagree.
//
// The rays are the bake's: from a fixed subset of the covered texels (the runs of neighbours the
// bake hands to its caster, in the order it walks them, one run in every k, k chosen so that a
// sample count holds about VRENN_CASTER_RAYS rays, 3 million by default), starting 0.1 above the
// texel along the polygon's normal, along each sample direction w of the bake's sample set with n.w
// > 0, in the bake's octant order, each a segment of 8192 units; occlusion only. Ours casts through
// the pack the bake uses; Embree casts through the triangles of the model's meshes, two-sided. Ours
// lets only polygons facing the segment block, and only where the coverage mask covers them, so a
// small share of rays gets different answers: it is counted and printed, not treated as a failure.
//
// Built without Embree (libembree-dev missing), it measures our caster alone.

#include "core/Vector3.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/OcclusionCaster.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "prt/AmbientTextureBuilder.h"
#include "prt/LcgRandom.h"
#include "prt/SampleDirections.h"

#include <benchmark/benchmark.h>

#ifdef VRENN_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using namespace Vrenn;

constexpr float kRayLength = 8192.0f;
constexpr uint64_t kDefaultRayBudget = 3000000;

// The demo scene as `vrenn bake` packs it: balance 3, split 4, a 32 x 32 atlas to start,
// 4 units per texel. The image's planes and format do not change the pack, so the ambient
// bake's single byte plane stands in for the transfer planes.
struct DemoPack {
    DemoPack() : pack(4, 3, 4) {
        model = DemoSceneBuilder().build();
        for (const auto& surface : model->surfaces()) {
            surface->mesh()->computeTangentFrame(); // as loading does
            pack.addSurface(surface->mesh(), true, true);
        }
        ready = pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f) && pack.buildTree();
    }
    std::shared_ptr<Model> model;
    PolyPack pack;
    bool ready = false;
};

DemoPack& demo() {
    static DemoPack scene;
    return scene;
}

// Records the covered texels in the order a one-thread bake visits them, and where each run of
// texels it hands over starts.
class TexelRecorder : public TexelBaker {
public:
    struct Texel {
        Vec3 position;
        uint32_t polygon;
    };
    bool beginWalk(unsigned) override { return true; }
    void processTexel(const Vec3& position, const TangentFrame&, uint32_t polygon, uint8_t*, size_t,
                      unsigned) override {
        texels.push_back({position, polygon});
    }
    void processTexels(const Vec3* positions, uint8_t* const* addresses, size_t count,
                       const TangentFrame& frame, uint32_t polygon, size_t planeBytes,
                       unsigned worker) override {
        runs.push_back(texels.size());
        TexelBaker::processTexels(positions, addresses, count, frame, polygon, planeBytes, worker);
    }
    std::vector<Texel> texels;
    std::vector<size_t> runs;
};

const TexelRecorder& recordedWalk() {
    static const TexelRecorder recorder = [] {
        TexelRecorder recorded;
        BakeOptions options;
        options.threads = 1;
        demo().pack.bake(recorded, options);
        return recorded;
    }();
    return recorder;
}

uint64_t rayBudget() {
    const char* env = std::getenv("VRENN_CASTER_RAYS");
    const long long value = env ? std::atoll(env) : 0;
    return value > 0 ? uint64_t(value) : kDefaultRayBudget;
}

// The rays of one sample count: per polygon the segment offsets (scaled directions in front
// of its normal), per chosen texel the start and where its rays begin in the result buffer.
struct RaySet {
    struct Texel {
        Vec3 start;
        uint32_t polygon;
        uint64_t firstRay;
    };
    int samples = 0;
    size_t directions = 0;
    uint32_t stride = 1;
    std::vector<std::vector<std::array<float, 3>>> offsets;
    std::vector<Texel> texels;
    // Where each run of texels (cast together, as the bake casts them) starts in texels; the
    // last entry is texels.size().
    std::vector<size_t> runs;
    uint64_t rays = 0;
};

RaySet makeRaySet(int samples) {
    const PolyPack& pack = demo().pack;
    RaySet set;
    set.samples = samples;
    LcgRandom random(0); // the bake's seed
    SampleDirections directions;
    generateSampleDirections(samples, kRayLength, random, directions);
    set.directions = directions.size();
    for (const PackPolygon& polygon : pack.polygons()) {
        const Vec3& n = polygon.normal;
        std::vector<std::array<float, 3>> list;
        for (const auto& octant : directions.octants)
            for (uint32_t s : octant) {
                const auto& w = directions.unit[s];
                if (n.x * w[0] + n.y * w[1] + n.z * w[2] > 0.0f)
                    list.push_back(directions.scaled[s]);
            }
        set.offsets.push_back(std::move(list));
    }
    const TexelRecorder& recorded = recordedWalk();
    const auto& covered = recorded.texels;
    uint64_t all = 0;
    for (const auto& texel : covered)
        all += set.offsets[texel.polygon].size();
    set.stride = uint32_t(std::max<uint64_t>(1, (all + rayBudget() / 2) / rayBudget()));
    // Whole runs, as the bake hands them to its caster.
    for (size_t run = 0; run < recorded.runs.size(); run += set.stride) {
        const size_t end = run + 1 < recorded.runs.size() ? recorded.runs[run + 1] : covered.size();
        set.runs.push_back(set.texels.size());
        for (size_t i = recorded.runs[run]; i < end; ++i) {
            const auto& texel = covered[i];
            const Vec3 n = pack.polygons()[texel.polygon].normal;
            set.texels.push_back({texel.position + n * AmbientTextureBuilder::kOriginOffset,
                                  texel.polygon, set.rays});
            set.rays += set.offsets[texel.polygon].size();
        }
    }
    set.runs.push_back(set.texels.size());
    return set;
}

const RaySet& raySet(int samples) {
    static std::map<int, RaySet> sets;
    auto found = sets.find(samples);
    if (found == sets.end()) found = sets.emplace(samples, makeRaySet(samples)).first;
    return found->second;
}

// VRENN_CASTER_CLOCK=cpu: time the casts by the processor time of their threads.
bool timesProcessor() {
    static const bool cpu = [] {
        const char* env = std::getenv("VRENN_CASTER_CLOCK");
        return env && std::string(env) == "cpu";
    }();
    return cpu;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

// Casts every ray of the set on the given number of threads, each thread taking runs of
// texels in turn; castTexels(state, first, end) casts the rays of the run of texels
// first ... end - 1 (their answers from blocked + set.texels[first].firstRay on). Each thread's
// state (makeState()) is made before the clock starts, as the scene is.
// Returns the wall time in seconds, or with VRENN_CASTER_CLOCK=cpu the processor time the
// threads spent, divided by their number: what the wall time would be on an idle machine, and
// far steadier than it where other work shares the processor.
template <class MakeState, class CastTexels>
double castAll(const RaySet& set, unsigned threads, MakeState makeState, CastTexels castTexels) {
    std::vector<decltype(makeState())> states;
    for (unsigned k = 0; k < threads; ++k)
        states.push_back(makeState());
    std::atomic<size_t> next{0};
    std::vector<double> cpuSeconds(threads, 0.0);
    auto work = [&](unsigned k) {
        const double cpuStart = threadCpuSeconds();
        auto& state = states[k];
        for (;;) {
            const size_t run = next.fetch_add(1, std::memory_order_relaxed);
            if (run + 1 >= set.runs.size()) break;
            castTexels(state, set.runs[run], set.runs[run + 1]);
        }
        cpuSeconds[k] = threadCpuSeconds() - cpuStart;
    };
    const auto started = std::chrono::steady_clock::now();
    std::vector<std::thread> pool;
    for (unsigned k = 1; k < threads; ++k)
        pool.emplace_back(work, k);
    work(0);
    for (auto& thread : pool)
        thread.join();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!timesProcessor()) return wall;
    double cpu = 0.0;
    for (double seconds : cpuSeconds)
        cpu += seconds;
    return cpu / threads;
}

// The build of our caster: VRENN_CASTER_KERNEL=baseline, avx2 or avx512 asks for one (the
// processor permitting), else the widest the processor has.
CasterKernel casterKernel() {
    const char* env = std::getenv("VRENN_CASTER_KERNEL");
    const std::string name = env ? env : "";
    if (name == "baseline") return CasterKernel::Baseline;
    if (name == "avx2") return CasterKernel::Avx2;
    if (name == "avx512") return CasterKernel::Avx512;
    return CasterKernel::Best;
}

// A thread's caster, and the starts of the run it casts.
struct OursState {
    std::unique_ptr<OcclusionCaster> caster;
    std::vector<Vec3> starts;
};

double castOurs(const RaySet& set, unsigned threads, uint8_t* blocked) {
    const PolyPack& pack = demo().pack;
    const auto tree = std::make_shared<const CasterTree>(pack);
    return castAll(
        set, threads,
        [&] {
            return OursState{std::make_unique<OcclusionCaster>(tree, casterKernel()), {}};
        },
        [&](OursState& ours, size_t first, size_t end) {
            // A run's texels go together, as the bake casts them.
            std::vector<Vec3>& starts = ours.starts;
            starts.clear();
            for (size_t t = first; t < end; ++t)
                starts.push_back(set.texels[t].start);
            const uint32_t polygon = set.texels[first].polygon;
            const auto& offsets = set.offsets[polygon];
            ours.caster->cast(starts.data(), starts.size(), offsets.data(), offsets.size(),
                              blocked + set.texels[first].firstRay);
        });
}

#ifdef VRENN_HAVE_EMBREE
// Rejects hits on triangles that face away from the ray (Embree's geometric normal is
// (v1 - v0) x (v2 - v0)), as our caster ignores polygons facing away.
void frontFacesOnly(const RTCFilterFunctionNArguments* args) {
    for (unsigned i = 0; i < args->N; ++i) {
        if (args->valid[i] != -1) continue;
        const float facing =
            RTCRayN_dir_x(args->ray, args->N, i) * RTCHitN_Ng_x(args->hit, args->N, i) +
            RTCRayN_dir_y(args->ray, args->N, i) * RTCHitN_Ng_y(args->hit, args->N, i) +
            RTCRayN_dir_z(args->ray, args->N, i) * RTCHitN_Ng_z(args->hit, args->N, i);
        if (!(facing < 0.0f)) args->valid[i] = 0;
    }
}

bool embreeOneSided() {
    const char* env = std::getenv("VRENN_EMBREE_ONE_SIDED");
    return env && std::atoi(env) != 0;
}

// The triangles of every surface's mesh in one Embree scene, built at high quality; with
// VRENN_EMBREE_ONE_SIDED=1 an occlusion filter lets only triangles facing the ray block.
class EmbreeScene {
public:
    EmbreeScene() {
        m_device = rtcNewDevice(nullptr);
        m_scene = rtcNewScene(m_device);
        rtcSetSceneBuildQuality(m_scene, RTC_BUILD_QUALITY_HIGH);
        for (const auto& surface : demo().model->surfaces()) {
            const Mesh& mesh = *surface->mesh();
            const VertexAttribute position = mesh.attribute(USAGE_POSITION);
            const auto& indices = mesh.indices();
            const size_t triangles = indices.size() / 3;
            if (!position || triangles == 0) continue;
            RTCGeometry geometry = rtcNewGeometry(m_device, RTC_GEOMETRY_TYPE_TRIANGLE);
            auto* vertices = static_cast<float*>(
                rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                        3 * sizeof(float), position.vertexCount()));
            for (uint32_t v = 0; v < position.vertexCount(); ++v)
                for (uint32_t c = 0; c < 3; ++c)
                    vertices[3 * v + c] = position.get(v, c);
            auto* triangleIndices = static_cast<uint32_t*>(
                rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                        3 * sizeof(uint32_t), triangles));
            std::copy(indices.begin(), indices.begin() + std::ptrdiff_t(3 * triangles),
                      triangleIndices);
            if (embreeOneSided()) rtcSetGeometryOccludedFilterFunction(geometry, frontFacesOnly);
            rtcCommitGeometry(geometry);
            rtcAttachGeometry(m_scene, geometry);
            rtcReleaseGeometry(geometry);
            m_triangles += triangles;
        }
        rtcCommitScene(m_scene);
    }
    ~EmbreeScene() {
        rtcReleaseScene(m_scene);
        rtcReleaseDevice(m_device);
    }
    EmbreeScene(const EmbreeScene&) = delete;
    EmbreeScene& operator=(const EmbreeScene&) = delete;

    RTCScene scene() const { return m_scene; }
    size_t triangles() const { return m_triangles; }

private:
    RTCDevice m_device = nullptr;
    RTCScene m_scene = nullptr;
    size_t m_triangles = 0;
};

EmbreeScene& embree() {
    static EmbreeScene scene;
    return scene;
}

double castEmbree(const RaySet& set, unsigned threads, uint8_t* blocked) {
    const RTCScene scene = embree().scene();
    return castAll(
        set, threads,
        [] {
            RTCIntersectContext context;
            rtcInitIntersectContext(&context);
            return context;
        },
        [&](RTCIntersectContext& context, size_t first, size_t end) {
            for (size_t t = first; t < end; ++t) {
                const RaySet::Texel& texel = set.texels[t];
                uint8_t* out = blocked + texel.firstRay;
                const auto& offsets = set.offsets[texel.polygon];
                for (size_t i = 0; i < offsets.size(); ++i) {
                    // The segment start -> start + offset: t from 0 to 1 along the offset.
                    RTCRay ray{};
                    ray.org_x = texel.start.x;
                    ray.org_y = texel.start.y;
                    ray.org_z = texel.start.z;
                    ray.dir_x = offsets[i][0];
                    ray.dir_y = offsets[i][1];
                    ray.dir_z = offsets[i][2];
                    ray.tnear = 0.0f;
                    ray.tfar = 1.0f;
                    ray.mask = ~0u;
                    rtcOccluded1(scene, &context, &ray);
                    out[i] = ray.tfar < 0.0f ? 1 : 0; // a hit sets tfar to -inf
                }
            }
        });
}
#endif

enum class Caster { Ours, Embree };

const char* casterName(Caster caster) {
    return caster == Caster::Ours ? "ours" : "embree";
}

// What each case measured, and each caster's answers at each sample count (from its first
// run), to compare the casters and the thread counts.
struct Measured {
    double raysPerSecond = 0.0;
    bool sameAsOtherThreadCount = true;
};
std::map<std::tuple<Caster, int, unsigned>, Measured> g_measured;
std::map<std::pair<Caster, int>, std::vector<uint8_t>> g_answers;

void castCase(benchmark::State& state, Caster caster, int samples, unsigned threads) {
    if (!demo().ready) {
        state.SkipWithError("the demo scene could not be packed");
        return;
    }
    const RaySet& set = raySet(samples);
    std::vector<uint8_t> blocked(set.rays, 0);
    uint64_t rays = 0;
    double seconds = 0.0;
    for (auto _ : state) {
        double elapsed = 0.0;
#ifdef VRENN_HAVE_EMBREE
        if (caster == Caster::Embree)
            elapsed = castEmbree(set, threads, blocked.data());
        else
#endif
            elapsed = castOurs(set, threads, blocked.data());
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        rays += set.rays;
    }
    Measured& measured = g_measured[{caster, samples, threads}];
    measured.raysPerSecond = double(rays) / seconds;
    auto stored = g_answers.find({caster, samples});
    if (stored == g_answers.end())
        g_answers.emplace(std::make_pair(caster, samples), blocked);
    else
        measured.sameAsOtherThreadCount = stored->second == blocked;

    uint64_t blockedRays = 0;
    for (uint8_t b : blocked)
        blockedRays += b;
    state.counters["rays_per_s"] = measured.raysPerSecond;
    state.counters["rays"] = double(set.rays);
    state.counters["blocked_share"] = double(blockedRays) / double(set.rays);
    state.SetLabel(std::to_string(set.texels.size()) + " texels in " +
                   std::to_string(set.runs.size() - 1) + " runs (1 run in " +
                   std::to_string(set.stride) + "), " + std::to_string(set.directions) +
                   " directions");
}

void printSummary() {
    const bool haveEmbree =
#ifdef VRENN_HAVE_EMBREE
        true;
#else
        false;
#endif
    std::printf("\ncaster threads samples ours_rays_per_s embree_rays_per_s ratio\n");
    for (int samples : {256, 1024})
        for (unsigned threads : {1u, 2u}) {
            auto ours = g_measured.find({Caster::Ours, samples, threads});
            if (ours == g_measured.end()) continue;
            auto theirs = g_measured.find({Caster::Embree, samples, threads});
            if (theirs != g_measured.end())
                std::printf("OcclusionCaster %u %d %.0f %.0f %.2f\n", threads, samples,
                            ours->second.raysPerSecond, theirs->second.raysPerSecond,
                            ours->second.raysPerSecond / theirs->second.raysPerSecond);
            else
                std::printf("OcclusionCaster %u %d %.0f - -\n", threads, samples,
                            ours->second.raysPerSecond);
        }
    if (!haveEmbree) std::printf("(built without Embree: our caster alone)\n");

    for (const auto& [key, measured] : g_measured)
        if (!measured.sameAsOtherThreadCount)
            std::printf("WARNING: %s at %d samples answered differently on %u threads than "
                        "on its first run\n",
                        casterName(std::get<0>(key)), std::get<1>(key), std::get<2>(key));

    for (int samples : {256, 1024}) {
        auto ours = g_answers.find({Caster::Ours, samples});
        auto theirs = g_answers.find({Caster::Embree, samples});
        if (ours == g_answers.end() || theirs == g_answers.end()) continue;
        uint64_t onlyOurs = 0, onlyTheirs = 0;
        for (size_t i = 0; i < ours->second.size(); ++i) {
            onlyOurs += ours->second[i] && !theirs->second[i];
            onlyTheirs += !ours->second[i] && theirs->second[i];
        }
        const double all = double(ours->second.size());
        std::printf("disagreements at %d samples: %llu of %zu rays (%.3f%%): blocked for us "
                    "only %llu, for Embree only %llu\n",
                    samples, static_cast<unsigned long long>(onlyOurs + onlyTheirs),
                    ours->second.size(), 100.0 * double(onlyOurs + onlyTheirs) / all,
                    static_cast<unsigned long long>(onlyOurs),
                    static_cast<unsigned long long>(onlyTheirs));
    }
}

void registerCases() {
    for (int samples : {256, 1024})
        for (unsigned threads : {1u, 2u}) {
            std::vector<Caster> casters{Caster::Ours};
#ifdef VRENN_HAVE_EMBREE
            casters.push_back(Caster::Embree);
#endif
            for (Caster caster : casters) {
                const std::string name = std::string("cast/") + casterName(caster) +
                                         "/samples:" + std::to_string(samples) +
                                         "/threads:" + std::to_string(threads);
                benchmark::RegisterBenchmark(name.c_str(), castCase, caster, samples, threads)
                    ->UseManualTime()
                    ->MinTime(1.0)
                    ->Unit(benchmark::kMillisecond);
            }
        }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerCases();
    benchmark::RunSpecifiedBenchmarks();
    printSummary();
    benchmark::Shutdown();
    return 0;
}
