// The demo's start-up: the targets and parameters it makes, what it does without its baked
// files or with a bad exposure range, and the bake inside the program.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "demo/DemoRunFolder.h"
#include "fs/Image.h"
#include "platform/SDLWindow.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "render/RenderTarget.h"
#include "render/RenderTargetMgr.h"
#include "render/Renderer.h"
#include "render/Texture.h"
#include "render/gl/GLRenderTexture.h"
#include "render/gl/GLRenderer.h"
#include "render/gl/GLTexture.h"
#include "scene/Camera.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"
#include "support/GLTestContext.h"
#include "support/SdlEvents.h"

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

GLRenderer& glRenderer(const StartedDemo& demo) {
    return dynamic_cast<GLRenderer&>(*demo.app->renderer());
}

// One texel of a render target as RGBA floats.
std::array<float, 4> texel(const std::shared_ptr<RenderTarget>& target, int32_t x, int32_t y) {
    const auto texture = std::dynamic_pointer_cast<GLRenderTexture>(target);
    if (!texture) {
        ADD_FAILURE() << "not a render texture";
        return {};
    }
    const auto texels = Vrenn::Test::readTextureRGBA(texture->texture()->id(), 0, target->width(),
                                                     target->height());
    const size_t at = (size_t(y) * size_t(target->width()) + size_t(x)) * 4;
    return {texels[at], texels[at + 1], texels[at + 2], texels[at + 3]};
}

// The window resized from outside: from the next frame on the back buffer, the HDR scene
// target, the camera's aspect and the screenshots have the new size, and the logo keeps its
// shape inside the frame.
TEST(DemoScene, FrameFollowsTheDrawableSizeOfTheWindow) {
    StartedDemo demo(Settings{{"r_fixedstep", "0.05"}});
    ASSERT_TRUE(demo.started);
    ASSERT_TRUE(demo.app->RunFrame());
    const auto window = std::dynamic_pointer_cast<SDLWindow>(demo.app->window());
    ASSERT_TRUE(window);
    const auto& backBuffer = demo.app->renderer()->primaryTarget();
    EXPECT_EQ(backBuffer->width(), 640);
    EXPECT_FLOAT_EQ(demo.app->camera()->aspect(), 1.33333302f);

    int shots = 0;
    for (const auto& [w, h] : {std::pair{900, 400}, std::pair{320, 480}}) {
        SDL_SetWindowSize(window->handle(), w, h);
        ASSERT_TRUE(demo.app->RunFrame());
        EXPECT_EQ(backBuffer->width(), w);
        EXPECT_EQ(backBuffer->height(), h);
        EXPECT_EQ(window->width(), w);
        EXPECT_EQ(demo.width("rt_fp16hdr"), w);
        EXPECT_TRUE(demo.app->hdr());
        EXPECT_FLOAT_EQ(demo.app->camera()->aspect(), float(w) / float(h));
        // The frame drawn at the new size reaches the screenshot whole.
        ASSERT_TRUE(demo.app->renderer()->takeScreenShot());
        const auto shot = loadImage("shot000" + std::to_string(shots++) + ".jpg");
        ASSERT_TRUE(shot && shot->data());
        EXPECT_EQ(shot->width(), w);
        EXPECT_EQ(shot->height(), h);
    }
    // The logo keeps its shape and stays inside the frame: with HDR off and the sky still,
    // a frame with the logo differs from one without only in the logo's box.
    demo.app->setAutoSkyRotate(false);
    const auto logoBox = [&](int32_t w, int32_t h) {
        SDL_SetWindowSize(window->handle(), w, h);
        std::vector<uint8_t> with, without;
        demo.app->cvars()->SetInt("r_drawlogo", 1);
        EXPECT_TRUE(demo.app->RunFrame());
        EXPECT_TRUE(glRenderer(demo).readBackBuffer(with));
        demo.app->cvars()->SetInt("r_drawlogo", 0);
        EXPECT_TRUE(demo.app->RunFrame());
        EXPECT_TRUE(glRenderer(demo).readBackBuffer(without));
        std::array<int32_t, 4> box{w, h, -1, -1}; // left, top, right, bottom
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 4;
                if (std::abs(int(with[at]) - int(without[at])) +
                        std::abs(int(with[at + 1]) - int(without[at + 1])) <
                    24)
                    continue;
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                       std::max(box[3], y)};
            }
        return box;
    };
    // H turns HDR off (the exposure would otherwise adapt from frame to frame).
    SDL_Event focus{};
    focus.type = SDL_WINDOWEVENT;
    focus.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    Vrenn::Test::pushEvent(focus);
    Vrenn::Test::pushKey(SDL_SCANCODE_H, true);
    ASSERT_TRUE(demo.app->RunFrame());
    Vrenn::Test::pushKey(SDL_SCANCODE_H, false);
    ASSERT_TRUE(demo.app->RunFrame());
    ASSERT_FALSE(demo.app->hdr());
    const auto classic = logoBox(640, 480);
    const auto wide = logoBox(1000, 400);
    ASSERT_GT(classic[2], classic[0]);
    ASSERT_GT(wide[2], wide[0]);
    // Inside the frame, right edge at 0.96 of the width, bottom above the frame's.
    EXPECT_LE(wide[2], 0.96 * 1000 + 1);
    EXPECT_GT(wide[2], 0.9 * 1000);
    EXPECT_LT(wide[3], 400 - 1);
    // The same shape in pixels: width over height alike at both sizes.
    const double classicShape = double(classic[2] - classic[0]) / double(classic[3] - classic[1]);
    const double wideShape = double(wide[2] - wide[0]) / double(wide[3] - wide[1]);
    EXPECT_NEAR(wideShape, classicShape, 0.1 * classicShape);

    // An unchanged size makes nothing anew.
    const auto scene = demo.app->renderer()->renderTargetMgr()->find("rt_fp16hdr");
    ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(demo.app->renderer()->renderTargetMgr()->find("rt_fp16hdr"), scene);
}

