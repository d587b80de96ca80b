// The HDR chain on a real GL device with the repository's effects; the numbers of docs/hdr.md.

#include "lighting/HdrChain.h"

#include "LightingTestSupport.h"
#include "render/Effect.h"
#include "render/ShaderMgr.h"
#include "render/gl/GLRenderTexture.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/Overlay.h"
#include "support/GLTestContext.h"
#include "support/RenderTestSupport.h"
#include "support/StubRenderer.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <tuple>

namespace Vrenn {
namespace {

using namespace Test;

// The constants of docs/hdr.md.
constexpr float kKey = 0.18f;
constexpr float kMinExposure = 1.0f / 64.0f;
constexpr float kMaxExposure = 16.0f;
constexpr float kHalfLife = 0.5f;
constexpr float kWhite = 6.0f;
constexpr float kGamma = 2.2f;

float settledExposure(float luminance) {
    return luminance > 0.0f ? std::clamp(kKey / luminance, kMinExposure, kMaxExposure)
                            : kMaxExposure;
}

struct Fixture {
    Fixture() : renderer(GLTestContext::get().renderer()) {
        materials = std::make_unique<MaterialMgr>(renderer.shaderMgr(), renderer.textureManager());
        EXPECT_TRUE(Vrenn::Test::loadDataMaterials(*materials, {"materials/materials.mtr"}));
        fill.setEffect(renderer.shaderMgr()->createEffect(fixture("lighting/hdr_scene.fx")));
        EXPECT_TRUE(fill.effect());
        quad = std::make_unique<Overlay>();
    }

    static Fixture& get() {
        static Fixture fixture;
        return fixture;
    }

    // Draws the scene pass in the constant colour (r, g, b).
    void drawScene(HdrChain& chain, float r, float g, float b) {
        chain.bindSceneTarget(renderer);
        renderer.clear(true, true, false);
        renderer.begin2D();
        fill.setTechnique("Constant");
        fill.setVector("colour", Vector4{r, g, b, 1.0f});
        quad->setMaterial("hdr-test-fill", std::shared_ptr<Material>(&fill, [](Material*) {}));
        quad->addPixelQuad(renderer, -1.0f, -1.0f, 0, 0, 1, 1);
        quad->draw(renderer);
    }
    void drawGrey(HdrChain& chain, float luminance) {
        drawScene(chain, luminance, luminance, luminance);
    }
    // A grey ground with a rectangle of another grey (screen units), then a frame of dt.
    void drawRect(HdrChain& chain, float ground, float value, float x, float y, float w, float h,
                  float dt) {
        drawGrey(chain, ground);
        fill.setVector("colour", Vector4{value, value, value, 1.0f});
        quad->addQuad(x, y, w, h, 0, 0, 1, 1);
        quad->draw(renderer);
        chain.run(renderer, *quad, dt);
    }
    // The latest exposure, read back from its one-texel target.
    float exposure(const HdrChain& chain) const {
        const auto texels =
            Vrenn::Test::readTarget(chain.exposures()[size_t(chain.exposureIndex())]);
        return texels.empty() ? -1.0f : texels[0];
    }

