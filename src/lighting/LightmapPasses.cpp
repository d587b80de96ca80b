#include "lighting/LightmapPasses.h"

#include "core/Log.h"
#include "fs/Image.h"
#include "fs/ImageFormat.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "geometry/VertexElement.h"
#include "prt/CompressedTransfer.h"
#include "prt/PrtLighting.h"
#include "render/Effect.h"
#include "render/Renderer.h"
#include "render/Texture.h"
#include "render/TextureManager.h"
#include "render/VertexBuffer.h"
#include "scene/DrawMesh.h"
#include "scene/Material.h"
#include "scene/MaterialMgr.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace Vrenn {

namespace {

constexpr int32_t kTransferSlices[3] = {8, 8, 4};
constexpr const char* kTransferNames[3] = {"shtex0", "shtex1", "shtex2"};
// Texture-coordinate set 1 holds the atlas position and the outline push of every vertex.
constexpr uint32_t kAtlasSet = 1;

// Values differ per material, so they are set on the material, which hands them to its
// effect when it is applied; setting a name again replaces its value.
template <class List> void push(Material& material, const List& parameters) {
    for (const LightingParameter& p : parameters)
        material.setVector(p.name, p.value);
}

// Whether mask 9 binds the mesh's texture-coordinate set 1 as the bake writes it: 4 components
// in stream 0 or 3, and the mesh has a stream 3 for the mask to name.
bool atlasStreamBound(const Mesh& mesh) {
    const VertexElement* atlas = mesh.findElementRecord(USAGE_TEXCOORD, kAtlasSet);
    return atlas && atlas->componentCount == 4 && (atlas->stream == 0 || atlas->stream == 3) &&
           mesh.streamCount() >= 4;
}

} // namespace

LightmapPath LightmapPasses::pathFor(const Renderer& renderer) {
    return renderer.capabilities().pixelShaderVersion >= shaderVersion(3, 0)
               ? LightmapPath::OnePass
               : LightmapPath::ThreePass;
}

std::string LightmapPasses::unsuitableReason(const Model& model) {
    if (model.surfaces().empty()) return "the model has no surfaces";
    for (size_t s = 0; s < model.surfaces().size(); ++s) {
        const auto& surface = model.surfaces()[s];
        const Mesh* mesh = surface ? surface->mesh().get() : nullptr;
        const std::string which = "surface " + std::to_string(s);
        if (!mesh) return which + " has no mesh";
        const VertexElement* atlas = mesh->findElementRecord(USAGE_TEXCOORD, kAtlasSet);
        if (!atlas) return which + " has no texture-coordinate set 1 (bake the model first)";
        // With fewer, the shader would read the missing push as (0, 1): a whole atlas off.
        if (atlas->componentCount != 4)
            return which + " has texture-coordinate set 1 with " +
                   std::to_string(atlas->componentCount) +
                   " components, not the 4 of a bake (atlas position and outline push)";
        if (!atlasStreamBound(*mesh))
            return which + " holds texture-coordinate set 1 in stream " +
                   std::to_string(atlas->stream) + " of " + std::to_string(mesh->streamCount()) +
                   "; the lightmap passes bind streams 0 and 3 only";
    }
    return {};
}

