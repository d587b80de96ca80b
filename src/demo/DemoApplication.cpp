#include "demo/DemoApplication.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "core/StopRequest.h"
#include "core/TextNumbers.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "geometry/BoxBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "lighting/UserProbes.h"
#include "prt/CompressedTransfer.h"
#include "prt/LightProbes.h"
#include "prt/PrtScene.h"
#include "prt/TransferTextures.h"
#include "render/Renderer.h"
#include "render/Texture.h"
#include "render/TextureManager.h"
#include "render/VertexBuffer.h"
#include "render/VertexBufferMgr.h"
#include "scene/Camera.h"
#include "scene/Entity.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "scene/SceneMgr.h"
#include "scene/SkyBox.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace Vrenn {

namespace {

// The camera of the demo: where it starts and how it sees.
// The default start stands above the courtyard's south side looking north (-z) and a little
// down, so that the first view shows the scene rather than the sky.
const Vec3 kCameraStart{0.0f, 260.0f, 420.0f};
constexpr float kCameraStartPitch = -18.0f;
// Slightly below 4/3, as a 32-bit float: the aspect of 4:3 frames.
constexpr float kCameraAspect = 1.33333302f;
constexpr float kCameraNear = 4.0f;
constexpr float kCameraFar = 4096.0f;
constexpr float kSkyBoxSize = 512.0f;
const Vec3 kExtraEntitySize{100.0f, 100.0f, 100.0f};

// Logs the bake's progress at every tenth of the texels.
class BakeProgressLog {
public:
    void operator()(uint64_t done, uint64_t total) {
        if (total == 0) return;
        const uint64_t tenth = done * 10 / total;
        if (tenth <= m_logged && done != total) return;
        m_logged = tenth;
        logMessage("PRT bake: " + std::to_string(done) + " of " + std::to_string(total) +
                   " texels (" + std::to_string(done * 100 / total) + "%)\n");
    }

private:
    uint64_t m_logged = 0;
};

// The camera's aspect for a frame of this size; 4:3 frames keep the demo's own value.
float cameraAspect(int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || int64_t(width) * 3 == int64_t(height) * 4)
        return kCameraAspect;
    return float(width) / float(height);
}

} // namespace

DemoApplication::DemoApplication()
    : m_lightmapPasses(std::make_unique<LightmapPasses>()),
      m_hdrChain(std::make_unique<HdrChain>()) {}

DemoApplication::~DemoApplication() {
    ShutDown();
}

void DemoApplication::ShutDown() {
    // Where the camera ended, for scripted runs and for choosing a cam_start.
    if (m_camera) {
        const Vec3& p = m_camera->position();
        const Vec3 d = m_camera->orientation().rotate({0.0f, 0.0f, -1.0f});
        std::ostringstream where;
        where << "Demo: the camera ended at (" << p.x << ", " << p.y << ", " << p.z
              << ") looking along (" << d.x << ", " << d.y << ", " << d.z << ")\n";
        logMessage(where.str());
    }
    // The demo's device objects go before the base class shuts the managers down.
    releaseDemoResources();
    Application::ShutDown();
}

void DemoApplication::releaseDemoResources() {
    m_bspView.release();
    m_extraEntity.reset();
    m_skyBox.reset();
    m_model.reset();
    m_hdrChain.reset();
    m_lightmapPasses.reset();
    m_screenQuad.reset();
    m_wireframeMaterial.reset();
    m_simpleTextured.reset();
    m_prtLighting.reset();
    m_skyMaterial.reset();
    m_testMaterial.reset();
    m_camera.reset();
}