    GLRenderer& renderer;
    std::unique_ptr<MaterialMgr> materials;
    Material fill{"hdr-test-fill"};
    std::unique_ptr<Overlay> quad;
};

int32_t formatOf(const std::shared_ptr<RenderTarget>& target) {
    const auto texture = std::dynamic_pointer_cast<GLRenderTexture>(target);
    return texture ? texture->format() : -1;
}

template <class T> const T* valueOf(const std::vector<Material::Value<T>>& list, const char* name) {
    for (const auto& v : list)
        if (v.name == name) return &v.value;
    return nullptr;
}

TEST(HdrChain, MakesItsTargetsInOrderAndGivesTheMaterialsTheirValues) {
    Fixture& f = Fixture::get();
    const auto& back = f.renderer.primaryTarget();
    for (int32_t s : {256, 512}) {
        SCOPED_TRACE("r_rtsize " + std::to_string(s));
        HdrChain chain;
        LogCapture log;
        ASSERT_TRUE(chain.create(f.renderer, *f.materials, {32.0f, s, 256})) << log.text();
        EXPECT_TRUE(chain.ready());

        // Side x side, format and depth of each target: 16-bit integers render on this device.
        const auto scene = std::dynamic_pointer_cast<GLRenderTexture>(chain.sceneTarget());
        ASSERT_TRUE(scene);
        EXPECT_TRUE(scene->depthBuffer()); // the scene pass draws with depth
        EXPECT_EQ(scene->depthBits(), 24);
        EXPECT_EQ(scene->height(), back->height());
        std::vector<std::array<int32_t, 4>> made;
        for (const auto& t :
             {chain.sceneTarget(), chain.rescaled(), chain.reductions()[0], chain.reductions()[1],
              chain.reductions()[2], chain.reductions()[3], chain.exposures()[0],
              chain.exposures()[1], chain.blurH(), chain.blurV()})
            made.push_back({t->width(), t->height(), formatOf(t),
                            t != chain.sceneTarget() &&
                                std::dynamic_pointer_cast<GLRenderTexture>(t)->depthBuffer()});
        const int32_t r = s / 4; // each reduction a quarter of the one before
        const std::vector<std::array<int32_t, 4>> expected = {
            {back->width(), back->height(), 12, 0},
            {s, s, 8, 0},
            {r, r, 8, 0},
            {r / 4, r / 4, 8, 0},
            {r / 16, r / 16, 8, 0},
            {r / 64, r / 64, 8, 0},
            {1, 1, 9, 0},
            {1, 1, 9, 0},
            {256, 256, 8, 0},
            {256, 256, 8, 0}};
        EXPECT_EQ(made, expected);
        EXPECT_EQ(chain.rescaledFormat(), 8);
        EXPECT_EQ(f.renderer.boundTarget(), back);

        auto material = [&](const char* name) { return f.materials->getMaterial(name); };
        const std::tuple<const char*, const char*, float> floats[] = {
            {"rescale", "invMaxRange", 1.0f / 32.0f},
            {"exposure", "maxRange", 32.0f},
            {"blur_horizontal", "invWidth", 1.0f / 256.0f},
            {"blur_vertical", "invHeight", 1.0f / 256.0f},
            {"tonemap", "maxRange", 32.0f}};
        for (const auto& [name, param, value] : floats)
            EXPECT_EQ(*valueOf(material(name)->floats(), param), value) << name << " " << param;
        const std::tuple<const char*, const char*, std::shared_ptr<RenderTarget>> targets[] = {
            {"rescale", "scene", chain.sceneTarget()},
            {"exposure", "luminance", chain.reductions()[3]},
            {"blur_horizontal", "blurHMap", chain.rescaled()},
            {"blur_vertical", "blurVMap", chain.blurH()},
            {"tonemap", "scene", chain.sceneTarget()},
            {"tonemap", "blur", chain.blurV()}};
        for (const auto& [name, param, target] : targets)
            EXPECT_EQ(*valueOf(material(name)->renderTextures(), param), target)
                << name << " " << param;
        // A frame: the reductions get their offsets and sources; it ends on the back buffer.
        f.drawGrey(chain, 1.0f);
        chain.run(f.renderer, *f.quad, 0.0f);
        ASSERT_TRUE(Vrenn::Test::noGLError());
        EXPECT_EQ(f.renderer.boundTarget(), back);
        const auto& down = material("downsample");
        EXPECT_EQ(*valueOf(down->renderTextures(), "scene"), chain.reductions()[2]);
        const Vector4 offset = *valueOf(down->vectors(), "downSampleOffset1");
        EXPECT_FLOAT_EQ(offset.z, 64.0f / float(s));
        EXPECT_FLOAT_EQ(offset.x, -64.0f / float(s));
        // Every parameter set, at creation or per frame, exists in its effect (a misspelt name
        // would be dropped silently).
        for (const char* name :
             {"rescale", "downsample", "exposure", "blur_horizontal", "blur_vertical", "tonemap"}) {
            const auto& m = *material(name);
            for (const auto& v : m.floats())
                EXPECT_TRUE(v.param) << name << " " << v.name;
            for (const auto& v : m.vectors())
                EXPECT_TRUE(v.param) << name << " " << v.name;
            for (const auto& v : m.renderTextures())
                EXPECT_TRUE(v.param) << name << " " << v.name;
        }
    }
}

// A target manager of a device that cannot render some formats: it records what it is asked
// for and makes plain targets of the rest.
class RefusingTargets : public RenderTargetMgr {
public:
    explicit RefusingTargets(std::vector<int32_t> refused) : m_refused(std::move(refused)) {
        m_primary = back;
    }
    std::shared_ptr<RenderTarget> createRenderWindow(const std::string&,
                                                     const std::shared_ptr<Window>&) override {
        return nullptr;
    }
    std::shared_ptr<RenderTarget> createRenderTexture(const std::string& name, int32_t,
                                                      int32_t width, int32_t height, int32_t format,
                                                      int32_t, int32_t, int32_t, bool) override {
        asked.push_back(name + ":" + std::to_string(format));
        if (std::find(m_refused.begin(), m_refused.end(), format) != m_refused.end())
            return nullptr;
        auto target = std::make_shared<Test::StubTarget>(name, nullptr, width, height);
        m_registry.add(name, target);
        return target;
    }
    RenderTargetList createMRT(const std::string&, int32_t, int32_t, const std::vector<int32_t>&,
                               int32_t, int32_t, int32_t) override {
        return {};
    }

