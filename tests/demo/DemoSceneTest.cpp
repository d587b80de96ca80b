// The demo's start-up, fall-backs, user probes (against `vrenn lightmaps`), bake, resizing and
// lightmap redraws.

#include "config/CVar.h"
#include "demo/DemoRunFolder.h"
#include "fs/Image.h"
#include "platform/SDLWindow.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
#include "render/RenderTarget.h"
#include "render/RenderTargetMgr.h"
#include "render/Renderer.h"
#include "render/gl/GLRenderer.h"
#include "scene/Camera.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/SceneMgr.h"
#include "support/RenderTestSupport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

using Vrenn::Test::Settings;
using Vrenn::Test::StartedDemo;

int32_t width(const StartedDemo& demo, const std::string& target) {
    const auto found = demo.app->renderer()->renderTargetMgr()->find(target);
    return found ? found->width() : -1;
}

const Material& material(const StartedDemo& demo, const std::string& name) {
    return *demo.app->scene()->materialMgr()->getMaterial(name);
}

template <class T>
T valueOf(const std::vector<Material::Value<T>>& values, const std::string& name) {
    const auto it =
        std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.name == name; });
    EXPECT_NE(it, values.end()) << name;
    return it == values.end() ? T{} : it->value;
}

// The back buffer after one frame.
std::vector<uint8_t> frame(StartedDemo& demo) {
    EXPECT_TRUE(demo.app->RunFrame());
    std::vector<uint8_t> rgba;
    EXPECT_TRUE(dynamic_cast<GLRenderer&>(*demo.app->renderer()).readBackBuffer(rgba));
    return rgba;
}

// Whether the RGBA pixel at byte i differs between two frames in red and green by over 24.
bool changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t i) {
    return std::abs(int(a[i]) - int(b[i])) + std::abs(int(a[i + 1]) - int(b[i + 1])) > 24;
}

TEST(DemoScene, SetUpCreatesEveryTargetInOrderAndPassesTheSceneLuminanceOn) {
    for (const auto& [size, reduction] : {std::pair{"256", 64}, std::pair{"512", 128}}) {
        StartedDemo demo({{"max_scene_lum", "2"}, {"r_rtsize", size}, {"r_maxframes", "1"}});
        ASSERT_TRUE(demo.started);
        std::vector<std::string> expected = {"=========== Creating Render Targets ============"};
        for (const char* name :
             {"rt_lightmap0", "rt_lightmap1", "rt_lightmap2", "rt_fp16hdr", "rt_int16",
              "rt_downsample0", "rt_downsample1", "rt_downsample2", "rt_downsample3",
              "rt_exposure0", "rt_exposure1", "rt_blurh", "rt_blurv"})
            expected.push_back(std::string("\t") + name + " Creation: Success");
        expected.push_back("========================================================");
        EXPECT_EQ(Vrenn::Test::firstMissing(demo.log(), expected), "");
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(width(demo, "rt_downsample" + std::to_string(k)), reduction >> (2 * k));
        // The scene's largest luminance reaches the lightmap pass and the lighting.
        const Vector4 maxValue = valueOf(material(demo, "render_lightmaps").vectors(), "maxValue");
        EXPECT_EQ(std::vector<float>({maxValue.x, maxValue.y, maxValue.z, maxValue.w}),
                  std::vector<float>({2.0f, 2.0f, 2.0f, 0.5f}));
        EXPECT_EQ(valueOf(material(demo, "prt_lighting").floats(), "maxRange"), 2.0f);
        EXPECT_TRUE(demo.app->hdr());
        EXPECT_EQ(demo.app->missing(), "");
        EXPECT_TRUE(demo.app->RunFrame());
    }
}

// Runs `vrenn lightmaps` at sky angle 1.25 and the given blend on the current run folder; the
// lightmaps' bytes (lightmap0 to lightmap2, one after another), empty when it fails.
std::vector<uint8_t> toolLightmaps(const std::string& blend) {
    const std::string command = std::string("SDL_VIDEODRIVER=offscreen '") + VRENN_TOOL +
                                "' lightmaps . --angle 1.25 --blend " + blend +
                                " --out tool >/dev/null 2>&1";
    std::vector<uint8_t> bytes;
    if (std::system(command.c_str()) != 0) return bytes;
    for (int k = 0; k < 3; ++k) {
        const auto image = loadImage("tool/lightmap" + std::to_string(k) + ".dds");
        if (!image || image->format() != FORMAT_RGBA8) return {};
        bytes.insert(bytes.end(), image->data(), image->data() + image->byteCount());
    }
    return bytes;
}

