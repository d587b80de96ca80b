#include "demo/DemoApplication.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "core/StopRequest.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "geometry/BoxBuilder.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "prt/CompressedTransfer.h"
#include "prt/LightProbes.h"
#include "prt/PanoramaProbe.h"
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
const Vec3 kCameraStart{0.0f, 200.0f, 0.0f};
// Slightly below 4/3, as a 32-bit float.
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

} // namespace

DemoApplication::DemoApplication()
    : m_lightmapPasses(std::make_unique<LightmapPasses>()),
      m_hdrChain(std::make_unique<HdrChain>()) {}

DemoApplication::~DemoApplication() {
    ShutDown();
}

void DemoApplication::ShutDown() {
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
    m_camera->setAspect(kCameraAspect);
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
    m_skyAngle = 0.0f;

    m_extraEntity = m_scene->createEntity(boxBuilder(), kExtraEntitySize, m_wireframeMaterial);
}

void DemoApplication::loadUserProbes() {
    std::array<SHCoeffs, kLightProbeCount> probes = lightProbes();
    for (int slot = 0; slot < kLightProbeCount; ++slot) {
        const std::string setting = "probe" + std::to_string(slot);
        const std::string fileName = m_cvars->GetString(setting);
        if (fileName.empty()) continue;
        // vrenn probe writes probes/NAME.sh and, for its sky, textures/sky/NAME.dds.
        const std::filesystem::path path(fileName);
        const std::string skyName = "textures/sky/" + path.stem().string() + ".dds";
        SHCoeffs coeffs;
        std::string why;
        std::shared_ptr<Texture> sky;
        if (loadProbeCoefficients(fileName, coeffs, why)) {
            auto& textures = *m_renderer->textureManager();
            sky = textures.find(skyName);
            if (!sky) {
                std::string failure;
                std::shared_ptr<Image> image;
                if (!openDataFile(skyName, false, &failure))
                    why = "its sky " + skyName +
                          (failure.empty() ? " is not there" : " cannot be opened: " + failure);
                else if (!(image = loadImage(skyName))->data())
                    why = "its sky " + skyName + " cannot be read";
                else if (textureTypeOf(*image) != TEXTURE_CUBE)
                    why = "its sky " + skyName + " is not a cube map";
                else if (!(sky = textures.createTexture(skyName, image)))
                    why = "its sky " + skyName + " cannot be made a texture";
            } else if (sky->type() != TEXTURE_CUBE) {
                why = "its sky " + skyName + " is not a cube map";
                sky.reset();
            }
        }
        if (!sky) {
            m_probeFallbacks[size_t(slot)] = fileName;
            logMessage("Demo: " + setting + " \"" + fileName + "\" cannot be used (" + why +
                       "); slot " + std::to_string(slot) + " keeps the built-in probe " +
                       kProbeNames[slot] + " and its sky\n");
            continue;
        }
        probes[size_t(slot)] = coeffs;
        if (m_skyMaterial) m_skyMaterial->setTexture("skyCube" + std::to_string(slot), sky);
        m_probeNames[size_t(slot)] = path.filename().string();
        logMessage("Demo: probe slot " + std::to_string(slot) + " is lit by " + fileName +
                   " under the sky " + skyName + "\n");
    }
    m_lighting = PrtLighting(probes);
}

void DemoApplication::placeCameraAtStart() {
    const std::string start = m_cvars->GetString("cam_start");
    if (start.empty()) return;
    std::istringstream in(start);
    Vec3 position;
    float yaw = 0.0f, pitch = 0.0f;
    std::string rest;
    if (!(in >> position.x >> position.y >> position.z >> yaw >> pitch) || (in >> rest) ||
        !std::isfinite(position.x + position.y + position.z + yaw + pitch)) {
        logMessage("Demo: cam_start \"" + start +
                   "\" is not five numbers (x y z yaw pitch); the camera starts at "
                   "(0, 200, 0) facing -z\n");
        return;
    }
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
    CompressedTransfer compressed;
    std::string refused;
    const bool haveCompressed = loadCompressedTransfer("", compressed, refused);
    if (!haveCompressed && !refused.empty())
        logMessage("Demo: " + refused + "; the full transfer is used\n");
    const bool compressedReady =
        haveCompressed &&
        m_lightmapPasses->createCompressed(*m_renderer, materials, compressed, maxSceneLum);
    if (compressedReady) {
        logMessage("Demo: the lightmaps are lit from " + std::string(kCompressedTransferFileName) +
                   " (" + std::to_string(compressed.clusters) + " clusters, " +
                   std::to_string(compressed.components) + " components)\n");
    } else {
        std::array<std::shared_ptr<Texture>, 3> transfer;
        for (size_t f = 0; f < transfer.size(); ++f)
            if (std::filesystem::exists(kTransferFileNames[f]))
                transfer[f] = m_renderer->textureManager()->loadTexture(kTransferFileNames[f], 0);
        if (!transfer[0]) {
            m_missing = std::string(kTransferFileNames[0]) + " is missing";
            logMessage("Demo: the scene is drawn without lighting: " + m_missing + "\n");
        } else if (!m_lightmapPasses->create(*m_renderer, materials, transfer, maxSceneLum,
                                             LightmapPasses::pathFor(*m_renderer))) {
            m_missing = "the transfer textures cannot be used";
        }
    }

    m_prtLighting = materials.getMaterial("prt_lighting");
    m_prtLighting->setFloat("maxRange", maxSceneLum);
    if (m_lightmapPasses->ready()) {
        const auto& lightmaps = m_lightmapPasses->lightmaps();
        for (size_t k = 0; k < lightmaps.size(); ++k)
            m_prtLighting->setTexture("lightmap" + std::to_string(k), lightmaps[k]);
    }

    HdrChainSettings hdr;
    hdr.maxEnvLum = m_cvars->GetFloat("max_env_lum");
    hdr.rtSize = int32_t(m_cvars->GetFloat("r_rtsize"));
    if (!m_hdrChain->create(*m_renderer, materials, hdr)) m_hdr = false;
    logMessage("========================================================\n\n");
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
        }
        return;
    }
    if (!rebuild) {
        const std::string unsuitable = LightmapPasses::unsuitableReason(*m_model);
        if (!unsuitable.empty() && m_missing.empty()) {
            m_missing = m_cvars->GetString("model") + " has no baked atlas";
            logMessage("Demo: the model cannot be lit: " + unsuitable + "\n");
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
