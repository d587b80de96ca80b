#pragma once

#include "app/Application.h"
#include "demo/BspDebugView.h"
#include "demo/HelpPanel.h"
#include "demo/LightmapRefresh.h"
#include "demo/ProbeCrossFade.h"
#include "lighting/HdrChain.h"
#include "lighting/LightmapPasses.h"
#include "prt/PrtLighting.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Vrenn {

class Camera;
class Entity;
class Material;
class Model;
class Overlay;
class SkyBox;

// The demonstration: a model lit per pixel through its baked transfer textures by two
// turning, cross-fading light probes, under a sky that shows the same light, through an
// HDR chain with adaptive exposure. With "makebsp" set it bakes the model at start-up
// instead and shows the splitting polygons of the bake's tree.
//
// Every frame: Update reads the keys and mouse (movement, toggles, the probe switch) and
// turns the sky; Render draws the lightmaps, the sky and the scene into the HDR target,
// runs the post chain onto the back buffer and draws the overlays and the help panel.
//
// Two settings serve scripted and headless runs: "r_maxframes" (above 0: the program
// ends after that many frames, as if Escape were held) and "r_shotframe" (above 0: a
// screenshot is taken once that frame is drawn). "r_fixedstep" (above 0) advances the
// timer by that many seconds each frame, so such runs draw the same frames every time.
//
// "probe0" and "probe1", when set, name user probe files in the run folder (probes/NAME.sh,
// as vrenn probe writes them): the file's coefficients light that slot and the cube map
// textures/sky/NAME.dds is its sky. A file that cannot be read or parsed, or a sky that
// cannot be loaded as a cube map, leaves the slot with its built-in probe and sky, says so in
// one log line and on the help panel.
class DemoApplication : public Application {
public:
    // The parts of a frame, for measuring them: the observer is called as each begins and
    // once after the last.
    enum class FrameStage { Lightmaps, SkyAndScene, PostChain, Done };
    using StageObserver = std::function<void(FrameStage)>;

    // The built-in probes' names on the help panel, by probe slot.
    static constexpr const char* kProbeNames[2] = {kLightProbeNames[0], kLightProbeNames[1]};

    DemoApplication();
    ~DemoApplication() override;

    void CreateScene() override;
    void ShutDown() override;
    bool Update() override;
    bool Render() override;
    // The back buffer has a new size: the camera's aspect, the HDR scene target and the
    // overlays follow it.
    void Resized(int32_t width, int32_t height) override;

    void setStageObserver(StageObserver observer) { m_stageObserver = std::move(observer); }

    uint32_t framesDrawn() const { return m_framesDrawn; }
    const std::shared_ptr<Camera>& camera() const { return m_camera; }
    float skyAngle() const { return m_skyAngle; }
    float luminanceScale() const { return m_luminanceScale; }
    bool autoSkyRotate() const { return m_autoSkyRotate; }
    // R's toggle, for scripted runs and measurements.
    void setAutoSkyRotate(bool on) { m_autoSkyRotate = on; }
    // How often the lightmaps were drawn and how often a frame kept them.
    const LightmapRefresh& lightmapRefresh() const { return m_lightmapRefresh; }
    bool wireFrame() const { return m_wireFrame; }
    bool hdr() const { return m_hdr; }
    bool generalInfo() const { return m_generalInfo; }
    bool diffuseOnly() const { return m_diffuseOnly; }
    const ProbeCrossFade& crossFade() const { return m_crossFade; }
    // Empty once the demo's resources are released.
    const HdrChain* hdrChain() const { return m_hdrChain.get(); }
    const LightmapPasses* lightmapPasses() const { return m_lightmapPasses.get(); }
    const std::shared_ptr<Model>& model() const { return m_model; }
    // Why the scene cannot be lit (empty when it can).
    const std::string& missing() const { return m_missing; }
    // The lighting the lightmap passes are given (its probe table: built-in or user probes).
    const PrtLighting& lighting() const { return m_lighting; }
    // What the help panel shows now.
    HelpPanelState helpPanelState() const;

private:
    // "cam_start" (x y z yaw pitch, degrees), when set, places the camera somewhere other
    // than its usual start, for scripted runs that look at one part of the scene.
    void placeCameraAtStart();
    // "sky_angle" (radians, default 0) and "sky_rotate" (1, the default: the sky turns by
    // itself; 0: it stands until R or Q) set the sky as the program starts, for scripted
    // runs that take a picture at a known angle. A value that is not so is logged and the
    // default used.
    void applySkyStart();
    void createSceneResources();
    void createRenderTargets();
    // Gives the lighting material flat white lightmaps, so that a model the lightmap passes
    // cannot light is still drawn, in even light.
    void useNeutralLight();
    void prepareScene();
    // Puts the user probes named by "probe0" and "probe1" into the lighting's table and their
    // skies into the sky material; needs the sky material.
    void loadUserProbes();
    void renderScene();
    void drawModel(const Material* material);
    void drawHelpPanel();
    void handToRenderer(Camera& camera);
    void releaseDemoResources();

    void stage(FrameStage which) const {
        if (m_stageObserver) m_stageObserver(which);
    }

    uint32_t m_framesDrawn = 0;
    StageObserver m_stageObserver;

    // Toggles and values the keys change.
    bool m_autoSkyRotate = true;
    bool m_wireFrame = false;
    bool m_hdr = true;
    bool m_generalInfo = true;
    bool m_diffuseOnly = false;
    float m_luminanceScale = 1.0f;
    float m_skyAngle = 0.0f;
    ProbeCrossFade m_crossFade;

    std::shared_ptr<Camera> m_camera;
    std::shared_ptr<Material> m_wireframeMaterial;
    std::shared_ptr<Material> m_simpleTextured;
    std::shared_ptr<Material> m_prtLighting;
    std::shared_ptr<Material> m_skyMaterial;
    std::shared_ptr<Material> m_testMaterial;
    // The one quad every post-processing pass draws, its material switched per pass.
    std::shared_ptr<Overlay> m_screenQuad;

    PrtLighting m_lighting;
    LightmapRefresh m_lightmapRefresh;
    LightmapRefresh::Light m_light; // this frame's, kept to spare a copy per frame
    std::unique_ptr<LightmapPasses> m_lightmapPasses;
    std::unique_ptr<HdrChain> m_hdrChain;
    std::shared_ptr<Model> m_model;
    std::shared_ptr<SkyBox> m_skyBox;
    std::shared_ptr<Entity> m_extraEntity;
    BspDebugView m_bspView;
    std::string m_missing;
    // Per slot: the name the help panel shows, and the user probe file that was refused.
    std::array<std::string, kLightProbeCount> m_probeNames{kProbeNames[0], kProbeNames[1]};
    std::array<std::string, kLightProbeCount> m_probeFallbacks;
};

} // namespace Vrenn
