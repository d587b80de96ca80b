// Processor time of the per-frame lighting: both probes turned by the sky angle (six rotations
// of 25 coefficients), cross-faded, and packed into the parameters of every lighting effect.

#include "prt/PrtLighting.h"

#include <benchmark/benchmark.h>

namespace {

using namespace Vrenn;

void BM_PrtLightingUpdate(benchmark::State& state) {
    PrtLighting lighting;
    float angle = 0.0f, blend = 0.0f;
    for (auto _ : state) {
        lighting.update(angle, blend, Vec3(1.0f, 2.0f, 3.0f));
        benchmark::DoNotOptimize(lighting.onePassParameters().data());
        benchmark::DoNotOptimize(lighting.bands34Parameters().data());
        angle = angle < 6.0f ? angle + 0.01f : 0.0f;
        blend = blend < 1.0f ? blend + 0.001f : 0.0f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PrtLightingUpdate);

} // namespace
