#include "lighting/HdrChain.h"

#include "core/Log.h"
#include "core/Vector4.h"
#include "fs/ImageFormat.h"
#include "render/Effect.h"
#include "render/Renderer.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/Overlay.h"

#include <cmath>
#include <sstream>

namespace Vrenn {

namespace {

// Each reduction divides the side by this; four of them take S = 256 to one texel.
constexpr int32_t kReductionFactor = 4;
constexpr int32_t kSceneDepthBits = 24;

constexpr const char* kSceneName = "rt_fp16hdr";
constexpr const char* kRescaledName = "rt_int16";
constexpr const char* kReductionBase = "rt_downsample";
constexpr const char* kExposureBase = "rt_exposure";
constexpr const char* kBlurHName = "rt_blurh";
constexpr const char* kBlurVName = "rt_blurv";

// Parameter names, made once: the frame passes them by reference and allocates nothing.
struct ParamNames {
    const std::string scene = "scene";
    const std::string invMaxRange = "invMaxRange";
    const std::string offset0 = "downSampleOffset0";
    const std::string offset1 = "downSampleOffset1";
    const std::string maxRange = "maxRange";
    const std::string luminance = "luminance";
    const std::string lastExposure = "last_exposure";
    const std::string elapsedTime = "elapsed_time";
    const std::string exposure = "exposure";
    const std::string blurHMap = "blurHMap";
    const std::string invWidth = "invWidth";
    const std::string blurVMap = "blurVMap";
    const std::string invHeight = "invHeight";
    const std::string blur = "blur";
};

const ParamNames& param() {
    static const ParamNames names;
    return names;
}

bool refuse(const std::string& why) {
    logMessage("HdrChain: " + why + "; HDR is off\n");
    return false;
}

// A value as a stream prints it: "0", "-2", "nan".
std::string numberText(float value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace

HdrChain::HdrChain() = default;

HdrChain::~HdrChain() = default;

void HdrChain::releaseTargets() {
    m_scene.reset();
    m_rescaled.reset();
    m_reductions = {};
    m_exposures = {};
    m_blurH.reset();
    m_blurV.reset();
}

bool HdrChain::create(Renderer& renderer, MaterialMgr& materials,
                      const HdrChainSettings& settings) {
    m_ready = false;
    m_exposureIndex = 0;
    releaseTargets();

    const int32_t s = settings.rtSize;
    // The rescale pass multiplies by 1 / max_env_lum: zero would make it infinite, a negative
    // value would turn every colour black.
    if (!(settings.maxEnvLum > 0.0f) || !std::isfinite(settings.maxEnvLum))
        return refuse("max_env_lum must be above 0 (it is " + numberText(settings.maxEnvLum) + ")");
    if (s / 256 < 1)
        return refuse("r_rtsize must be at least 256 (it is " + std::to_string(s) +
                      "): four 4:1 reductions must leave a texel");
    if (settings.blurSize < 1)
        return refuse("the blur size must be at least 1 (it is " +
                      std::to_string(settings.blurSize) + ")");

    const std::pair<const char*, std::shared_ptr<Material>*> wanted[] = {
        {"rescale", &m_rescale},
        {"downsample", &m_downsample},
        {"exposure", &m_exposure},
        {"blur_horizontal", &m_blurHorizontal},
        {"blur_vertical", &m_blurVertical},
        {"tonemap", &m_tonemap}};
    for (const auto& [name, slot] : wanted) {
        *slot = materials.getMaterial(name);
        if (!*slot || !(*slot)->effect())
            return refuse(std::string("the material ") + name + " has no effect");
    }

    const auto& targets = renderer.renderTargetMgr();
    if (!targets || !targets->primaryTarget())
        return refuse("no render target manager or back buffer");

    // Nothing of an earlier chain stays bound or registered: the targets are made anew at
    // this chain's sizes and formats.
    renderer.bindBackBuffer();
    targets->remove(kSceneName);
    targets->remove(kRescaledName);
    for (int32_t i = 0; i < kReductions; ++i)
        targets->remove(kReductionBase + std::to_string(i));
    for (int32_t i = 0; i < 2; ++i)
        targets->remove(kExposureBase + std::to_string(i));
    targets->remove(kBlurHName);
    targets->remove(kBlurVName);

    auto square = [&](const std::string& name, int32_t side, int32_t format) {
        return targets->createRenderTexture(name, RENDER_TEXTURE_2D, side, side, format, 0, 0, 0,
                                            false);
    };
    auto fail = [&](const std::string& name) {
        releaseTargets();
        return refuse("the target " + name + " cannot be made");
    };

    m_scene = targets->createScreenRenderTexture(kSceneName, FORMAT_RGBA16F, kSceneDepthBits, 0, 0);
    if (!m_scene) return fail(kSceneName);

    m_rescaledFormat = FORMAT_RGBA16;
    m_rescaled = square(kRescaledName, s, m_rescaledFormat);
    if (!m_rescaled) {
        m_rescaledFormat = FORMAT_RGBA16F;
        m_rescaled = square(kRescaledName, s, m_rescaledFormat);
    }
    if (!m_rescaled) return fail(kRescaledName);

    int32_t side = s;
    for (int32_t i = 0; i < kReductions; ++i) {
        side /= kReductionFactor;
        const std::string name = kReductionBase + std::to_string(i);
        m_reductions[size_t(i)] = square(name, side, m_rescaledFormat);
        if (!m_reductions[size_t(i)]) return fail(name);
    }

    m_exposureFormat = FORMAT_R16F;
    for (int32_t i = 0; i < 2; ++i) {
        const std::string name = kExposureBase + std::to_string(i);
        m_exposures[size_t(i)] = square(name, 1, m_exposureFormat);
        // Both exposure targets take one format: the first decides it.
        if (!m_exposures[size_t(i)] && i == 0) {
            m_exposureFormat = FORMAT_R32F;
            m_exposures[size_t(i)] = square(name, 1, m_exposureFormat);
        }
        if (!m_exposures[size_t(i)]) return fail(name);
    }

    m_blurH = square(kBlurHName, settings.blurSize, m_rescaledFormat);
    if (!m_blurH) return fail(kBlurHName);
    m_blurV = square(kBlurVName, settings.blurSize, m_rescaledFormat);
    if (!m_blurV) return fail(kBlurVName);

    const float range = settings.maxEnvLum;
    const float step = 1.0f / float(settings.blurSize);
    m_rescale->setFloat(param().invMaxRange, 1.0f / range);
    m_rescale->setTexture(param().scene, m_scene);
    m_exposure->setFloat(param().maxRange, range);
    m_exposure->setTexture(param().luminance, m_reductions[kReductions - 1]);
    m_blurHorizontal->setTexture(param().blurHMap, m_rescaled);
    m_blurHorizontal->setFloat(param().invWidth, step);
    m_blurVertical->setTexture(param().blurVMap, m_blurH);
    m_blurVertical->setFloat(param().invHeight, step);
    m_tonemap->setFloat(param().maxRange, range);
    m_tonemap->setTexture(param().scene, m_scene);
    m_tonemap->setTexture(param().blur, m_blurV);

    // The first frame reads an exposure of 0: no history, so it takes its target at once.
    renderer.setRenderTargetFace(m_exposures[0], 0);
    renderer.clear(true, false, false);
    renderer.bindBackBuffer();

    m_settings = settings;
    m_ready = true;
    return true;
}

bool HdrChain::resizeSceneTarget(Renderer& renderer) {
    if (!m_ready) return false;
    const auto& targets = renderer.renderTargetMgr();
    renderer.bindBackBuffer();
    // The old target goes first: a name asked for again would return it.
    targets->remove(kSceneName);
    m_scene = targets->createScreenRenderTexture(kSceneName, FORMAT_RGBA16F, kSceneDepthBits, 0, 0);
    if (!m_scene) {
        m_ready = false;
        releaseTargets();
        return refuse(std::string("the target ") + kSceneName + " cannot be made anew");
    }
    m_rescale->setTexture(param().scene, m_scene);
    m_tonemap->setTexture(param().scene, m_scene);
    return true;
}

void HdrChain::bindSceneTarget(Renderer& renderer) const {
    if (m_ready)
        renderer.setRenderTargetFace(m_scene, 0);
    else
        renderer.bindBackBuffer();
}

void HdrChain::beginPass(Renderer& renderer, const std::shared_ptr<RenderTarget>& target) {
    renderer.setRenderTargetFace(target, 0);
    renderer.begin2D();
}

void HdrChain::drawWith(Renderer& renderer, Overlay& quad, const std::shared_ptr<Material>& m) {
    quad.setMaterial(m->getName(), m);
    quad.draw(renderer);
}

void HdrChain::run(Renderer& renderer, Overlay& quad, float frameTime) {
    if (!m_ready) return;
    const int32_t s = m_settings.rtSize;
    const float size = float(s);

    // 1. The scene into the fixed range, S x S.
    beginPass(renderer, m_rescaled);
    quad.addPixelQuad(renderer, size, size, 0.0f, 0.0f, 1.0f, 1.0f);
    drawWith(renderer, quad, m_rescale);

    // 2. Four 4:1 reductions; the taps lie one source texel from each pixel's centre.
    float t = 1.0f / size;
    int32_t d = kReductionFactor;
    const std::shared_ptr<RenderTarget>* source = &m_rescaled;
    for (const auto& target : m_reductions) {
        beginPass(renderer, target);
        const float side = float(s / d);
        quad.addPixelQuad(renderer, side, side, 0.0f, 0.0f, 1.0f, 1.0f);
        m_downsample->setVector(param().offset0, Vector4{-t, -t, t, -t});
        m_downsample->setVector(param().offset1, Vector4{-t, t, t, t});
        m_downsample->setTexture(param().scene, *source);
        drawWith(renderer, quad, m_downsample);
        source = &target;
        t *= float(kReductionFactor);
        d *= kReductionFactor;
    }

    // 3. The exposure: read from the target written last, written into the other.
    const float elapsed = frameTime > 0.0f ? frameTime : 0.0f; // NaN and negative count as 0
    m_exposure->setTexture(param().lastExposure, m_exposures[size_t(m_exposureIndex)]);
    m_exposure->setFloat(param().elapsedTime, elapsed);
    m_exposureIndex = 1 - m_exposureIndex;
    beginPass(renderer, m_exposures[size_t(m_exposureIndex)]);
    quad.addQuad(0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    drawWith(renderer, quad, m_exposure);

    // 4, 5. The bloom: bright part blurred across, then down.
    beginPass(renderer, m_blurH);
    quad.addQuad(0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    drawWith(renderer, quad, m_blurHorizontal);
    beginPass(renderer, m_blurV);
    quad.addQuad(0.0f, 0.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    drawWith(renderer, quad, m_blurVertical);

    // 6. Tone mapping onto the back buffer with the exposure just written.
    renderer.bindBackBuffer();
    m_tonemap->setTexture(param().exposure, m_exposures[size_t(m_exposureIndex)]);
    renderer.begin2D();
    quad.addPixelQuad(renderer, -1.0f, -1.0f, 0.0f, 0.0f, 1.0f, 1.0f);
    drawWith(renderer, quad, m_tonemap);
}

} // namespace Vrenn
