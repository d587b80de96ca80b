// The demo's start-up: the targets and parameters it makes, what it does without its baked
// files or with a bad exposure range, and the bake inside the program.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "demo/DemoRunFolder.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "render/RenderTarget.h"
#include "render/RenderTargetMgr.h"
#include "render/Renderer.h"
#include "render/Texture.h"
#include "render/gl/GLRenderer.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vector>

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
// Files (name in the run folder, contents) written into the run folder before the start.
using Files = std::map<std::string, std::string>;

// A demo started in a run folder and shut down at the end of the test.
struct StartedDemo {
    explicit StartedDemo(const Settings& settings, bool baked = true, const Files& files = {})
        : run(settings, baked) {
        for (const auto& [name, contents] : files)
            run.dir.write(name, contents);
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

template <class T>
T valueOf(const std::vector<Material::Value<T>>& values, const std::string& name) {
    const auto it =
        std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.name == name; });
    EXPECT_NE(it, values.end()) << name;
    return it == values.end() ? T{} : it->value;
}

TEST(DemoScene, SetUpCreatesEveryTargetInOrderBetweenTheBanners) {
    StartedDemo demo({{"max_scene_lum", "2"}, {"r_rtsize", "256"}, {"r_maxframes", "1"}});
    ASSERT_TRUE(demo.started);
    const auto log = lines(demo.log());
    std::vector<std::string> expected = {"=========== Creating Render Targets ============"};
    for (const char* name :
         {"rt_lightmap0", "rt_lightmap1", "rt_lightmap2", "rt_fp16hdr", "rt_int16",
          "rt_downsample0", "rt_downsample1", "rt_downsample2", "rt_downsample3", "rt_exposure0",
          "rt_exposure1", "rt_blurh", "rt_blurv"})
        expected.push_back(std::string("\t") + name + " Creation: Success");
    expected.push_back("========================================================");
    // The expected lines appear in this order (other lines may come between them).
    size_t at = 0;
    for (const std::string& line : log)
        if (at < expected.size() && line == expected[at]) ++at;
    EXPECT_EQ(at, expected.size())
        << "first missing: " << expected[std::min(at, expected.size() - 1)];

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

std::string skyTextureName(const StartedDemo& demo, int slot) {
    const auto texture = valueOf(demo.material("sky").textures(), "skyCube" + std::to_string(slot));
    return texture ? texture->name() : "";
}

void expectProbe(const SHCoeffs& actual, const SHCoeffs& expected, int slot) {
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(actual.channel(c), expected.channel(c)) << "slot " << slot << " channel " << c;
}

// "probe0" and "probe1" name user probe files: a usable one lights its slot under its own
// sky and is named on the help panel; an unusable one (damaged, missing, or without its sky)
// leaves that slot's built-in probe and sky, with one log line and a line on the panel.
TEST(DemoScene, UserProbesLightTheirSlotAndUnusableOnesFallBackToTheBuiltInProbe) {
    SHCoeffs mine; // a plain, strong constant light, unlike either built-in probe
    mine.red[0] = 40.0f;
    mine.green[0] = 20.0f;
    mine.blue[0] = 10.0f;
    std::ifstream skyFile(std::string(VRENN_DATA_DIR) + "/textures/sky/builtin1.dds",
                          std::ios::binary);
    const std::string sky((std::istreambuf_iterator<char>(skyFile)),
                          std::istreambuf_iterator<char>());
    ASSERT_FALSE(sky.empty());
    {
        StartedDemo demo({{"probe0", "probes/mine.sh"}, {"probe1", "probes/bad.sh"}}, true,
                         {{"probes/mine.sh", formatProbeCoefficients(mine)},
                          {"textures/sky/mine.dds", sky},
                          {"probes/bad.sh", "1 2 3\n"},
                          {"textures/sky/bad.dds", sky}});
        ASSERT_TRUE(demo.started);
        expectProbe(demo.app->lighting().probes()[0], mine, 0);
        expectProbe(demo.app->lighting().probes()[1], lightProbes()[1], 1);
        EXPECT_EQ(skyTextureName(demo, 0), "textures/sky/mine.dds");
        EXPECT_EQ(skyTextureName(demo, 1), "textures/sky/builtin1.dds");
        const HelpPanelState panel = demo.app->helpPanelState();
        EXPECT_EQ(panel.probeName, "mine.sh");
        EXPECT_EQ(panel.probeFallbacks[0], "");
        EXPECT_EQ(panel.probeFallbacks[1], "probes/bad.sh");
        EXPECT_NE(demo.log().find("Demo: probe1 \"probes/bad.sh\" cannot be used (line 1 has 3 "
                                  "numbers, not 25); slot 1 keeps the built-in probe stpeters "
                                  "and its sky\n"),
                  std::string::npos);
        // The frame's lighting comes from the user's table: its constant term survives the
        // sky's turn unchanged.
        EXPECT_TRUE(demo.app->RunFrame());
        EXPECT_NEAR(demo.app->lighting().lighting().red[0], 40.0f, 1e-4f);
    }
    {
        StartedDemo demo({{"probe0", "probes/nosky.sh"}, {"probe1", "probes/absent.sh"}}, true,
                         {{"probes/nosky.sh", formatProbeCoefficients(mine)}});
        ASSERT_TRUE(demo.started);
        expectProbe(demo.app->lighting().probes()[0], lightProbes()[0], 0);
        expectProbe(demo.app->lighting().probes()[1], lightProbes()[1], 1);
        EXPECT_EQ(skyTextureName(demo, 0), "textures/sky/builtin0.dds");
        const std::string log = demo.log();
        EXPECT_NE(log.find("Demo: probe0 \"probes/nosky.sh\" cannot be used (its sky "
                           "textures/sky/nosky.dds is not there); slot 0 keeps the built-in "
                           "probe rnl and its sky\n"),
                  std::string::npos);
        EXPECT_NE(log.find("Demo: probe1 \"probes/absent.sh\" cannot be used (the file is not "
                           "there)"),
                  std::string::npos);
        const HelpPanelState panel = demo.app->helpPanelState();
        EXPECT_EQ(panel.probeName, "rnl");
        EXPECT_EQ(panel.probeFallbacks[0], "probes/nosky.sh");
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

// The back buffer after one frame.
std::vector<uint8_t> frame(StartedDemo& demo) {
    EXPECT_TRUE(demo.app->RunFrame());
    std::vector<uint8_t> rgba;
    EXPECT_TRUE(dynamic_cast<GLRenderer&>(*demo.app->renderer()).readBackBuffer(rgba));
    return rgba;
}

// Lighting the lightmap passes refuse leaves the model drawn in neutral light, and the help
// panel gives the log's reason; a start-up bake that is refused is named on the panel too.
TEST(DemoScene, RefusedLightingStillDrawsTheModelAndThePanelSaysWhy) {
    // Without the HDR chain the frame goes straight to the back buffer: no exposure to
    // settle. The same view without a model shows what the model covers.
    const Settings plain{{"max_env_lum", "0"}, {"max_scene_lum", "0"}, {"r_fixedstep", "0.01"}};
    std::vector<uint8_t> skyOnly;
    {
        Settings noModel = plain;
        noModel["model"] = "models/none.vmsh";
        StartedDemo demo(noModel);
        ASSERT_TRUE(demo.started);
        skyOnly = frame(demo);
    }
    std::ifstream logoFile(std::string(VRENN_DATA_DIR) + "/textures/logo.dds", std::ios::binary);
    const std::string flat((std::istreambuf_iterator<char>(logoFile)),
                           std::istreambuf_iterator<char>());
    struct Case {
        const char* what;
        Settings settings;
        Files files;
        std::string reason;
    };
    const Case cases[] = {
        {"max_scene_lum 0", plain, {}, "max_scene_lum \"0\" is not a number above 0"},
        {"max_scene_lum nan",
         {{"max_env_lum", "0"}, {"max_scene_lum", "nan"}, {"r_fixedstep", "0.01"}},
         {},
         "max_scene_lum \"nan\" is not a number above 0"},
        {"transfer of another shape",
         {{"max_env_lum", "0"}, {"max_scene_lum", "4"}, {"r_fixedstep", "0.01"}},
         {{"shtex1.dds", flat}},
         "shtex1.dds is not 8 slices of four half floats"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartedDemo demo(c.settings, true, c.files);
        ASSERT_TRUE(demo.started);
        EXPECT_EQ(demo.app->missing(), c.reason);
        EXPECT_NE(demo.log().find("Demo: the scene is drawn without lighting: " + c.reason + "\n"),
                  std::string::npos)
            << demo.log();
        EXPECT_EQ(demo.app->helpPanelState().missing, c.reason);
        const std::vector<uint8_t> drawn = frame(demo);
        ASSERT_EQ(drawn.size(), skyOnly.size());
        size_t changed = 0;
        for (size_t i = 0; i < drawn.size(); i += 4)
            changed += std::abs(int(drawn[i]) - int(skyOnly[i])) +
                           std::abs(int(drawn[i + 1]) - int(skyOnly[i + 1])) >
                       24;
        // The floor and a column come into this view: a few percent of the frame.
        EXPECT_GT(changed, drawn.size() / 4 / 50) << "the model is not drawn";
    }

    StartedDemo refused({{"makebsp", "1"}, {"num_rays", "lots"}, {"model", "models/scene.vmsh"}},
                        /*baked=*/false);
    ASSERT_TRUE(refused.started);
    EXPECT_NE(refused.app->missing().find("PRT bake failed: num_rays \"lots\""), std::string::npos)
        << refused.app->missing();
    EXPECT_TRUE(refused.app->RunFrame());
}

} // namespace
} // namespace Vrenn