// The largest difference between two equally long byte runs; 256 when their lengths differ.
int maxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty()) return 256;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

// A usable user probe lights its slot under its own sky and is named on the panel; one without
// its sky leaves the slot's built-in probe and sky, with a log line and a line on the panel.
// Faded to the user's probe at a still sky angle, the program's lightmaps are the ones
// `vrenn lightmaps` draws for the folder.
TEST(DemoScene, UserProbesLightTheirSlotAndUnusableOnesFallBackToTheBuiltInProbe) {
    SHCoeffs mine; // unlike either built-in probe: probe 1 with its colours turned round
    mine.red = lightProbes()[1].blue;
    mine.green = lightProbes()[1].red;
    mine.blue = lightProbes()[1].green;
    StartedDemo demo({{"probe0", "probes/nosky.sh"},
                      {"probe1", "probes/mine.sh"},
                      {"sky_angle", "1.25"},
                      {"sky_rotate", "0"},
                      {"r_fixedstep", "0.5"}},
                     true,
                     {{"probes/nosky.sh", formatProbeCoefficients(mine)},
                      {"probes/mine.sh", formatProbeCoefficients(mine)},
                      {"textures/sky/mine.dds",
                       Vrenn::Test::readBytes(VRENN_DATA_DIR "/textures/sky/builtin0.dds")}});
    ASSERT_TRUE(demo.started);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(demo.app->lighting().probes()[0].channel(c), lightProbes()[0].channel(c));
        EXPECT_EQ(demo.app->lighting().probes()[1].channel(c), mine.channel(c));
    }
    for (const auto& [slot, name] :
         {std::pair{0, "textures/sky/builtin0.dds"}, std::pair{1, "textures/sky/mine.dds"}}) {
        const auto sky =
            valueOf(material(demo, "sky").textures(), "skyCube" + std::to_string(slot));
        EXPECT_EQ(sky ? sky->name() : "", name);
    }
    EXPECT_NE(demo.log().find("Demo: probe0 \"probes/nosky.sh\" cannot be used (its sky "
                              "textures/sky/nosky.dds is not there); slot 0 keeps the built-in "
                              "probe rnl and its sky\n"),
              std::string::npos);
    EXPECT_EQ(demo.app->helpPanelState().probeName, "rnl");
    EXPECT_EQ(demo.app->helpPanelState().probeFallbacks,
              (std::array<std::string_view, 2>{"probes/nosky.sh", ""}));
    demo.focus();
    ASSERT_TRUE(demo.tap(SDL_SCANCODE_C));
    EXPECT_EQ(demo.app->helpPanelState().probeName, "mine.sh");
    ASSERT_TRUE(demo.frames(3)); // the fade ends (two seconds), the sky stands still
    EXPECT_EQ(demo.app->crossFade().blend(), 1.0f);
    EXPECT_FLOAT_EQ(demo.app->skyAngle(), 1.25f);
    std::vector<uint8_t> program;
    for (const auto& lightmap : demo.app->lightmapPasses()->lightmaps())
        for (const float value : Vrenn::Test::readTarget(lightmap))
            program.push_back(uint8_t(std::lround(value * 255.0f)));
    const auto tool = toolLightmaps("1");
    EXPECT_LE(maxDifference(program, tool), 1);
    // The built-in probe lights differently: the user's probe is what made them match.
    std::string config = demo.run.dir.read("default.cfg");
    config.replace(config.find("probe1 \"probes/mine.sh\""), 23, "probe1 \"\"");
    demo.run.dir.write("default.cfg", config);
    EXPECT_GT(maxDifference(toolLightmaps("1"), tool), 8);
}