bool LightmapPasses::create(Renderer& renderer, MaterialMgr& materials,
                            const std::array<std::shared_ptr<Texture>, 3>& transfer,
                            float maxSceneLum, LightmapPath path) {
    if (!beginCreate(maxSceneLum)) return false;
    for (int f = 0; f < 3; ++f) {
        const auto& t = transfer[size_t(f)];
        const std::string name = std::string(kTransferNames[f]) + ".dds";
        if (!t) return refuse(name + " is missing; the lighting is skipped");
        if (t->type() != TEXTURE_VOLUME || t->depth() != kTransferSlices[f] ||
            t->format() != FORMAT_RGBA16F)
            return refuse(name + " is not " + std::to_string(kTransferSlices[f]) +
                          " slices of four half floats; the lighting is skipped");
    }
    const int32_t width = transfer[0]->width(), height = transfer[0]->height();
    for (int f = 1; f < 3; ++f)
        if (transfer[size_t(f)]->width() != width || transfer[size_t(f)]->height() != height)
            return refuse(
                "the transfer textures differ in size (" + std::to_string(width) + "x" +
                std::to_string(height) + " and " + std::to_string(transfer[size_t(f)]->width()) +
                "x" + std::to_string(transfer[size_t(f)]->height()) + "); the lighting is skipped");
    if (width <= 0 || height <= 0) return refuse("the transfer textures are empty");
    if (!renderer.renderTargetMgr()) return refuse("no render target manager");
    m_width = width;
    m_height = height;
    const Vector4 maxValue{maxSceneLum, maxSceneLum, maxSceneLum, 1.0f / maxSceneLum};
    auto material = [&](const char* name, std::shared_ptr<Material>& out) {
        return findMaterial(materials, name, out);
    };
    auto group = [&](const char* name, int32_t format, RenderTargetList& out) {
        return makeGroup(renderer, name, format, out);
    };

    if (path == LightmapPath::ThreePass) {
        if (!material("render_lightmaps012", m_pass012) ||
            !material("render_lightmaps34", m_pass34) ||
            !material("combine_lightmaps", m_combine) ||
            !group(kLightmapGroup012, FORMAT_RGBA16F, m_bands012) ||
            !group(kLightmapGroup34, FORMAT_RGBA16F, m_bands34) ||
            !group(kLightmapGroup, FORMAT_RGBA8, m_lightmaps))
            return false;
        m_pass012->setTexture("shtex0", transfer[0]);
        m_pass34->setTexture("shtex1", transfer[1]);
        m_pass34->setTexture("shtex2", transfer[2]);
        m_combine->setVector("maxValue", maxValue);
        const char* channels = "rgb";
        for (size_t k = 0; k < 3; ++k) {
            m_combine->setTexture(std::string("lightmap012") + channels[k], m_bands012[k]);
            m_combine->setTexture(std::string("lightmap34") + channels[k], m_bands34[k]);
        }
    } else {
        if (!material("render_lightmaps", m_onePass) ||
            !group(kLightmapGroup, FORMAT_RGBA8, m_lightmaps))
            return false;
        for (size_t f = 0; f < 3; ++f)
            m_onePass->setTexture(kTransferNames[f], transfer[f]);
        m_onePass->setVector("maxValue", maxValue);
    }
    m_path = path == LightmapPath::ThreePass ? path : LightmapPath::OnePass;
    m_ready = true;
    return true;
}

// The log line, and the reason kept for whoever shows it (without the consequence).
bool LightmapPasses::refuse(const std::string& why) const {
    logMessage("LightmapPasses: " + why + "\n");
    m_failure = why.substr(0, why.find("; the lighting is skipped"));
    return false;
}

bool LightmapPasses::findMaterial(MaterialMgr& materials, const char* name,
                                  std::shared_ptr<Material>& out) const {
    out = materials.getMaterial(name);
    if (!out || !out->effect())
        return refuse(std::string("the material ") + name +
                      " has no effect; the lighting is skipped");
    return true;
}

// What every create does first: nothing from an earlier create stays usable, and M is checked.
bool LightmapPasses::beginCreate(float maxSceneLum) {
    m_ready = false;
    m_failure.clear();
    m_lightmaps.clear();
    m_bands012.clear();
    m_bands34.clear();
    return checkMaxSceneLum(maxSceneLum);
}

bool LightmapPasses::checkMaxSceneLum(float maxSceneLum) const {
    // 1 / M goes to the shaders: a zero, negative or non-finite M would send infinities or
    // flip every lightmap to black.
    if (!(maxSceneLum > 0.0f) || !std::isfinite(maxSceneLum))
        return refuse("max_scene_lum must be above 0 (it is " + std::to_string(maxSceneLum) +
                      "); the lighting is skipped");
    return true;
}

// A group made earlier under the same names (by an earlier create) is taken again when it has
// the size; one of another size gives way to a new group.
bool LightmapPasses::makeGroup(Renderer& renderer, const char* name, int32_t format,
                               RenderTargetList& out) const {
    const auto& targets = renderer.renderTargetMgr();
    out.clear();
    for (int i = 0; i < 3; ++i) {
        auto existing = targets->find(name + std::to_string(i));
        if (existing && existing->width() == m_width && existing->height() == m_height)
            out.push_back(std::move(existing));
    }
    if (out.size() == 3) return true;
    for (int i = 0; i < 3; ++i)
        targets->remove(name + std::to_string(i));
    out = targets->createMRT(name, m_width, m_height, {format, format, format}, 0, 0, 0);
    if (out.size() != 3) {
        out.clear();
        return refuse(std::string("the targets ") + name + " cannot be made");
    }
    return true;
}

