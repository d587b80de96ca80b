// Throughput of the SH building blocks of the bake and the per-frame lighting.

#include "geometry/AtlasPacker.h"
#include "fs/HalfFloat.h"
#include "prt/SHRotation.h"
#include "prt/SHSampler.h"
#include "prt/SampleDirections.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

namespace {

using namespace Vrenn;

// All 25 basis values at one direction (what each bake sample stores).
void BM_SHEvaluateAll(benchmark::State& state) {
    float out[kSHCoeffCount];
    float theta = 0.1f, phi = 0.2f;
    for (auto _ : state) {
        shEvaluateAll(theta, phi, out);
        benchmark::DoNotOptimize(out);
        theta = theta < 3.0f ? theta + 0.013f : 0.1f;
        phi = phi < 6.0f ? phi + 0.029f : 0.2f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SHEvaluateAll);

// The whole sample set of a bake: directions, octants and weighted basis values.
void BM_GenerateSampleSet(benchmark::State& state) {
    const int rays = int(state.range(0));
    for (auto _ : state) {
        LcgRandom random(0);
        SampleDirections directions;
        generateSampleDirections(rays, 8192.0f, random, directions);
        SHSampler sampler(rays);
        for (size_t k = 0; k < directions.size(); ++k)
            sampler.addSample(directions.theta[k], directions.phi[k]);
        benchmark::DoNotOptimize(sampler.basis(0));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GenerateSampleSet)->Arg(256)->Arg(1024);

// One projection of a half-visible sample set (the bake does three per texel).
void BM_SHProject(benchmark::State& state) {
    const int rays = int(state.range(0));
    LcgRandom random(0);
    SampleDirections directions;
    generateSampleDirections(rays, 1.0f, random, directions);
    SHSampler sampler(rays);
    std::vector<float> values(directions.size());
    for (size_t k = 0; k < directions.size(); ++k) {
        sampler.addSample(directions.theta[k], directions.phi[k]);
        values[k] = std::max(0.0f, directions.unit[k][2]);
    }
    float coeffs[kSHCoeffCount];
    for (auto _ : state) {
        sampler.project(values.data(), coeffs);
        benchmark::DoNotOptimize(coeffs);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(directions.size()));
}
BENCHMARK(BM_SHProject)->Arg(256)->Arg(1024);

// Building the band matrices of a rotation (once per frame for the sky).
void BM_SHRotationBuild(benchmark::State& state) {
    float angle = 0.0f;
    for (auto _ : state) {
        const float c = std::cos(angle), s = std::sin(angle);
        const float rows[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
        SHRotation rotation(rows);
        benchmark::DoNotOptimize(rotation);
        angle += 0.01f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SHRotationBuild);

// Applying a built rotation to one 25-coefficient vector.
void BM_SHRotationApply(benchmark::State& state) {
    const float rows[9] = {0.36f, 0.48f, -0.8f, -0.8f, 0.6f, 0.0f, 0.48f, 0.64f, 0.6f};
    const SHRotation rotation(rows);
    SHVector c{}, out{};
    for (int i = 0; i < kSHCoeffCount; ++i)
        c[size_t(i)] = 0.1f * float(i);
    for (auto _ : state) {
        rotation.apply(c, out);
        benchmark::DoNotOptimize(out);
        c[0] = out[1];
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SHRotationApply);

// The per-frame lighting work: one rotation built, applied to two probes of three channels.
void BM_SHRotateTwoProbes(benchmark::State& state) {
    SHCoeffs probes[2], lit[2];
    for (int p = 0; p < 2; ++p)
        for (int i = 0; i < kSHCoeffCount; ++i)
            probes[p].red[size_t(i)] = probes[p].green[size_t(i)] = probes[p].blue[size_t(i)] =
                float(i + p);
    float angle = 0.0f;
    for (auto _ : state) {
        const float c = std::cos(angle), s = std::sin(angle);
        const float rows[9] = {c, 0, s, 0, 1, 0, -s, 0, c};
        const SHRotation rotation(rows);
        rotation.apply(probes[0], lit[0]);
        rotation.apply(probes[1], lit[1]);
        benchmark::DoNotOptimize(lit);
        angle += 0.01f;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SHRotateTwoProbes);

void BM_FloatToHalf(benchmark::State& state) {
    std::vector<float> values(4096);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> u(-4.0f, 4.0f);
    for (float& v : values)
        v = u(rng);
    std::vector<uint16_t> halves(values.size());
    for (auto _ : state) {
        for (size_t i = 0; i < values.size(); ++i)
            halves[i] = floatToHalf(values[i]);
        benchmark::DoNotOptimize(halves.data());
    }
    state.SetItemsProcessed(state.iterations() * int64_t(values.size()));
}
BENCHMARK(BM_FloatToHalf);

void BM_PackAtlas(benchmark::State& state) {
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> side(2, 24);
    std::vector<AtlasRect> rects(size_t(state.range(0)));
    for (size_t i = 0; i < rects.size(); ++i) {
        rects[i].width = side(rng);
        rects[i].height = side(rng);
        rects[i].id = int(i);
    }
    for (auto _ : state) {
        std::vector<AtlasRect> work = rects;
        benchmark::DoNotOptimize(packAtlasRects(work, 32, 32));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PackAtlas)->Arg(1000)->Arg(5000);

} // namespace
