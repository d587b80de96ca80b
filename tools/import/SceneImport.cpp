#include "import/SceneImport.h"

#include "assetgen/SceneTextures.h"
#include "fs/CodecMgr.h"
#include "fs/DiskFile.h"
#include "fs/RamFile.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "import/PlanarMesh.h"

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace Vrenn::Import {

namespace {

// Longest material name a mesh file keeps.
constexpr size_t kMaxBlockName = 64;
// Side of the plain textures that stand in for missing ones.
constexpr int kPlainSize = 4;

uint8_t toByte(float value) {
    return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

// An RGBA8 image of width x height with a full mip chain, level 0 zeroed.
bool createChain(Image& image, int width, int height) {
    return image.create(width, height, 1, FORMAT_RGBA8,
                        Image::fullChainLength(uint32_t(width), uint32_t(height), 1), 1) != nullptr;
}

bool plainImage(Image& image, const uint8_t rgba[4]) {
    if (!createChain(image, kPlainSize, kPlainSize)) return false;
    uint8_t* texel = image.data();
    for (size_t i = 0; i < image.byteCount() / 4; ++i)
        std::memcpy(texel + i * 4, rgba, 4);
    return true;
}

// level 0 of a decoded picture as RGBA8 into a new chain; false for formats a material
// texture cannot come in.
bool toRgbaChain(const Image& picture, Image& out, std::string& why) {
    const ImageFormat format = picture.format();
    const int channels = format == FORMAT_L8      ? 1
                         : format == FORMAT_RGB8  ? 3
                         : format == FORMAT_RGBA8 ? 4
                                                  : 0;
    if (channels == 0 || picture.faces() != 1 || picture.depth() > 1) {
        why = "an image of format " + std::to_string(int(format)) +
              (picture.faces() != 1 ? " with cube faces" : "") + " is no surface texture";
        return false;
    }
    if (!createChain(out, picture.width(), picture.height())) {
        why = "out of memory";
        return false;
    }
    const uint8_t* from = picture.getLevelData(0);
    uint8_t* to = out.data();
    const size_t texels = size_t(picture.width()) * size_t(picture.height());
    for (size_t i = 0; i < texels; ++i, from += channels, to += 4) {
        to[0] = from[0];
        to[1] = from[channels >= 3 ? 1 : 0];
        to[2] = from[channels >= 3 ? 2 : 0];
        to[3] = channels == 4 ? from[3] : 255;
    }
    return true;
}

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Decodes a texture the material names: embedded in the scene ("*0", or a name the file
// holds) or a file beside the model.
bool readTexture(const aiScene& scene, const std::string& reference,
                 const std::filesystem::path& folder, CodecMgr& codecs, Image& out,
                 std::string& why) {
    Image picture;
    if (const aiTexture* embedded = scene.GetEmbeddedTexture(reference.c_str())) {
        if (embedded->mHeight != 0) {
            // Raw texels, blue first.
            if (!createChain(out, int(embedded->mWidth), int(embedded->mHeight))) {
                why = "out of memory";
                return false;
            }
            const size_t texels = size_t(embedded->mWidth) * embedded->mHeight;
            for (size_t i = 0; i < texels; ++i) {
                const aiTexel& t = embedded->pcData[i];
                const uint8_t rgba[4] = {t.r, t.g, t.b, t.a};
                std::memcpy(out.data() + i * 4, rgba, 4);
            }
            return true;
        }
        const std::string hint = lower(embedded->achFormatHint);
        auto codec = codecs.getCodec(hint);
        if (!codec) {
            why = "no image codec for embedded '" + hint + "' data";
            return false;
        }
        std::shared_ptr<File> file =
            std::make_shared<RamFile>(embedded->pcData, uint32_t(embedded->mWidth));
        if (!codec->decode(file, picture)) {
            why = "the " + hint + " codec refused the embedded picture";
            return false;
        }
        return toRgbaChain(picture, out, why);
    }
    std::string relative = reference;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    const std::filesystem::path path = folder / relative;
    const auto extension = CodecMgr::extensionOf(path.filename().string());
    auto codec = extension ? codecs.getCodec(lower(*extension)) : nullptr;
    if (!codec) {
        why = "no image codec for " + path.string();
        return false;
    }
    auto disk = std::make_shared<DiskFile>(path.string(), DISK_READ);
    if (!disk->isOpen()) {
        why = "cannot open " + path.string() + ": " + disk->openFailure();
        return false;
    }
    std::shared_ptr<File> file = disk;
    if (!codec->decode(file, picture)) {
        why = "cannot decode " + path.string();
        return false;
    }
    return toRgbaChain(picture, out, why);
}

// The first texture of the material among types, or empty.
std::string textureReference(const aiMaterial& material,
                             std::initializer_list<aiTextureType> types) {
    for (aiTextureType type : types) {
        aiString path;
        if (material.GetTextureCount(type) > 0 &&
            material.GetTexture(type, 0, &path) == aiReturn_SUCCESS && path.length > 0)
            return path.C_Str();
    }
    return {};
}

// Albedo and normal map of one material, with stand-ins for what cannot be read.
void convertTextures(const aiScene& scene, const aiMaterial& material,
                     const std::filesystem::path& folder, CodecMgr& codecs, ImportedMaterial& out,
                     std::vector<std::string>& warnings) {
    aiColor4D colour(1.0f, 1.0f, 1.0f, 1.0f);
    if (material.Get(AI_MATKEY_BASE_COLOR, colour) != aiReturn_SUCCESS)
        material.Get(AI_MATKEY_COLOR_DIFFUSE, colour);
    float roughness = 1.0f;
    material.Get(AI_MATKEY_ROUGHNESS_FACTOR, roughness);
    const uint8_t gloss = toByte(1.0f - roughness);

    static const uint8_t kWhite[4] = {255, 255, 255, 255};
    static const uint8_t kFlat[4] = {128, 128, 255, 255};
    std::string why;
    const std::string albedo =
        textureReference(material, {aiTextureType_BASE_COLOR, aiTextureType_DIFFUSE});
    if (albedo.empty() || !readTexture(scene, albedo, folder, codecs, out.albedo, why)) {
        if (!albedo.empty())
            warnings.push_back(out.block.name + ": base colour texture " + albedo + ": " + why +
                               "; using plain white");
        plainImage(out.albedo, kWhite);
    }
    // The base colour multiplies the texture; alpha holds the glossiness.
    uint8_t* texel = out.albedo.getLevelData(0);
    for (size_t i = 0; i < size_t(out.albedo.width()) * size_t(out.albedo.height()); ++i) {
        texel[i * 4 + 0] = toByte(texel[i * 4 + 0] / 255.0f * colour.r);
        texel[i * 4 + 1] = toByte(texel[i * 4 + 1] / 255.0f * colour.g);
        texel[i * 4 + 2] = toByte(texel[i * 4 + 2] / 255.0f * colour.b);
        texel[i * 4 + 3] = gloss;
    }
    AssetGen::buildMipChain(out.albedo, false);

    const std::string normals = textureReference(material, {aiTextureType_NORMALS});
    if (normals.empty() || !readTexture(scene, normals, folder, codecs, out.normals, why)) {
        if (!normals.empty())
            warnings.push_back(out.block.name + ": normal texture " + normals + ": " + why +
                               "; using flat normals");
        plainImage(out.normals, kFlat);
    } else {
        // Model files keep y pointing up the picture; ours runs along v, down it.
        uint8_t* n = out.normals.getLevelData(0);
        for (size_t i = 0; i < size_t(out.normals.width()) * size_t(out.normals.height()); ++i) {
            n[i * 4 + 1] = uint8_t(255 - n[i * 4 + 1]);
            n[i * 4 + 3] = 255;
        }
    }
    AssetGen::buildMipChain(out.normals, true);
}

// Unique block names "<model>_<material>", at most kMaxBlockName bytes.
std::string blockName(const std::string& model, const std::string& material, uint32_t index,
                      std::set<std::string>& taken) {
    std::string base = sanitizedName(material);
    if (base.empty()) base = "material" + std::to_string(index);
    base = model + "_" + base;
    std::string name = base.substr(0, kMaxBlockName);
    for (uint32_t n = 2; !taken.insert(name).second; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        name = base.substr(0, kMaxBlockName - suffix.size()) + suffix;
    }
    return name;
}

} // namespace

std::string sanitizedName(const std::string& name) {
    std::string out;
    for (char c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-') out += c;
    return out;
}

bool importScene(const std::string& fileName, const ImportOptions& options, CodecMgr& codecs,
                 ImportedScene& scene, std::string& why) {
    Assimp::Importer importer;
    const aiScene* source = importer.ReadFile(
        fileName, aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_PreTransformVertices |
                      aiProcess_ConvertToLeftHanded | aiProcess_GenUVCoords |
                      aiProcess_TransformUVCoords | aiProcess_ValidateDataStructure);
    if (!source || (source->mFlags & AI_SCENE_FLAGS_INCOMPLETE)) {
        why = importer.GetErrorString();
        if (why.empty()) why = "the file holds no scene";
        return false;
    }

    // Each material's triangles, in the order of the materials.
    std::map<uint32_t, TriangleSoup> soups;
    std::map<uint32_t, bool> withoutUvs;
    Vec3 low{}, high{};
    bool any = false;
    for (uint32_t m = 0; m < source->mNumMeshes; ++m) {
        const aiMesh& mesh = *source->mMeshes[m];
        // Points and lines (sorted into meshes of their own) are of no use to the bake.
        if (!(mesh.mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) continue;
        TriangleSoup& soup = soups[mesh.mMaterialIndex];
        const bool uvs = mesh.HasTextureCoords(0);
        if (!uvs) withoutUvs[mesh.mMaterialIndex] = true;
        for (uint32_t f = 0; f < mesh.mNumFaces; ++f) {
            const aiFace& face = mesh.mFaces[f];
            if (face.mNumIndices != 3) continue;
            for (int c = 0; c < 3; ++c) {
                const uint32_t i = face.mIndices[c];
                const aiVector3D& p = mesh.mVertices[i];
                const Vec3 v{p.x, p.y, p.z};
                soup.corners.push_back(v);
                if (uvs)
                    soup.uvs.insert(soup.uvs.end(),
                                    {mesh.mTextureCoords[0][i].x, mesh.mTextureCoords[0][i].y});
                low = any ? Vec3{std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)}
                          : v;
                high =
                    any ? Vec3{std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)}
                        : v;
                any = true;
            }
        }
    }
    // A material whose meshes partly lack coordinates gets planar ones throughout.
    for (const auto& [material, missing] : withoutUvs)
        if (missing) soups[material].uvs.clear();

    const Vec3 size = high - low;
    const float extent = std::max({size.x, size.y, size.z});
    if (options.scale) {
        scene.scale = *options.scale;
    } else if (extent > 0.0f && std::isfinite(extent)) {
        scene.scale = kImportedExtent / extent;
    }

    scene.model = std::make_shared<Model>();
    scene.materials.clear();
    scene.triangles = scene.degenerate = scene.duplicate = 0;
    std::set<std::string> taken;
    const std::filesystem::path folder = std::filesystem::path(fileName).parent_path();
    for (auto& [index, soup] : soups) {
        for (Vec3& corner : soup.corners)
            corner *= scene.scale;
        PlanarMeshStats stats;
        std::shared_ptr<Mesh> mesh = buildPlanarMesh(soup, stats);
        scene.degenerate += stats.degenerate;
        scene.duplicate += stats.duplicate;
        if (!mesh) continue;
        scene.triangles += stats.triangles;
        const aiMaterial* material =
            index < source->mNumMaterials ? source->mMaterials[index] : nullptr;
        ImportedMaterial imported;
        aiString materialName;
        if (material) material->Get(AI_MATKEY_NAME, materialName);
        imported.block.name = blockName(options.name, materialName.C_Str(), index, taken);
        const std::string stem =
            "textures/" + options.name + "/" + imported.block.name.substr(options.name.size() + 1);
        imported.block.albedo = stem + "_albedo.dds";
        imported.block.normal = stem + "_normal.dds";
        static const aiMaterial kDefault;
        convertTextures(*source, material ? *material : kDefault, folder, codecs, imported,
                        scene.warnings);
        auto surface = std::make_shared<Surface>();
        surface->setMaterial(imported.block.name);
        surface->setMesh(mesh);
        scene.model->addSurface(surface);
        scene.materials.push_back(std::move(imported));
    }
    if (scene.model->surfaces().empty()) {
        why = "the file holds no triangles";
        return false;
    }
    return true;
}

} // namespace Vrenn::Import
