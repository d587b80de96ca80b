// The demo's start-up: the targets and parameters it makes, what it does without its baked
// files or with a bad exposure range, and the bake inside the program.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "demo/DemoRunFolder.h"
#include "render/RenderTarget.h"
#include "render/RenderTargetMgr.h"
#include "render/Renderer.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

namespace stdfs = std::filesystem;
using Test::DemoRunFolder;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        out.push_back(text.substr(start, end - start));
    return out;
}

using Settings = std::map<std::string, std::string>;

// A demo started in a run folder and shut down at the end of the test.
struct StartedDemo {
    explicit StartedDemo(const Settings& settings, bool baked = true)
        : run(settings, baked) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        app = std::make_unique<DemoApplication>();
        g_app = app.get();
        started = app->Initialize();
    }
    ~StartedDemo() {
        app.reset();
        g_app = nullptr;
    }
    std::string log() const { return run.dir.read("app.log"); }
    // The width of a target, -1 when there is none.
    int32_t width(const std::string& name) const {
        const auto target = app->renderer()->renderTargetMgr()->find(name);
        return target ? target->width() : -1;
    }
    const Material& material(const std::string& name) const {
        return *app->scene()->materialMgr()->getMaterial(name);
    }

    DemoRunFolder run;
    std::unique_ptr<DemoApplication> app;
    bool started = false;
};

template <class T> T valueOf(const std::vector<Material::Value<T>>& values, const std::string& name) {
    const auto it = std::find_if(values.begin(), values.end(),
                                 [&](const auto& v) { return v.name == name; });
    EXPECT_NE(it, values.end()) << name;
    return it == values.end() ? T{} : it->value;
}

TEST(DemoScene, SetUpCreatesEveryTargetInOrderBetweenTheBanners) {
    StartedDemo demo({{"max_scene_lum", "2"}, {"r_rtsize", "256"}, {"r_maxframes", "1"}});
    ASSERT_TRUE(demo.started);
    const auto log = lines(demo.log());
    std::vector<std::string> expected = {"=========== Creating Render Targets ============"};
    for (const char* name : {"rt_lightmap0", "rt_lightmap1", "rt_lightmap2", "rt_fp16hdr",
                             "rt_int16", "rt_downsample0", "rt_downsample1", "rt_downsample2",
                             "rt_downsample3", "rt_exposure0", "rt_exposure1", "rt_blurh",
                             "rt_blurv"})
        expected.push_back(std::string("\t") + name + " Creation: Success");
    expected.push_back("========================================================");
    // The expected lines appear in this order (other lines may come between them).
    size_t at = 0;
    for (const std::string& line : log)
        if (at < expected.size() && line == expected[at]) ++at;
    EXPECT_EQ(at, expected.size()) << "first missing: " << expected[std::min(at, expected.size() - 1)];

    // The scene's largest luminance reaches the lightmap pass and the lighting.
    const Vector4 maxValue = valueOf(demo.material("render_lightmaps").vectors(), "maxValue");
    EXPECT_EQ(maxValue.x, 2.0f);
    EXPECT_EQ(maxValue.y, 2.0f);
    EXPECT_EQ(maxValue.z, 2.0f);
    EXPECT_EQ(maxValue.w, 0.5f);
    EXPECT_EQ(valueOf(demo.material("prt_lighting").floats(), "maxRange"), 2.0f);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(demo.width("rt_downsample" + std::to_string(k)), 64 >> (2 * k));
    EXPECT_TRUE(demo.app->hdr());
    EXPECT_TRUE(demo.app->missing().empty()) << demo.app->missing();
    EXPECT_TRUE(demo.app->RunFrame());
}

TEST(DemoScene, LargerTargetSizeGivesLargerReductions) {
    StartedDemo demo(Settings{{"r_rtsize", "512"}});
    ASSERT_TRUE(demo.started);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(demo.width("rt_downsample" + std::to_string(k)), 128 >> (2 * k));
}

// Faults of the run folder leave a running demo with fewer features, never a broken one.
TEST(DemoScene, NoExposureRangeRunsWithoutHdrAndNoBakeRunsWithoutLighting) {
    {
        StartedDemo demo(Settings{{"max_env_lum", "0"}});
        ASSERT_TRUE(demo.started);
        EXPECT_FALSE(demo.app->hdr());
        EXPECT_NE(demo.log().find("max_env_lum"), std::string::npos);
        EXPECT_TRUE(demo.app->RunFrame());
    }
    {
        StartedDemo demo(Settings{}, /*baked=*/false);
        ASSERT_TRUE(demo.started);
        EXPECT_EQ(demo.app->missing(), "shtex0.dds is missing");
        EXPECT_NE(demo.log().find("drawn without lighting: shtex0.dds is missing"),
                  std::string::npos);
        EXPECT_TRUE(demo.app->RunFrame());
        EXPECT_TRUE(demo.app->RunFrame());
    }
}

// With "makebsp" the program bakes its model at start-up and shows the tree.
TEST(DemoScene, MakeBspBakesAtStartUpAndWritesTheFiles) {
    StartedDemo demo({{"makebsp", "1"}, {"num_rays", "4"}, {"model", "models/scene.vmsh"}},
                     /*baked=*/false);
    ASSERT_TRUE(demo.started);
    for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
        EXPECT_TRUE(stdfs::exists(demo.run.dir.path() / name)) << name;
    const std::string log = demo.log();
    EXPECT_NE(log.find("PRT bake: 257588 of 257588 texels (100%)"), std::string::npos);
    EXPECT_EQ(log.find("Creating Render Targets"), std::string::npos);
    EXPECT_TRUE(demo.app->RunFrame());
}

} // namespace
} // namespace Vrenn
