// GPU time of the lightmap passes, measured with GL timer queries: the single pass against the
// two partial-sum passes and the combine, and against the single pass from compressed transfer.
// The scene is the demo scene baked once with few rays and compressed with the defaults, or,
// with VRENN_BENCH_RUN=DIR, a baked run folder's model and transfer (and its shtex.cpca when
// it has one). Run it where the offscreen driver is wanted with SDL_VIDEODRIVER=offscreen.

#include "fs/CodecMgr.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "geometry/DemoSceneBuilder.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "lighting/LightmapPasses.h"
#include "platform/SDLWindow.h"
#include "prt/CompressedTransfer.h"
#include "prt/PrtLighting.h"
#include "prt/SHTextureBuilder.h"
#include "prt/TransferTextures.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "render/gl/GLRenderer.h"
#include "scene/MaterialMgr.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <epoxy/gl.h>
#include <filesystem>
#include <memory>

namespace {

using namespace Vrenn;

// The renderer, the scene as vertex buffers, its transfer textures and the lightmap
// materials, made on first use.
struct Scene {
    std::shared_ptr<SDLWindow> window;
    std::shared_ptr<GLRenderer> renderer;
    std::shared_ptr<Model> model;
    std::array<std::shared_ptr<Texture>, 3> transfer;
    CompressedTransfer compressed;
    std::unique_ptr<MaterialMgr> materials;
    bool ready = false;

    Scene() {
        window = std::make_shared<SDLWindow>("Application", "bench_lightmaps");
        window->setHidden(true);
        renderer = std::make_shared<GLRenderer>();
        if (!window->create(false, 1, 32, 24, 8, 0) || !renderer->Initialize(window)) return;

        CodecMgr codecs; // for the transfer files and the textures the scripts name
        registerStandardCodecs(codecs);
        std::shared_ptr<Model> built;
        std::array<std::shared_ptr<Image>, 3> files;
        const char* run = std::getenv("VRENN_BENCH_RUN");
        if (run ? !loadRun(run, built, files) : !bakeDemoScene(built, files)) return;
        for (int f = 0; f < 3; ++f)
            transfer[size_t(f)] =
                renderer->textureManager()->createTexture(kTransferFileNames[f], files[size_t(f)]);
        // The run folder's own compressed transfer when it has one; else the defaults'.
        std::string why;
        if (!run || !loadCompressedTransfer(run, compressed, why)) {
            int32_t width = 0, height = 0;
            std::vector<float> vectors;
            CompressStats stats;
            if (!transferVectors(files, width, height, vectors, why) ||
                !compressTransfer(vectors, width, height, CompressOptions{}, compressed, stats,
                                  why)) {
                std::fprintf(stderr, "bench_lightmaps: cannot compress the transfer: %s\n",
                             why.c_str());
                return;
            }
        }

        model = std::make_shared<Model>();
        auto& buffers = *renderer->vertexBufferMgr();
        for (const auto& surface : built->surfaces()) {
            const Mesh& mesh = *surface->mesh();
            auto buffer = buffers.createVertexBuffer();
            for (uint32_t s = 0; s < mesh.streamCount(); ++s) {
                std::vector<VertexElement> elements;
                for (const VertexElement& e : mesh.elements())
                    if (e.stream == s) elements.push_back(e);
                buffer->addStream(mesh.streamData(s), mesh.vertexCount(), mesh.strides()[s],
                                  elements);
            }
            buffer->setIndices(mesh.indices().data(), uint32_t(mesh.indices().size()));
            buffer->setPrimitiveType(mesh.primitiveType());
            if (!buffers.upload(buffer)) return;
            auto copy = std::make_shared<Surface>();
            copy->setMesh(buffer);
            model->addSurface(copy);
        }

        materials =
            std::make_unique<MaterialMgr>(renderer->shaderMgr(), renderer->textureManager());
        const auto cwd = std::filesystem::current_path();
        std::filesystem::current_path(VRENN_DATA_DIR);
        ready = materials->loadScript("materials/materials.mtr") &&
                materials->loadScript("materials/render_lm30.mtr");
        std::filesystem::current_path(cwd);
    }

