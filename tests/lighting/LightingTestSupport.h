#pragma once

#include "fs/CodecMgr.h"
#include "fs/Image.h"
#include "geometry/Model.h"
#include "geometry/PolyPack.h"
#include "geometry/Surface.h"
#include "prt/TransferTextures.h"
#include "render/Renderer.h"
#include "render/TextureManager.h"
#include "render/VertexBufferMgr.h"
#include "scene/MaterialMgr.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>

namespace Vrenn::Test {

// Loads material scripts of data/ (and a script text of the test's own) as the program does, from
// inside data/: they name their effects and textures relative to it, in formats the standard
// codecs read. False when one fails.
inline bool loadDataMaterials(MaterialMgr& materials, std::initializer_list<const char*> scripts,
                              const std::string& text = {}) {
    std::optional<CodecMgr> codecs; // unless the caller has them already
    if (!CodecMgr::instance()) registerStandardCodecs(codecs.emplace());
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(VRENN_DATA_DIR);
    bool loaded = true;
    for (const char* script : scripts)
        loaded = materials.loadScript(script) && loaded;
    loaded = (text.empty() || materials.loadScriptText(text)) && loaded;
    std::filesystem::current_path(cwd);
    return loaded;
}

// The model's surfaces packed into a 32 x 32 atlas and baked by the baker; the meshes uploaded
// and the three transfer files of the bake uploaded as textures named prefix + file name.
inline std::array<std::shared_ptr<Texture>, 3> bakeTransfer(PolyPack& pack, const Model& model,
                                                            TexelBaker& baker, Renderer& renderer,
                                                            const std::string& prefix) {
    for (const auto& surface : model.surfaces())
        EXPECT_TRUE(pack.addSurface(surface->mesh(), true, true));
    EXPECT_TRUE(pack.packAtlas(32, 32, kTransferPlaneCount, kTransferFormat, 1, 4.0f));
    EXPECT_TRUE(pack.buildTree());
    EXPECT_TRUE(pack.bake(baker, BakeOptions{}, nullptr));
    for (const auto& surface : model.surfaces())
        EXPECT_TRUE(renderer.vertexBufferMgr()->upload(
            std::dynamic_pointer_cast<VertexBuffer>(surface->mesh())));
    std::array<std::shared_ptr<Texture>, 3> transfer;
    for (int f = 0; f < 3; ++f) {
        auto image = std::make_shared<Image>();
        EXPECT_TRUE(transferFileImage(*pack.bakeImage(), f, *image));
        transfer[size_t(f)] =
            renderer.textureManager()->createTexture(prefix + kTransferFileNames[f], image);
        EXPECT_TRUE(transfer[size_t(f)]);
    }
    return transfer;
}

} // namespace Vrenn::Test