void DemoApplication::CreateScene() {
    Application::CreateScene();

    m_camera = m_scene->createCamera("player", kCameraStart, Quaternion{1.0f, 0.0f, 0.0f, 0.0f});
    m_camera->setFov(m_cvars->GetFloat("r_fovy"));
    const auto& backBuffer = m_renderer->primaryTarget();
    m_camera->setAspect(backBuffer ? cameraAspect(backBuffer->width(), backBuffer->height())
                                   : kCameraAspect);
    m_camera->setNear(kCameraNear);
    m_camera->setFar(kCameraFar);
    m_scene->setCurrentCamera(m_camera);
    placeCameraAtStart();

    createSceneResources();
    prepareScene();

    auto& materials = *m_scene->materialMgr();
    m_skyBox = m_scene->createSkyBox(kSkyBoxSize);
    m_skyMaterial = materials.getMaterial("sky");
    m_skyBox->setMaterial("sky", m_skyMaterial);
    // The sky is capped at the range the HDR chain holds; a range the chain refused (not a
    // positive number) caps nothing.
    const float maxEnvLum = m_cvars->GetFloat("max_env_lum");
    if (maxEnvLum > 0.0f && std::isfinite(maxEnvLum))
        m_skyMaterial->setFloat("maxRange", maxEnvLum);
    loadUserProbes();
    applySkyStart();

    m_extraEntity = m_scene->createEntity(boxBuilder(), kExtraEntitySize, m_wireframeMaterial);
}

void DemoApplication::Resized(int32_t width, int32_t height) {
    if (m_camera) m_camera->setAspect(cameraAspect(width, height));
    // Without its scene target the chain is off for the rest of the run (H cannot bring it
    // back); the scene is then drawn straight onto the back buffer.
    if (m_hdrChain && m_hdrChain->ready() && !m_hdrChain->resizeSceneTarget(*m_renderer))
        m_hdr = false;
    m_lightmapRefresh.forget();
}

void DemoApplication::loadUserProbes() {
    const ProbeChoice choice =
        chooseProbes({m_cvars->GetString("probe0"), m_cvars->GetString("probe1")},
                     *m_renderer->textureManager());
    for (int slot = 0; slot < kLightProbeCount; ++slot) {
        const std::string fileName = m_cvars->GetString("probe" + std::to_string(slot));
        if (!choice.refusals[size_t(slot)].empty()) {
            m_probeFallbacks[size_t(slot)] = fileName;
            logMessage("Demo: " + choice.refusals[size_t(slot)] + "\n");
        } else if (choice.skies[size_t(slot)]) {
            if (m_skyMaterial)
                m_skyMaterial->setTexture("skyCube" + std::to_string(slot),
                                          choice.skies[size_t(slot)]);
            m_probeNames[size_t(slot)] = std::filesystem::path(fileName).filename().string();
            logMessage("Demo: probe slot " + std::to_string(slot) + " is lit by " + fileName +
                       " under the sky " + choice.skyNames[size_t(slot)] + "\n");
        }
    }
    m_lighting = PrtLighting(choice.probes);
}

void DemoApplication::applySkyStart() {
    m_skyAngle = 0.0f;
    m_autoSkyRotate = true;
    const std::string angle = m_cvars->GetString("sky_angle");
    if (!angle.empty()) {
        std::istringstream in(angle);
        float value = 0.0f;
        std::string rest;
        if ((in >> value) && !(in >> rest) && std::isfinite(value))
            m_skyAngle = value;
        else
            logMessage("Demo: sky_angle \"" + angle +
                       "\" is not a number of radians; the sky starts at angle 0\n");
    }
    const std::string rotate = m_cvars->GetString("sky_rotate");
    if (!rotate.empty()) {
        int32_t value = 1;
        if (textToWholeInt(rotate, value) && (value == 0 || value == 1))
            m_autoSkyRotate = value == 1;
        else
            logMessage("Demo: sky_rotate \"" + rotate +
                       "\" is not 0 or 1; the sky starts turning\n");
    }
}