bool LightmapPasses::createCompressed(Renderer& renderer, MaterialMgr& materials,
                                      const CompressedTransfer& transfer, float maxSceneLum) {
    if (!beginCreate(maxSceneLum)) return false;
    if (transfer.width <= 0 || transfer.height <= 0 ||
        transfer.texelCluster.size() != transfer.texelCount())
        return refuse("the compressed transfer is empty; the lighting is skipped");
    if (transfer.clusters > kMaxClusters || transfer.components > kMaxComponents)
        return refuse("the compressed transfer has too many clusters or components");
    if (!renderer.renderTargetMgr() || !renderer.textureManager())
        return refuse("no render target or texture manager");
    m_width = transfer.width;
    m_height = transfer.height;
    if (!findMaterial(materials, "render_lightmaps_compressed", m_compressed) ||
        !makeGroup(renderer, kLightmapGroup, FORMAT_RGBA8, m_lightmaps))
        return false;

    // The texels' groups as a volume; a single group gets a slice of zeros beside it, as one
    // slice would make a 2D texture.
    const uint32_t groups = texelGroups(transfer.components);
    const std::vector<uint16_t> planes = texelGroupPlanes(transfer);
    auto texels = std::make_shared<Image>();
    uint8_t* data = texels->create(m_width, m_height, int32_t(std::max<uint32_t>(groups, 2)),
                                   FORMAT_RGBA16F, 1, 1);
    if (!data) return refuse("no memory for the compressed transfer");
    std::memcpy(data, planes.data(), planes.size() * sizeof(uint16_t));
    auto texelTexture =
        renderer.textureManager()->createTexture("compressed_transfer_texels", texels);
    if (!texelTexture) return refuse("the compressed transfer cannot be uploaded");

    m_clusters = std::make_shared<CompressedTransfer>();
    m_clusters->width = transfer.width;
    m_clusters->height = transfer.height;
    m_clusters->clusters = transfer.clusters;
    m_clusters->components = transfer.components;
    m_clusters->table = transfer.table;
    m_litImage = std::make_shared<Image>();
    if (!m_litImage->create(int32_t(9 * groups), int32_t(std::max<uint32_t>(transfer.clusters, 1)),
                            1, FORMAT_RGBA32F, 1, 1))
        return refuse("no memory for the lit clusters");
    m_litTexture = renderer.textureManager()->createTexture("compressed_transfer_lit", m_litImage);
    if (!m_litTexture) return refuse("the lit clusters cannot be uploaded");

    m_compressed->setTexture("texelGroups", texelTexture);
    m_compressed->setTexture("litClusters", m_litTexture);
    m_compressed->setInt("groups", int32_t(groups));
    m_compressed->setVector("maxValue",
                            Vector4{maxSceneLum, maxSceneLum, maxSceneLum, 1.0f / maxSceneLum});
    m_path = LightmapPath::Compressed;
    m_ready = true;
    return true;
}

void LightmapPasses::drawModel(Renderer& renderer, const Material& material,
                               const Model& model) const {
    for (const auto& surface : model.surfaces()) {
        auto buffer = surface ? std::dynamic_pointer_cast<VertexBuffer>(surface->mesh()) : nullptr;
        if (!buffer || !atlasStreamBound(*buffer)) continue;
        const uint32_t mask = buffer->streamMask();
        buffer->setStreamMask(kLightmapStreamMask);
        drawMesh(*buffer, material, renderer);
        buffer->setStreamMask(mask);
    }
}

bool LightmapPasses::render(Renderer& renderer, const PrtLighting& lighting, const Model& model) {
    if (!m_ready) return false;
    auto pass = [&](const RenderTargetList& group, const Material& material) {
        renderer.setRenderTargets(group);
        renderer.clear(true, false, false);
        drawModel(renderer, material, model);
    };
    if (m_path == LightmapPath::Compressed) {
        // The clusters' vectors lit by this frame's lighting, up to the GPU as a new texture.
        lightClusters(*m_clusters, lighting.lighting(), m_lit);
        if (!m_lit.empty())
            std::memcpy(m_litImage->data(), m_lit.data(), m_lit.size() * sizeof(float));
        m_litTexture->setImage(m_litImage);
        const bool uploaded = renderer.textureManager()->upload(m_litTexture);
        m_litTexture->releaseImage();
        if (!uploaded) return false;
        pass(m_lightmaps, *m_compressed);
    } else if (m_path == LightmapPath::ThreePass) {
        push(*m_pass012, lighting.bands012Parameters());
        pass(m_bands012, *m_pass012);
        push(*m_pass34, lighting.bands34Parameters());
        pass(m_bands34, *m_pass34);
        push(*m_combine, lighting.combineParameters());
        pass(m_lightmaps, *m_combine);
    } else {
        push(*m_onePass, lighting.onePassParameters());
        pass(m_lightmaps, *m_onePass);
    }
    return true;
}

} // namespace Vrenn