// The lightmaps are drawn only when the light changes: a still sky keeps them, and a turn
// of the sky, a cross-fade or new targets draw them again with the new light.
TEST(DemoScene, LightmapsAreRedrawnOnlyWhenTheLightChanges) {
    StartedDemo demo(Settings{{"r_fixedstep", "0.05"}});
    ASSERT_TRUE(demo.started);
    ASSERT_TRUE(demo.app->missing().empty()) << demo.app->missing();
    const auto& refresh = demo.app->lightmapRefresh();
    demo.app->setAutoSkyRotate(false);
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(refresh.draws(), 1u);
    EXPECT_EQ(refresh.skips(), 3u);

    // A texel the model covers, read while the sky stands still.
    const auto lightmap = demo.app->lightmapPasses()->lightmaps()[0];
    int32_t x = 0, y = 0;
    bool found = false;
    for (y = 0; y < lightmap->height() && !found; y += 8)
        for (x = 0; x < lightmap->width() && !found; x += 8)
            found = texel(lightmap, x, y)[3] == 1.0f && texel(lightmap, x, y)[0] > 0.05f;
    ASSERT_TRUE(found);
    x -= 8;
    y -= 8;
    const auto still = texel(lightmap, x, y);

    // The sky turns by itself: every frame draws, and the texel follows the light.
    demo.app->setAutoSkyRotate(true);
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(refresh.draws(), 11u);
    EXPECT_EQ(refresh.skips(), 3u);
    const auto turned = texel(lightmap, x, y);
    EXPECT_NE(turned, still);

    // Still again: the lightmaps keep the last turn's light, frame after frame.
    demo.app->setAutoSkyRotate(false);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(refresh.draws(), 11u);
    EXPECT_EQ(texel(lightmap, x, y), turned);

    // A resize makes targets anew: the next frame draws once.
    const auto window = std::dynamic_pointer_cast<SDLWindow>(demo.app->window());
    SDL_SetWindowSize(window->handle(), 800, 600);
    ASSERT_TRUE(demo.app->RunFrame());
    ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(refresh.draws(), 12u);
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