void DemoApplication::placeCameraAtStart() {
    const std::string start = m_cvars->GetString("cam_start");
    if (start.empty()) {
        m_camera->turnAboutSide(kCameraStartPitch);
        return;
    }
    std::istringstream in(start);
    Vec3 position;
    float yaw = 0.0f, pitch = 0.0f;
    std::string rest;
    const auto refuse = [&](const std::string& why) {
        logMessage("Demo: cam_start \"" + start + "\" " + why +
                   "; the camera starts at (0, 260, 420) facing -z, 18 degrees down\n");
        m_camera->turnAboutSide(kCameraStartPitch);
    };
    if (!(in >> position.x >> position.y >> position.z >> yaw >> pitch) || (in >> rest) ||
        !std::isfinite(yaw) || !std::isfinite(pitch))
        return refuse("is not five numbers (x y z yaw pitch)");
    // Beyond this a float cannot place the camera to a unit, and the view matrix of a far
    // larger one overflows.
    constexpr float kFarthest = 1.0e7f;
    for (const float coordinate : {position.x, position.y, position.z})
        if (!(std::fabs(coordinate) <= kFarthest))
            return refuse("places the camera farther than 1e7 units from the origin along an "
                          "axis");
    m_camera->setPosition(position);
    m_camera->turnAboutUp(yaw);
    m_camera->turnAboutSide(pitch);
}

void DemoApplication::createSceneResources() {
    auto& materials = *m_scene->materialMgr();
    const LightmapPath path = LightmapPasses::pathFor(*m_renderer);
    materials.loadScript("materials/materials.mtr");
    if (path == LightmapPath::OnePass) materials.loadScript("materials/render_lm30.mtr");
    m_wireframeMaterial = materials.getMaterial("wireframe");
    m_simpleTextured = materials.getMaterial("simple_textured");
    m_screenQuad = m_scene->overlayMgr()->createOverlay();
    if (m_cvars->GetInt("makebsp") != 0) {
        m_testMaterial = materials.getMaterial("test");
        return;
    }
    createRenderTargets();
}

void DemoApplication::createRenderTargets() {
    auto& materials = *m_scene->materialMgr();
    logMessage("\n=========== Creating Render Targets ============\n");
    const float maxSceneLum = m_cvars->GetFloat("max_scene_lum");

    // Compressed transfer comes first where the folder holds it, made from the transfer
    // textures beside it; the lightmaps take the transfer's size.
    const bool sceneLumUsable = maxSceneLum > 0.0f && std::isfinite(maxSceneLum);
    CompressedTransfer compressed;
    bool compressedReady = false;
    if (sceneLumUsable) {
        std::string refused;
        const bool haveCompressed = loadCompressedTransfer("", compressed, refused);
        if (!haveCompressed && !refused.empty())
            logMessage("Demo: " + refused + "; the full transfer is used\n");
        compressedReady =
            haveCompressed &&
            m_lightmapPasses->createCompressed(*m_renderer, materials, compressed, maxSceneLum);
    }
    if (compressedReady) {
        logMessage("Demo: the lightmaps are lit from " + std::string(kCompressedTransferFileName) +
                   " (" + std::to_string(compressed.clusters) + " clusters, " +
                   std::to_string(compressed.components) + " components)\n");
    } else {
        std::array<std::shared_ptr<Texture>, 3> transfer;
        for (size_t f = 0; f < transfer.size(); ++f)
            if (std::filesystem::exists(kTransferFileNames[f]))
                transfer[f] = m_renderer->textureManager()->loadTexture(kTransferFileNames[f], 0);
        if (!transfer[0])
            m_missing = std::string(kTransferFileNames[0]) + " is missing";
        else if (!sceneLumUsable)
            m_missing = "max_scene_lum \"" + m_cvars->GetString("max_scene_lum") +
                        "\" is not a number above 0";
        else if (!m_lightmapPasses->create(*m_renderer, materials, transfer, maxSceneLum,
                                           LightmapPasses::pathFor(*m_renderer)))
            m_missing = m_lightmapPasses->failure();
    }
    if (!m_missing.empty())
        logMessage("Demo: the scene is drawn without lighting: " + m_missing + "\n");

    m_prtLighting = materials.getMaterial("prt_lighting");
    if (m_lightmapPasses->ready()) {
        m_prtLighting->setFloat("maxRange", maxSceneLum);
        const auto& lightmaps = m_lightmapPasses->lightmaps();
        for (size_t k = 0; k < lightmaps.size(); ++k)
            m_prtLighting->setTexture("lightmap" + std::to_string(k), lightmaps[k]);
    } else {
        useNeutralLight();
    }

    HdrChainSettings hdr;
    hdr.maxEnvLum = m_cvars->GetFloat("max_env_lum");
    // A size no whole number holds ("nan", "1e40") is refused here, named as it was written;
    // the chain refuses the others itself.
    const float rtSize = m_cvars->GetFloat("r_rtsize");
    if (!(std::fabs(rtSize) < 2.0e9f)) {
        logMessage("Demo: r_rtsize \"" + m_cvars->GetString("r_rtsize") +
                   "\" is not a size of at least 256; HDR is off\n");
        m_hdr = false;
    } else {
        hdr.rtSize = int32_t(rtSize);
        if (!m_hdrChain->create(*m_renderer, materials, hdr)) m_hdr = false;
    }
    logMessage("========================================================\n\n");
}

