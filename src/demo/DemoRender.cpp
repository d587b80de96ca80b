// The demo's frame: lightmaps, sky and scene into the HDR target, the post chain onto the
// back buffer, then the overlays.

#include "config/CVar.h"
#include "demo/DemoApplication.h"
#include "demo/HelpPanel.h"
#include "geometry/Model.h"
#include "lighting/SkyPass.h"
#include "render/Renderer.h"
#include "render/VertexBuffer.h"
#include "scene/Camera.h"
#include "scene/DrawMesh.h"
#include "scene/Font.h"
#include "scene/Material.h"
#include "scene/SkyBox.h"

namespace Vrenn {

namespace {
// Streams 0 to 3: positions and texture set 0, normals, tangents, the atlas.
constexpr uint32_t kSceneStreamMask = 15;
} // namespace

void DemoApplication::drawModel(const Material* material) {
    if (!m_model) return;
    for (const auto& surface : m_model->surfaces()) {
        auto buffer = surface ? std::dynamic_pointer_cast<VertexBuffer>(surface->mesh()) : nullptr;
        const Material* drawWith = material  ? material
                                   : surface ? surface->material().get()
                                             : nullptr;
        if (!buffer || !drawWith) continue;
        buffer->setStreamMask(kSceneStreamMask);
        drawMesh(*buffer, *drawWith, *m_renderer);
    }
}

void DemoApplication::renderScene() {
    const bool hdr = m_hdr && m_hdrChain && m_hdrChain->ready();
    stage(FrameStage::Lightmaps);
    if (m_lightmapPasses && m_lightmapPasses->ready() && m_model) {
        // The lightmaps are drawn again only when the light they hold changed.
        m_light.skyAngle = m_skyAngle;
        m_light.blend = m_crossFade.blend();
        m_light.maxSceneLum = m_cvars->GetFloat("max_scene_lum");
        m_light.probes = m_lighting.probes();
        if (m_lightmapRefresh.due(m_light)) {
            m_lighting.update(m_skyAngle, m_crossFade.blend(), m_camera->position());
            if (m_lightmapPasses->render(*m_renderer, m_lighting, *m_model))
                m_lightmapRefresh.drawn(m_light);
        } else {
            m_lightmapRefresh.skipped();
        }
    }

    stage(FrameStage::SkyAndScene);
    if (hdr)
        m_hdrChain->bindSceneTarget(*m_renderer);
    else
        m_renderer->bindBackBuffer();
    m_renderer->clear(false, true, false);
    if (m_skyMaterial) m_skyMaterial->setFloat("blendFactor", m_crossFade.blend());
    m_renderer->world() = Matrix4::identity();
    m_renderer->applyTransform(TRANSFORM_WORLD);
    if (m_skyBox && m_camera) drawTurnedSky(*m_renderer, *m_camera, *m_skyBox, m_skyAngle);

    if (m_prtLighting && m_camera) {
        const Vec3& eye = m_camera->position();
        m_prtLighting->setVector("objSpaceCamera", {eye.x, eye.y, eye.z, 1.0f});
        m_prtLighting->setFloat("lum_control", m_luminanceScale);
        // Every scene material shares the lighting effect: applying "prt_lighting" once puts
        // the lightmaps and the frame's values into it, and each surface's own material then
        // adds its textures.
        m_prtLighting->apply(*m_renderer);
    }
    // Without lightmaps the model still shows, in the neutral light set up for it.
    drawModel(nullptr);
    if (m_wireFrame) drawModel(m_wireframeMaterial.get());
    stage(FrameStage::PostChain);
    if (hdr) m_hdrChain->run(*m_renderer, *m_screenQuad, m_timer.frameTime());
    stage(FrameStage::Done);
}

HelpPanelState DemoApplication::helpPanelState() const {
    HelpPanelState state;
    state.autoSkyRotate = m_autoSkyRotate;
    state.showFps = m_cvars->GetInt("r_showfps") != 0;
    state.wireFrame = m_wireFrame;
    state.hdr = m_hdr;
    state.diffuseOnly = m_diffuseOnly;
    state.probeName = m_probeNames[size_t(m_crossFade.targetProbe())];
    for (size_t slot = 0; slot < state.probeFallbacks.size(); ++slot)
        state.probeFallbacks[slot] = m_probeFallbacks[slot];
    state.luminanceScale = m_luminanceScale;
    state.missing = m_missing;
    return state;
}

void DemoApplication::drawHelpPanel() {
    if (!m_fpsOverlay) return;
    const HelpPanelState state = helpPanelState();
    m_fpsOverlay->setColour(0.0f, 1.0f, 0.0f);
    m_fpsOverlay->setRect(
        0.02f, helpPanelTop(state, 0.65f, 0.02f, 1.0f, Font::kAdvance, m_fpsOverlay->lineHeight()),
        0.02f, 1.0f);
    writeHelpPanel(*m_fpsOverlay, state);
    if (m_fontMaterial) m_fpsOverlay->draw(*m_renderer);
}

bool DemoApplication::Render() {
    m_renderer->beginFrame();
    m_renderer->bindBackBuffer();
    m_renderer->clear(true, true, false);
    if (m_cvars->GetInt("makebsp") != 0) {
        m_renderer->world() = Matrix4::identity();
        m_renderer->applyTransform(TRANSFORM_WORLD);
        if (m_testMaterial) m_bspView.draw(*m_renderer, *m_testMaterial);
    } else {
        renderScene();
    }
    m_renderer->begin2D();
    if (m_cvars->GetInt("r_showfps")) DrawFPS();
    if (m_cvars->GetInt("r_drawlogo")) DrawLogo();
    if (m_generalInfo) drawHelpPanel();
    ++m_framesDrawn;
    const int32_t shotFrame = m_cvars->GetInt("r_shotframe");
    // The screenshot asked for in the configuration is part of what the run must do.
    if (shotFrame > 0 && m_framesDrawn == static_cast<uint32_t>(shotFrame) &&
        !m_renderer->takeScreenShot())
        noteFailure(lastLogged());
    m_renderer->endFrame();
    return true;
}

} // namespace Vrenn