    std::vector<std::string> asked;
    const std::shared_ptr<RenderTarget> back =
        std::make_shared<Test::StubTarget>("back", nullptr, 640, 480);

private:
    std::vector<int32_t> m_refused;
};

// A device that cannot render 16-bit integers or one half float gets the chain in half floats and
// one-float exposures; one that can render none of them, or settings that would draw garbage,
// are refused with one line, and nothing is drawn.
TEST(HdrChain, FallsBackToFormatsTheDeviceCanRenderAndRefusesWhatWouldDrawGarbage) {
    Fixture& f = Fixture::get();
    const auto targets = std::make_shared<RefusingTargets>(std::vector<int32_t>{8, 9});
    Vrenn::Test::StubRenderer renderer(targets->back, targets);
    HdrChain chain;
    ASSERT_TRUE(chain.create(renderer, *f.materials, {32.0f, 256, 256}));
    const std::vector<std::string> asked = {
        "rt_fp16hdr:12",     "rt_int16:8",        "rt_int16:12",       "rt_downsample0:12",
        "rt_downsample1:12", "rt_downsample2:12", "rt_downsample3:12", "rt_exposure0:9",
        "rt_exposure0:13",   "rt_exposure1:13",   "rt_blurh:12",       "rt_blurv:12"};
    EXPECT_EQ(targets->asked, asked);
    EXPECT_EQ(chain.rescaledFormat(), 12);
    EXPECT_EQ(chain.exposureFormat(), 13);

    const auto none = std::make_shared<RefusingTargets>(std::vector<int32_t>{8, 12});
    Vrenn::Test::StubRenderer bare(none->back, none);
    {
        LogCapture log;
        EXPECT_FALSE(chain.create(bare, *f.materials, {32.0f, 256, 256}));
        EXPECT_FALSE(chain.ready());
        EXPECT_NE(log.text().find("HdrChain: the target rt_fp16hdr cannot be made; HDR is off\n"),
                  std::string::npos)
            << log.text();
    }

    const std::pair<HdrChainSettings, const char*> refused[] = {
        {{0.0f, 256, 256}, "HdrChain: max_env_lum must be above 0 (it is 0); HDR is off\n"},
        {{-4.0f, 256, 256}, "HdrChain: max_env_lum must be above 0 (it is -4); HDR is off\n"},
        {{std::nanf(""), 256, 256}, "max_env_lum must be above 0"},
        {{32.0f, 255, 256}, "HdrChain: r_rtsize must be at least 256 (it is 255)"}};
    for (const auto& [settings, message] : refused) {
        SCOPED_TRACE(message);
        LogCapture log;
        EXPECT_FALSE(chain.create(f.renderer, *f.materials, settings));
        EXPECT_FALSE(chain.ready());
        EXPECT_NE(log.text().find(message), std::string::npos) << log.text();
        EXPECT_EQ(log.text().find("Creation"), std::string::npos);

        // The back buffer keeps what the scene pass put there.
        f.drawScene(chain, 0.0f, 1.0f, 0.0f);
        EXPECT_EQ(f.renderer.boundTarget(), f.renderer.primaryTarget());
        chain.run(f.renderer, *f.quad, 0.1f);
        EXPECT_EQ(Vrenn::Test::backBufferPixel(10, 10), (std::array<uint8_t, 4>{0, 255, 0, 255}));
    }
}

// Runs n frames of dt seconds over a grey scene of the luminance.
void frames(Fixture& f, HdrChain& chain, float luminance, int n, float dt) {
    for (int i = 0; i < n; ++i) {
        f.drawGrey(chain, luminance);
        chain.run(f.renderer, *f.quad, dt);
    }
}

TEST(HdrChain, ExposureAdaptsAsDocumentedAndToneMapsMidGreyToMidGreyWithBloom) {
    Fixture& f = Fixture::get();
    HdrChain chain;
    ASSERT_TRUE(chain.create(f.renderer, *f.materials, {32.0f, 256, 256}));

    // The first frame has no history (the cleared target reads 0) and takes its target.
    EXPECT_EQ(chain.exposureIndex(), 0);
    frames(f, chain, 0.25f, 1, 0.05f);
    EXPECT_EQ(chain.exposureIndex(), 1);
    EXPECT_NEAR(f.exposure(chain), settledExposure(0.25f), 0.002f * settledExposure(0.25f));

    // From 0.72 towards 0.18 (two stops) in steps of 0.05 s: half way in stops, the geometric
    // mean 0.36, after one half-life, and not before.
    const float from = settledExposure(0.25f), to = settledExposure(1.0f);
    const float halfWay = std::sqrt(from * to);
    const int halfLifeFrames = int(std::lround(kHalfLife / 0.05f));
    frames(f, chain, 1.0f, halfLifeFrames - 1, 0.05f);
    EXPECT_GT(f.exposure(chain), halfWay * 1.02f);
    frames(f, chain, 1.0f, 1, 0.05f);
    EXPECT_NEAR(f.exposure(chain), halfWay, 0.005f * halfWay);

    // Very short frames still move it: 50 frames of 0.1 ms from 0.18 towards 0.72 take the
    // law 1 % of the way, each a change the half-float target cannot hold on its own.
    frames(f, chain, 1.0f, 12, 1.0f);
    const float start = f.exposure(chain);
    frames(f, chain, 0.25f, 50, 0.0001f);
    EXPECT_GT(f.exposure(chain), start * 1.01f);
    EXPECT_LT(f.exposure(chain), start * 1.1f);
    frames(f, chain, 1.0f, 12, 1.0f);

    // Not run for a while: the kept exposure stays; the next run goes on from it.
    const float kept = f.exposure(chain);
    const int index = chain.exposureIndex();
    for (int i = 0; i < 5; ++i) {
        f.drawGrey(chain, 8.0f);
        f.renderer.bindBackBuffer();
    }
    EXPECT_EQ(chain.exposureIndex(), index);
    EXPECT_EQ(f.exposure(chain), kept);
    frames(f, chain, 1.0f, 1, 0.25f);
    const float resumed =
        std::exp2(std::lerp(std::log2(kept), std::log2(to), 1.0f - std::sqrt(0.5f)));
    EXPECT_NEAR(f.exposure(chain), resumed, 0.003f * resumed);

    // Uniform scenes settle on kKey / L within the clamps; a black scene gives the largest
    // exposure and a black picture, no NaN.
    for (float luminance : {1.0f, 0.5f, 4.0f, 30.0f, 0.002f, 0.0f}) {
        SCOPED_TRACE("luminance " + std::to_string(luminance));
        frames(f, chain, luminance, 12, 1.0f);
        const float expected = settledExposure(luminance);
        EXPECT_NEAR(f.exposure(chain), expected, 0.004f * expected);
    }
    EXPECT_EQ(Vrenn::Test::backBufferPixel(320, 240), (std::array<uint8_t, 4>{0, 0, 0, 255}));

    // A scene that is not uniform: its log-average. The left third at 4, the rest at 0.25.
    for (int i = 0; i < 12; ++i)
        f.drawRect(chain, 0.25f, 4.0f, 0.0f, 0.0f, 1.0f / 3.0f, 1.0f, 1.0f);
    const float logAverage = std::pow(4.0f, 1.0f / 3.0f) * std::pow(0.25f, 2.0f / 3.0f);
    EXPECT_NEAR(f.exposure(chain), settledExposure(logAverage), 0.02f * kKey / logAverage);

    // Tone mapping: settled on a uniform grey, every pixel shows kKey through the curve.
    frames(f, chain, 0.6f, 12, 1.0f);
    auto shown = [](float c) {
        return 255.0f * std::pow(c * (1.0f + c / (kWhite * kWhite)) / (1.0f + c), 1.0f / kGamma);
    };
    for (auto [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}}) {
        const auto pixel = Vrenn::Test::backBufferPixel(x, y);
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_NEAR(pixel[size_t(ch)], shown(kKey), 1.5f) << x << "," << y;
    }