// Without its bake, or with refused lighting, the model is still drawn in neutral light and
// the panel gives the log's reason. max_env_lum 0 turns HDR off (no exposure to settle); the
// view without a model shows what the model covers.
TEST(DemoScene, RefusedLightingStillDrawsTheModelAndThePanelSaysWhy) {
    const auto plain = [](const char* sceneLum) {
        return Settings{{"max_env_lum", "0"}, {"max_scene_lum", sceneLum}, {"r_fixedstep", "0.01"}};
    };
    std::vector<uint8_t> skyOnly;
    {
        Settings noModel = plain("4");
        noModel["model"] = "models/none.vmsh";
        StartedDemo demo(noModel);
        ASSERT_TRUE(demo.started);
        skyOnly = frame(demo);
    }
    const std::string flat = Vrenn::Test::readBytes(VRENN_DATA_DIR "/textures/logo.dds");
    const struct {
        Settings settings;
        bool baked;
        Settings files;
        std::string reason;
    } cases[] = {
        {plain("0"), true, {}, "max_scene_lum \"0\" is not a number above 0"},
        {plain("nan"), true, {}, "max_scene_lum \"nan\" is not a number above 0"},
        {plain("4"),
         true,
         {{"shtex1.dds", flat}},
         "shtex1.dds is not 8 slices of four half floats"},
        {plain("4"), false, {}, "shtex0.dds is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        StartedDemo demo(c.settings, c.baked, c.files);
        ASSERT_TRUE(demo.started);
        EXPECT_FALSE(demo.app->hdr());
        EXPECT_EQ(demo.app->missing(), c.reason);
        EXPECT_EQ(demo.app->helpPanelState().missing, c.reason);
        const std::string log = demo.log();
        EXPECT_NE(log.find("Demo: the scene is drawn without lighting: " + c.reason + "\n"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("max_env_lum"), std::string::npos);
        const std::vector<uint8_t> drawn = frame(demo);
        ASSERT_EQ(drawn.size(), skyOnly.size());
        if (!c.baked) continue; // and so without a model to draw
        // The floor and a column, lit (not black): a few percent of the frame.
        size_t covered = 0;
        for (size_t i = 0; i < drawn.size(); i += 4)
            covered += changed(drawn, skyOnly, i) && drawn[i] + drawn[i + 1] + drawn[i + 2] > 90;
        EXPECT_GT(covered, drawn.size() / 4 / 50) << "the model is not drawn";
    }
}

// With "makebsp" the program bakes at start-up; a refused bake is named on the panel.
TEST(DemoScene, MakeBspBakesAtStartUpAndWritesTheFiles) {
    for (const char* rays : {"4", "lots"}) {
        StartedDemo demo({{"makebsp", "1"}, {"num_rays", rays}, {"model", "models/scene.vmsh"}},
                         /*baked=*/false);
        ASSERT_TRUE(demo.started);
        EXPECT_TRUE(demo.app->RunFrame());
        EXPECT_EQ(demo.log().find("Creating Render Targets"), std::string::npos);
        if (rays == std::string("lots")) {
            EXPECT_NE(demo.app->missing().find("PRT bake failed: num_rays \"lots\""),
                      std::string::npos)
                << demo.app->missing();
            continue;
        }
        for (const char* name : {"shtex0.dds", "shtex1.dds", "shtex2.dds", "models/saved.vmsh"})
            EXPECT_TRUE(std::filesystem::exists(demo.run.dir.path() / name)) << name;
        EXPECT_NE(demo.log().find("PRT bake: 257588 of 257588 texels (100%)"), std::string::npos);
    }
}

// A still sky keeps the lightmaps; a turn of the sky or new targets draw them again. After a
// resize from outside, the back buffer, the HDR target, the camera's aspect and the screenshots
// have the new size, and the logo keeps its shape inside the frame.
TEST(DemoScene, LightmapsAreRedrawnWhenTheLightChangesAndTheFrameFollowsTheWindow) {
    StartedDemo demo(Settings{{"r_fixedstep", "0.05"}});
    ASSERT_TRUE(demo.started);
    ASSERT_EQ(demo.app->missing(), "");
    const auto window = std::dynamic_pointer_cast<SDLWindow>(demo.app->window());
    ASSERT_TRUE(window);
    const auto& backBuffer = demo.app->renderer()->primaryTarget();
    EXPECT_EQ(backBuffer->width(), 640);
    EXPECT_FLOAT_EQ(demo.app->camera()->aspect(), 1.33333302f);
    const auto& refresh = demo.app->lightmapRefresh();
    const auto counts = [&] { return std::pair(refresh.draws(), refresh.skips()); };
    demo.app->setAutoSkyRotate(false);
    ASSERT_TRUE(demo.frames(4));
    EXPECT_EQ(counts(), (std::pair<uint64_t, uint64_t>(1, 3)));

    // A texel the model covers, read while the sky stands still.
    const auto lightmap = demo.app->lightmapPasses()->lightmaps()[0];
    const auto texel = [&](size_t at) {
        const auto texels = Vrenn::Test::readTarget(lightmap);
        return std::vector<float>(texels.begin() + long(at), texels.begin() + long(at) + 4);
    };
    size_t at = 0;
    for (const auto texels = Vrenn::Test::readTarget(lightmap); at < texels.size(); at += 4 * 37)
        if (texels[at + 3] == 1.0f && texels[at] > 0.05f) break;
    ASSERT_LT(at, size_t(lightmap->width()) * size_t(lightmap->height()) * 4);
    const auto still = texel(at);

    // The sky turns by itself: every frame draws, and the texel follows the light.
    demo.app->setAutoSkyRotate(true);
    ASSERT_TRUE(demo.frames(10));
    EXPECT_EQ(counts(), (std::pair<uint64_t, uint64_t>(11, 3)));
    const auto turned = texel(at);
    EXPECT_NE(turned, still);

    // Still again: the lightmaps keep the last turn's light, frame after frame.
    demo.app->setAutoSkyRotate(false);
    ASSERT_TRUE(demo.frames(3));
    EXPECT_EQ(refresh.draws(), 11u);
    EXPECT_EQ(texel(at), turned);

    int shots = 0;
    for (const auto& [w, h] : {std::pair{900, 400}, std::pair{320, 480}}) {
        SDL_SetWindowSize(window->handle(), w, h);
        ASSERT_TRUE(demo.app->RunFrame());
        // New targets: the lightmaps are drawn once more.
        EXPECT_EQ(refresh.draws(), 12u + uint64_t(shots));
        EXPECT_EQ(std::vector<int>({backBuffer->width(), backBuffer->height(), window->width(),
                                    width(demo, "rt_fp16hdr")}),
                  std::vector<int>({w, h, w, w}));
        EXPECT_TRUE(demo.app->hdr());
        EXPECT_FLOAT_EQ(demo.app->camera()->aspect(), float(w) / float(h));
        ASSERT_TRUE(demo.app->renderer()->takeScreenShot());
        const auto shot = loadImage("shot000" + std::to_string(shots++) + ".jpg");
        ASSERT_TRUE(shot && shot->data());
        EXPECT_EQ(std::pair(shot->width(), shot->height()), std::pair(w, h));
    }
    // H turns HDR off (the exposure would otherwise adapt from frame to frame).
    demo.focus();
    ASSERT_TRUE(demo.tap(SDL_SCANCODE_H));
    ASSERT_FALSE(demo.app->hdr());
    // With HDR off and the sky still, frames with and without the logo differ in its box.
    const auto logoBox = [&](int32_t w, int32_t h) {
        SDL_SetWindowSize(window->handle(), w, h);
        demo.app->cvars()->SetInt("r_drawlogo", 1);
        const auto with = frame(demo);
        demo.app->cvars()->SetInt("r_drawlogo", 0);
        const auto without = frame(demo);
        std::array<int32_t, 4> box{w, h, -1, -1}; // left, top, right, bottom
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const size_t i = (size_t(y) * size_t(w) + size_t(x)) * 4;
                if (!changed(with, without, i)) continue;
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                       std::max(box[3], y)};
            }
        EXPECT_GT(box[2], box[0]);
        return box;
    };
    const auto classic = logoBox(640, 480);
    const auto wide = logoBox(1000, 400);
    // Inside the frame, right edge at 0.96 of the width, bottom above the frame's.
    EXPECT_LE(wide[2], 0.96 * 1000 + 1);
    EXPECT_GT(wide[2], 0.9 * 1000);
    EXPECT_LT(wide[3], 400 - 1);
    // The same shape in pixels: width over height alike at both sizes.
    const double classicShape = double(classic[2] - classic[0]) / double(classic[3] - classic[1]);
    EXPECT_NEAR(double(wide[2] - wide[0]) / double(wide[3] - wide[1]), classicShape,
                0.1 * classicShape);

    // An unchanged size makes nothing anew.
    const auto scene = demo.app->renderer()->renderTargetMgr()->find("rt_fp16hdr");
    ASSERT_TRUE(demo.app->RunFrame());
    EXPECT_EQ(demo.app->renderer()->renderTargetMgr()->find("rt_fp16hdr"), scene);
}

} // namespace
} // namespace Vrenn
