// The transfer bake on the demo scene (`vrenn mkscene`): covered texels, rays traced per
// second and texels per second, at 256 and 1024 rays, on one thread and on every core, and
// the process's peak memory.
//
// A full bake at 1024 rays takes minutes on one core, so by default every 4th polygon of the
// scene is walked (the same polygons in every run; the tree and atlas are the whole scene's).
// VRENN_BAKE_STRIDE=1 walks all of them.

#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "prt/SHTextureBuilder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <sys/resource.h>
#include <thread>

namespace {

using namespace Vrenn;

// The demo scene as `vrenn bake` sees it after loading, with its pack, atlas and tree.
struct DemoBake {
    DemoBake() : pack(4, 3, 4) {
        model = DemoSceneBuilder().build();
        for (const auto& surface : model->surfaces()) {
            surface->mesh()->computeTangentFrame(); // as loading does
            pack.addSurface(surface->mesh(), true, true);
        }
        pack.packAtlas(32, 32, 19, FORMAT_RGBA16F, 1, 4.0f);
        pack.buildTree();
        const char* env = std::getenv("VRENN_BAKE_STRIDE");
        const uint32_t stride = env && std::atoi(env) > 0 ? uint32_t(std::atoi(env)) : 4u;
        for (uint32_t p = 0; p < pack.polygons().size(); p += stride)
            walked.push_back(p);
    }
    std::shared_ptr<Model> model;
    PolyPack pack;
    std::vector<uint32_t> walked;
};

DemoBake& demo() {
    static DemoBake bake;
    return bake;
}

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

// User and system time of the whole process, over all threads.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Arguments: requested rays, threads (0: every core).
void BM_TransferBake(benchmark::State& state) {
    DemoBake& scene = demo();
    SHTextureBuilder builder(int(state.range(0)), 8192.0f, scene.pack);
    builder.generateSamples();
    BakeOptions options;
    options.threads = unsigned(state.range(1));
    options.polygons = &scene.walked;
    BakeStats stats;
    uint64_t rays = 0, texels = 0;
    double seconds = 0.0, cpu = 0.0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        scene.pack.bake(builder, options, &stats);
        cpu += cpuSeconds() - cpuBefore;
        rays += builder.raysTraced();
        texels += stats.texels;
        seconds += stats.seconds;
        state.SetIterationTime(stats.seconds);
    }
    state.counters["texels"] = double(stats.texels);
    state.counters["threads"] = double(stats.workers);
    state.counters["rays_per_s"] = double(rays) / seconds;
    state.counters["texels_per_s"] = double(texels) / seconds;
    state.counters["rays_per_texel"] = double(rays) / double(texels);
    // How many cores the walk kept busy: below the thread count when the machine is shared.
    state.counters["cores_busy"] = cpu / seconds;
    state.counters["rays_per_cpu_s"] = double(rays) / cpu;
    state.counters["peak_MiB"] = peakMiB();
    state.SetLabel(std::to_string(scene.walked.size()) + " of " +
                   std::to_string(scene.pack.polygons().size()) + " polygons, atlas " +
                   std::to_string(scene.pack.atlasWidth()) + "x" +
                   std::to_string(scene.pack.atlasHeight()));
}
BENCHMARK(BM_TransferBake)
    ->ArgsProduct({{256, 1024}, {1, 0}})
    ->ArgNames({"rays", "threads"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