void DemoApplication::useNeutralLight() {
    if (!m_prtLighting) return;
    // Every lightmap texel at 1 and a range of pi: a surface shows its own albedo, as under
    // an unshadowed sky of radiance 1, and the exposure adapts to it as to any scene.
    constexpr float kNeutralRange = 3.14159265f;
    auto image = std::make_shared<Image>();
    uint8_t* texel = image->create(1, 1, 1, FORMAT_RGBA8, 1, 1);
    if (texel) std::fill(texel, texel + 4, uint8_t(255));
    const auto neutral =
        texel ? m_renderer->textureManager()->createTexture("neutral_lightmap", image) : nullptr;
    for (int k = 0; k < 3; ++k)
        if (neutral) m_prtLighting->setTexture("lightmap" + std::to_string(k), neutral);
    m_prtLighting->setFloat("maxRange", kNeutralRange);
}

void DemoApplication::prepareScene() {
    const bool rebuild = m_cvars->GetInt("makebsp") != 0;
    BakeOptions walk;
    walk.threads = 0; // every core
    if (rebuild) {
        const std::optional<int32_t> rays = m_cvars->GetWholeInt("num_rays");
        logMessage("PRT bake: baking " + m_cvars->GetString("model") + " with " +
                   (rays ? std::to_string(*rays) : "\"" + m_cvars->GetString("num_rays") + "\"") +
                   " rays per texel\n");
        walk.progress = BakeProgressLog();
        walk.stop = [] { return stopRequested(); };
    }
    PrtBakeResult result;
    if (!preparePrtScene(*m_scene->meshLoader(), m_model, walk, result)) {
        if (!m_model || m_model->surfaces().empty()) {
            m_model.reset();
            if (m_missing.empty()) m_missing = m_cvars->GetString("model") + " cannot be loaded";
            logMessage("Demo: no model to draw: " + m_cvars->GetString("model") + "\n");
        } else if (rebuild && m_missing.empty()) {
            // The bake's own line says why it refused; the help panel shows the same.
            m_missing = lastLogged();
        }
        return;
    }
    if (!rebuild) {
        const std::string unsuitable = LightmapPasses::unsuitableReason(*m_model);
        if (!unsuitable.empty() && m_missing.empty()) {
            m_missing = m_cvars->GetString("model") + ": " + unsuitable;
            logMessage("Demo: the model cannot be lit: " + m_missing + "\n");
            useNeutralLight();
        }
        return;
    }
    logMessage("PRT bake: " + std::to_string(result.texels) + " texels, " +
               std::to_string(result.rays) + " rays in " + std::to_string(result.seconds) +
               " s on " + std::to_string(result.workers) + " threads\n");
    // The meshes were loaded without GPU buffers for the bake; they get them now.
    for (const auto& surface : m_model->surfaces()) {
        auto buffer = surface ? std::dynamic_pointer_cast<VertexBuffer>(surface->mesh()) : nullptr;
        if (buffer) m_renderer->vertexBufferMgr()->upload(buffer);
    }
    m_bspView.create(*m_renderer->vertexBufferMgr(), result.treeOutline);
}

} // namespace Vrenn
