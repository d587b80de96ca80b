#pragma once

#include "render/RenderTargetMgr.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace Vrenn {

class Material;
class MaterialMgr;
class Overlay;
class Renderer;

// The sizes and the range of the HDR chain: maxEnvLum is the largest scene value the fixed-
// range targets hold (max_env_lum), rtSize the side S of the rescaled target (r_rtsize),
// blurSize the side of the two blur targets.
struct HdrChainSettings {
    float maxEnvLum = 0.0f;
    int32_t rtSize = 256;
    int32_t blurSize = 256;
};

// The HDR post-processing chain. The scene is drawn into the half-float target "rt_fp16hdr";
// run() then rescales it into the S x S fixed-range target "rt_int16" (colour over the range,
// log luminance in alpha), reduces that by 4:1 passes down to the scene's log-average
// luminance, adapts the exposure kept in two one-texel targets used in turn, blurs the bright
// part into the bloom and tone-maps scene and bloom onto the back buffer. The formulas are
// data of the effects; docs/hdr.md lists them with their constants.
class HdrChain {
public:
    static constexpr int32_t kReductions = 4;

    HdrChain();
    ~HdrChain();
    HdrChain(const HdrChain&) = delete;
    HdrChain& operator=(const HdrChain&) = delete;

    // Makes the targets through the renderer's target manager, in this order: "rt_fp16hdr"
    // (back-buffer size, four half floats, 24-bit depth), "rt_int16" (S x S, four 16-bit
    // integers, four half floats when those cannot be made), "rt_downsample0" to "3" (S/4,
    // S/16, S/64, S/256 square, rt_int16's format), "rt_exposure0" and "1" (1 x 1, one half
    // float, one float when that cannot be made), "rt_blurh" and "rt_blurv" (blurSize square,
    // rt_int16's format). Targets an earlier create left under these names are replaced. Sets
    // the materials' set-up values, clears "rt_exposure0" (a kept exposure of 0: no history)
    // and binds the back buffer. False, with one log line and nothing drawn later, when
    // maxEnvLum is not a positive finite number, S/256 is below 1, blurSize below 1, one of
    // the six materials has no effect or a target cannot be made.
    bool create(Renderer& renderer, MaterialMgr& materials, const HdrChainSettings& settings);
    bool ready() const { return m_ready; }

    // Makes "rt_fp16hdr" anew at the back buffer's present size (after the window was
    // resized) and hands it to the passes that read it; the other targets and the kept
    // exposure stay. False, with one log line and the chain off, when it cannot be made;
    // false without a word before a successful create.
    bool resizeSceneTarget(Renderer& renderer);

    // Binds "rt_fp16hdr" (face 0) for the scene pass; the back buffer before a successful
    // create, so that the scene is still drawn.
    void bindSceneTarget(Renderer& renderer) const;

    // The post chain over what the scene pass drew: rescale, four reductions, the exposure
    // (read from the target written last, written into the other), the horizontal and vertical
    // blur, and the tone mapping onto the back buffer, which stays bound. The quad's material is
    // switched per pass; frameTime is the frame's time in seconds (negative or NaN count as 0).
    // Does nothing before a successful create. While run is not called the exposure keeps its
    // value.
    void run(Renderer& renderer, Overlay& quad, float frameTime);

    // Which exposure target holds the latest exposure (0 or 1); it changes with every run.
    int exposureIndex() const { return m_exposureIndex; }

    const HdrChainSettings& settings() const { return m_settings; }
    const std::shared_ptr<RenderTarget>& sceneTarget() const { return m_scene; }
    const std::shared_ptr<RenderTarget>& rescaled() const { return m_rescaled; }
    const std::array<std::shared_ptr<RenderTarget>, kReductions>& reductions() const {
        return m_reductions;
    }
    const std::array<std::shared_ptr<RenderTarget>, 2>& exposures() const { return m_exposures; }
    const std::shared_ptr<RenderTarget>& blurH() const { return m_blurH; }
    const std::shared_ptr<RenderTarget>& blurV() const { return m_blurV; }
    // The ImageFormat codes the targets got: rt_int16's (shared by the reductions and the
    // blurs) and the exposure targets'.
    int32_t rescaledFormat() const { return m_rescaledFormat; }
    int32_t exposureFormat() const { return m_exposureFormat; }

private:
    void releaseTargets();
    // Binds target (face 0) and starts a 2D pass in it.
    static void beginPass(Renderer& renderer, const std::shared_ptr<RenderTarget>& target);
    static void drawWith(Renderer& renderer, Overlay& quad, const std::shared_ptr<Material>& m);

    bool m_ready = false;
    HdrChainSettings m_settings;
    int m_exposureIndex = 0;
    int32_t m_rescaledFormat = 0;
    int32_t m_exposureFormat = 0;

    std::shared_ptr<RenderTarget> m_scene;
    std::shared_ptr<RenderTarget> m_rescaled;
    std::array<std::shared_ptr<RenderTarget>, kReductions> m_reductions;
    std::array<std::shared_ptr<RenderTarget>, 2> m_exposures;
    std::shared_ptr<RenderTarget> m_blurH;
    std::shared_ptr<RenderTarget> m_blurV;

    std::shared_ptr<Material> m_rescale;
    std::shared_ptr<Material> m_downsample;
    std::shared_ptr<Material> m_exposure;
    std::shared_ptr<Material> m_blurHorizontal;
    std::shared_ptr<Material> m_blurVertical;
    std::shared_ptr<Material> m_tonemap;
};

} // namespace Vrenn
