// Load, extraction and tree-build times of the geometry pipeline against polygon count.
// Scenes are the demo courtyard repeated on a tiles x tiles grid (371 faces a tile), and a
// floor of thousands of separate tiles for the bake's set-up.

#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "geometry/VmshLoader.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <map>

namespace {

using namespace Vrenn;

// The scene file of a tile count, written once per run into the temporary folder.
const std::string& sceneFile(uint32_t tiles) {
    static std::map<uint32_t, std::string> files;
    auto& name = files[tiles];
    if (name.empty()) {
        name = (std::filesystem::temp_directory_path() /
                ("vrenn_bench_scene_" + std::to_string(tiles) + ".vmsh"))
                   .string();
        VmshLoader().save(name, *DemoSceneBuilder(tiles).build());
    }
    return name;
}

std::shared_ptr<Model> loadScene(uint32_t tiles) {
    std::shared_ptr<Model> model;
    VmshLoader loader;
    if (!loader.load(sceneFile(tiles), model, false)) return {};
    return model;
}

void fillPack(PolyPack& pack, const Model& model) {
    for (const auto& surface : model.surfaces())
        pack.addSurface(surface->mesh(), true, true);
}

void setCounters(benchmark::State& state, uint32_t tiles) {
    const double polygons = DemoSceneBuilder(tiles).faceCount();
    state.counters["polygons"] = polygons;
    state.counters["polygons_per_s"] =
        benchmark::Counter(polygons, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Load(benchmark::State& state) {
    const uint32_t tiles = static_cast<uint32_t>(state.range(0));
    const std::string& file = sceneFile(tiles);
    VmshLoader loader;
    for (auto _ : state) {
        std::shared_ptr<Model> model;
        if (!loader.load(file, model, false)) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(model);
    }
    state.counters["bytes"] = double(std::filesystem::file_size(file));
    setCounters(state, tiles);
}

void BM_Extract(benchmark::State& state) {
    const uint32_t tiles = static_cast<uint32_t>(state.range(0));
    const auto model = loadScene(tiles);
    for (auto _ : state) {
        PolyPack pack(4, 3, 4);
        fillPack(pack, *model);
        benchmark::DoNotOptimize(pack.polygons().data());
    }
    setCounters(state, tiles);
}

void BM_BuildTree(benchmark::State& state) {
    const uint32_t tiles = static_cast<uint32_t>(state.range(0));
    const auto model = loadScene(tiles);
    size_t nodes = 0, references = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PolyPack pack(4, 3, 4);
        fillPack(pack, *model);
        state.ResumeTiming();
        if (!pack.buildTree()) state.SkipWithError("build failed");
        nodes = pack.nodes().size();
        references = 0;
        for (const auto& leaf : pack.leaves())
            references += leaf.polygons.size();
    }
    state.counters["nodes"] = double(nodes);
    state.counters["leaf_references"] = double(references);
    setCounters(state, tiles);
}

// Thousands of triangles in one plane, two alternating over six vertices: the tree is a
// chain of one node per polygon over the same list.
void BM_BuildTreeCoplanar(benchmark::State& state) {
    const uint32_t count = static_cast<uint32_t>(state.range(0));
    auto mesh = std::make_shared<Mesh>();
    const float xyz[] = {0, 0, 0, 0, 0, 1, 1, 0, 0, 2, 0, 2, 2, 0, 3, 3, 0, 2};
    mesh->addStream(xyz, 6, 12, {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
    std::vector<uint32_t> indices;
    for (uint32_t t = 0; t < count; ++t)
        for (uint32_t k = 0; k < 3; ++k)
            indices.push_back(t % 2 * 3 + k);
    mesh->setIndices(indices.data(), static_cast<uint32_t>(indices.size()));
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    for (auto _ : state) {
        state.PauseTiming();
        PolyPack pack(4, 3, 4);
        pack.addSurface(mesh, true, true);
        state.ResumeTiming();
        if (!pack.buildTree()) state.SkipWithError("build failed");
    }
    state.counters["polygons"] = double(count);
}

// A floor of count separate square tiles (12 units wide, 4 apart, each two triangles with
// vertices of their own) on a square grid: a polygon each, all in one plane.
std::shared_ptr<Mesh> tiledFloor(uint32_t count) {
    const auto side = static_cast<uint32_t>(std::ceil(std::sqrt(double(count))));
    std::vector<float> xyz;
    std::vector<uint32_t> indices;
    for (uint32_t t = 0; t < count; ++t) {
        const float x = float(t % side) * 16.0f, z = float(t / side) * 16.0f;
        const auto first = static_cast<uint32_t>(xyz.size() / 3);
        for (auto [dx, dz] : {std::pair{0.0f, 0.0f}, {0.0f, 12.0f}, {12.0f, 12.0f}, {12.0f, 0.0f}})
            xyz.insert(xyz.end(), {x + dx, 0.0f, z + dz});
        for (uint32_t k : {0u, 1u, 2u, 0u, 2u, 3u})
            indices.push_back(first + k);
    }
    auto mesh = std::make_shared<Mesh>();
    mesh->addStream(xyz.data(), static_cast<uint32_t>(xyz.size() / 3), 12,
                    {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
    mesh->setIndices(indices.data(), static_cast<uint32_t>(indices.size()));
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    return mesh;
}

// The bake's set-up before its first ray on the tiled floor: the atlas (one byte plane, so
// that the image's size does not hide the packing) or the tree.
void BM_FloorSetUp(benchmark::State& state) {
    const auto count = static_cast<uint32_t>(state.range(0));
    const bool tree = state.range(1) != 0;
    const auto mesh = tiledFloor(count);
    for (auto _ : state) {
        state.PauseTiming();
        PolyPack pack(4, 3, 4);
        pack.addSurface(mesh, true, true);
        state.ResumeTiming();
        if (!(tree ? pack.buildTree() : pack.packAtlas(32, 32, 1, FORMAT_L8, 1, 4.0f)))
            state.SkipWithError("set-up failed");
    }
    state.SetLabel(tree ? "tree" : "atlas");
    state.counters["polygons"] = double(count);
}

// 371, 1484, 3339, 5936 and 13356 polygons, and 94976 for the tree. Wall-clock time, as
// loads include reading the file.
BENCHMARK(BM_Load)->Arg(1)->Arg(2)->Arg(3)->Arg(4)->Arg(6)->UseRealTime()->Unit(
    benchmark::kMillisecond);
BENCHMARK(BM_Extract)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Arg(6)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTree)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Arg(6)
    ->Arg(16)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildTreeCoplanar)->Arg(2000)->Arg(4000)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK(BM_FloorSetUp)
    ->ArgsProduct({{10000, 22500, 40000}, {0, 1}})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
