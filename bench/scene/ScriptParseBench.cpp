// Parse time of effect and material scripts against their number of blocks. Time per block
// must stay flat from 10,000 to 40,000 blocks (the counter "per_block"): a parser that searches
// again for each block shows as a time per block that grows with the script.

#include "render/gl/GLEffectSource.h"
#include "scene/MaterialMgr.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

using namespace Vrenn;

// Vertex shaders, samplers and techniques, each named once, and a technique per block pair.
std::string effectScript(int blocks) {
    std::string text = "fragment f {}\nsampler s {}\n";
    for (int i = 0; i < blocks; ++i) {
        const std::string n = std::to_string(i);
        text += "vertex v" + n + " {}\nsampler s" + n + " {}\ntechnique t" + n +
                " { pass { vertex = v" + n + "; fragment = f; } }\n";
    }
    return text;
}

// Time per block of the script, the case's argument.
void countPerBlock(benchmark::State& state) {
    state.counters["per_block"] = benchmark::Counter(static_cast<double>(state.range(0)),
                                                     benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

void BM_EffectSource(benchmark::State& state) {
    const std::string text = effectScript(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        EffectSource source;
        EffectSourceError error;
        if (!parseEffectSource(text, source, error)) state.SkipWithError(error.message.c_str());
        benchmark::DoNotOptimize(source);
    }
    countPerBlock(state);
}

// A block never closed holding every block after it: given up in one pass.
void BM_MaterialScriptUnclosed(benchmark::State& state) {
    std::string script = "first { x }\n";
    for (int64_t i = 0; i < state.range(0); ++i)
        script += "m { x ";
    for (auto _ : state) {
        MaterialMgr materials(nullptr, nullptr);
        benchmark::DoNotOptimize(materials.loadScriptText(script));
    }
    countPerBlock(state);
}

} // namespace

BENCHMARK(BM_EffectSource)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaterialScriptUnclosed)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);
