// The demo's frame at 640 x 480, stage by stage: the lightmap passes, the sky and the scene
// into the HDR target, and the post chain. The demo scene is baked once with few rays (the
// frame's cost does not depend on the transfer values) into a run folder of its own, and the
// demo runs there with a fixed time step, every key up. Run with SDL_VIDEODRIVER=offscreen.
//
// frame_by_stage drains the device at every stage boundary: each stage's wall time is then its
// drawing time on a software rasteriser, and a GL timestamp at each boundary gives the
// device's own view. frame_processor draws frames back to back without draining; run it with
// GALLIUM_NOOP=1 (the driver discards all drawing) to see the processor time of a frame
// outside the rasteriser.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "prt/PrtScene.h"

#include <array>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <epoxy/gl.h>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using namespace Vrenn;
namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A run folder with the repository's data and the baked demo scene, and the demo started
// in it; made on first use, removed at exit.
struct DemoRun {
    stdfs::path folder;
    std::unique_ptr<DemoApplication> app;

    DemoRun() {
        folder = stdfs::temp_directory_path() / ("vrenn-bench-demo-" + std::to_string(getpid()));
        stdfs::copy(VRENN_DATA_DIR, folder, stdfs::copy_options::recursive);
        stdfs::create_directories(folder / "models");
        const auto loaders = ModelLoaderFactory::createDefault();
        const std::string scene = (folder / "models/scene.vmsh").string();
        std::shared_ptr<Model> model;
        if (!loaders->save(scene, *DemoSceneBuilder().build()) ||
            !loaders->load(scene, model, false))
            return;
        PrtBakeSettings settings;
        settings.rays = 4;
        settings.outputDir = folder.string();
        PrtBakeResult result;
        if (!rebuildPrtScene(*model, settings, result)) return;
        std::ofstream(folder / "default.cfg", std::ios::app)
            << "r_fixedstep \"0.02\"\nr_maxframes \"0\"\nr_shotframe \"0\"\nr_mode \"3\"\n"
               "model \"models/saved.vmsh\"\nmakebsp \"0\"\n";
        // Another view than the default start, "x y z yaw pitch" as cam_start takes it.
        if (const char* view = std::getenv("VRENN_BENCH_CAM_START"))
            std::ofstream(folder / "default.cfg", std::ios::app)
                << "cam_start \"" << view << "\"\n";
        stdfs::current_path(folder);
        app = std::make_unique<DemoApplication>();
        g_app = app.get();
        if (!app->Initialize()) app.reset();
    }
    ~DemoRun() {
        app.reset();
        g_app = nullptr;
        std::error_code ignored;
        stdfs::remove_all(folder, ignored);
    }

    static DemoRun& get() {
        static DemoRun run;
        return run;
    }
};

constexpr size_t kStages = 3;

void frameByStage(benchmark::State& state) {
    DemoRun& run = DemoRun::get();
    if (!run.app || !run.app->missing().empty()) {
        state.SkipWithError("no GL device or no lit demo scene");
        return;
    }
    std::array<GLuint, kStages + 1> queries{};
    glGenQueries(GLsizei(queries.size()), queries.data());
    std::array<Clock::time_point, kStages + 1> marks{};
    std::array<double, kStages> wall{}, gpu{};
    run.app->setStageObserver([&](DemoApplication::FrameStage stage) {
        glFinish();
        marks[size_t(stage)] = Clock::now();
        glQueryCounter(queries[size_t(stage)], GL_TIMESTAMP);
    });
    for (auto _ : state) {
        run.app->Update();
        run.app->Render();
        std::array<GLuint64, kStages + 1> stamps{};
        for (size_t i = 0; i < queries.size(); ++i)
            glGetQueryObjectui64v(queries[i], GL_QUERY_RESULT, &stamps[i]);
        for (size_t i = 0; i < kStages; ++i) {
            wall[i] += std::chrono::duration<double>(marks[i + 1] - marks[i]).count();
            gpu[i] += double(stamps[i + 1] - stamps[i]) * 1e-9;
        }
    }
    run.app->setStageObserver({});
    glDeleteQueries(GLsizei(queries.size()), queries.data());
    const char* names[kStages] = {"lightmaps", "sky_scene", "post"};
    const double frames = double(state.iterations());
    for (size_t i = 0; i < kStages; ++i) {
        state.counters[std::string(names[i]) + "_ms"] = wall[i] * 1e3 / frames;
        state.counters[std::string(names[i]) + "_gpu_ms"] = gpu[i] * 1e3 / frames;
    }
}

void frameProcessor(benchmark::State& state) {
    DemoRun& run = DemoRun::get();
    if (!run.app) {
        state.SkipWithError("no GL device");
        return;
    }
    for (auto _ : state) {
        run.app->Update();
        run.app->Render();
    }
    glFinish();
}

// Whole frames, drained, with the sky turning (every frame relights the atlas) or still (the
// lightmaps of the last frame stay). Run both in one process: their ratio is the saving.
void frameSky(benchmark::State& state, bool turning) {
    DemoRun& run = DemoRun::get();
    if (!run.app || !run.app->missing().empty()) {
        state.SkipWithError("no GL device or no lit demo scene");
        return;
    }
    run.app->setAutoSkyRotate(turning);
    const uint64_t drawsBefore = run.app->lightmapRefresh().draws();
    for (auto _ : state) {
        run.app->Update();
        run.app->Render();
        glFinish();
    }
    state.counters["relit"] =
        double(run.app->lightmapRefresh().draws() - drawsBefore) / double(state.iterations());
    run.app->setAutoSkyRotate(true);
}

BENCHMARK_CAPTURE(frameSky, turning, true)
    ->Name("frame_sky_turning")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(frameSky, still, false)
    ->Name("frame_sky_still")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(frameByStage)->Name("frame_by_stage")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(frameProcessor)->Name("frame_processor")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