    // A bright square on a dark ground glows beyond its edge; far from it the ground shows
    // as the curve has it at the exposure reached.
    for (int i = 0; i < 3; ++i)
        f.drawRect(chain, 0.2f, 30.0f, 0.45f, 0.45f, 0.1f, 0.1f, 0.1f);
    std::vector<uint8_t> shot;
    ASSERT_TRUE(f.renderer.readBackBuffer(shot));
    auto green = [&](int x, int y) { return int(shot[size_t(y * 640 + x) * 4 + 1]); };
    const int near = green(276, 240), nearer = green(284, 240); // 12 and 4 pixels off
    const int far = green(40, 240), inside = green(320, 240);
    EXPECT_EQ(inside, 255);
    EXPECT_GT(nearer, near);
    EXPECT_GT(near, far + 10);
    EXPECT_NEAR(far, shown(0.2f * f.exposure(chain)), 1.5f);

    // A dim square on black takes the largest exposure and shows high on the curve, where the
    // white point shapes it (below the bloom's threshold, nothing glows).
    for (int i = 0; i < 12; ++i)
        f.drawRect(chain, 0.0f, 0.15f, 0.4f, 0.4f, 0.2f, 0.2f, 1.0f);
    EXPECT_NEAR(Vrenn::Test::backBufferPixel(320, 240)[1], shown(0.15f * kMaxExposure), 1.5f);
    ASSERT_TRUE(Vrenn::Test::noGLError());
}

} // namespace
} // namespace Vrenn