    // The demo scene baked with few rays (the passes' cost does not depend on the transfer
    // values), laid out as a loaded model is: the normal and the tangent frame in streams of
    // their own, so that the atlas coordinates land in stream 3.
    static bool bakeDemoScene(std::shared_ptr<Model>& built,
                              std::array<std::shared_ptr<Image>, 3>& files) {
        built = DemoSceneBuilder().build();
        for (const auto& surface : built->surfaces())
            surface->mesh()->computeTangentFrame();
        PolyPack pack(4, 3, 4);
        for (const auto& surface : built->surfaces())
            pack.addSurface(surface->mesh(), true, true);
        if (!pack.packAtlas(32, 32, kTransferPlaneCount, kTransferFormat, 1, 4.0f) ||
            !pack.buildTree())
            return false;
        SHTextureBuilder builder(4, 8192.0f, pack);
        if (!builder.generateSamples() || !pack.bake(builder)) return false;
        for (int f = 0; f < 3; ++f) {
            files[size_t(f)] = std::make_shared<Image>();
            if (!transferFileImage(*pack.bakeImage(), f, *files[size_t(f)])) return false;
        }
        return true;
    }

    // A baked run folder's model (models/saved.vmsh) and transfer files.
    static bool loadRun(const std::string& run, std::shared_ptr<Model>& built,
                        std::array<std::shared_ptr<Image>, 3>& files) {
        const auto cwd = std::filesystem::current_path();
        std::filesystem::current_path(run);
        bool loaded = false;
        {
            FileSystem fileSystem;
            loaded = ModelLoaderFactory::createDefault()->load(kSavedModelName, built, false);
            for (int f = 0; f < 3 && loaded; ++f)
                loaded = (files[size_t(f)] = loadImage(kTransferFileNames[f])) != nullptr;
        }
        std::filesystem::current_path(cwd);
        if (!loaded) std::fprintf(stderr, "bench_lightmaps: cannot load %s\n", run.c_str());
        return loaded;
    }

    static Scene& get() {
        static Scene scene;
        return scene;
    }
};

void lightmapPasses(benchmark::State& state, LightmapPath path) {
    Scene& scene = Scene::get();
    LightmapPasses passes;
    if (!scene.ready ||
        !(path == LightmapPath::Compressed
              ? passes.createCompressed(*scene.renderer, *scene.materials, scene.compressed, 4.0f)
              : passes.create(*scene.renderer, *scene.materials, scene.transfer, 4.0f, path))) {
        state.SkipWithError("no GL device, scene or lightmap materials");
        return;
    }
    PrtLighting lighting;
    GLuint query = 0;
    glGenQueries(1, &query);
    double gpuSeconds = 0.0, wallSeconds = 0.0;
    float angle = 0.0f;
    for (auto _ : state) {
        lighting.update(angle, 0.5f, {});
        angle += 0.01f;
        // The device is drained before and after, so the frame's wall time is the passes'
        // time on a software rasteriser, which draws only when flushed. Its timer queries
        // see part of a flushed batch only; a hardware device's are the GPU time.
        glFinish();
        const auto start = std::chrono::steady_clock::now();
        glBeginQuery(GL_TIME_ELAPSED, query);
        passes.render(*scene.renderer, lighting, *scene.model);
        glEndQuery(GL_TIME_ELAPSED);
        glFinish();
        wallSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        GLuint64 nanoseconds = 0;
        glGetQueryObjectui64v(query, GL_QUERY_RESULT, &nanoseconds);
        gpuSeconds += double(nanoseconds) * 1e-9;
    }
    glDeleteQueries(1, &query);
    state.counters["gpu_ms"] = benchmark::Counter(gpuSeconds * 1e3 / double(state.iterations()));
    state.counters["wall_ms"] = benchmark::Counter(wallSeconds * 1e3 / double(state.iterations()));
    state.counters["texels"] = double(passes.width()) * double(passes.height());
}

BENCHMARK_CAPTURE(lightmapPasses, one_pass, LightmapPath::OnePass)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(lightmapPasses, three_passes, LightmapPath::ThreePass)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(lightmapPasses, compressed, LightmapPath::Compressed)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace
