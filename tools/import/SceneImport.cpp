#include "import/SceneImport.h"

#include "assetgen/SceneTextures.h"
#include "fs/CodecMgr.h"
#include "fs/DiskFile.h"
#include "fs/RamFile.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"
#include "import/GltfCheck.h"
#include "import/NamedFiles.h"
#include "import/PlanarMesh.h"

#include <algorithm>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace Vrenn::Import {

namespace {

// Longest material name a mesh file keeps.
constexpr size_t kMaxBlockName = 64;
// Textures larger than this on either side are halved until they fit.
constexpr int kMaxTextureSide = 8192;
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

// A file the importer library opened, read whole into memory.
class MemoryStream : public Assimp::IOStream {
public:
    explicit MemoryStream(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    size_t Read(void* buffer, size_t size, size_t count) override {
        if (size == 0) return 0;
        const size_t items = std::min(count, (m_bytes.size() - m_at) / size);
        std::memcpy(buffer, m_bytes.data() + m_at, items * size);
        m_at += items * size;
        return items;
    }
    size_t Write(const void*, size_t, size_t) override { return 0; }
    aiReturn Seek(size_t offset, aiOrigin origin) override {
        const size_t base = origin == aiOrigin_SET   ? 0
                            : origin == aiOrigin_CUR ? m_at
                                                     : m_bytes.size();
        if (offset > m_bytes.size() - base) return aiReturn_FAILURE;
        m_at = base + offset;
        return aiReturn_SUCCESS;
    }
    size_t Tell() const override { return m_at; }
    size_t FileSize() const override { return m_bytes.size(); }
    void Flush() override {}

private:
    std::vector<uint8_t> m_bytes;
    size_t m_at = 0;
};

// Every file the importer library opens, the model's own and those it names: only what
// the rules allow, read whole; each named file refused is one warning, and the library
// goes on without it as it does with a missing file.
class GuardedFiles : public Assimp::IOSystem {
public:
    GuardedFiles(std::string model, FileRules rules, std::vector<std::string>& warnings)
        : m_model(std::move(model)), m_rules(std::move(rules)), m_warnings(warnings) {}

    bool Exists(const char* name) const override {
        std::error_code error;
        return std::filesystem::is_regular_file(name, error);
    }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* name, const char* mode) override {
        if (!name || !mode || std::strchr(mode, 'w') || std::strchr(mode, 'a')) return nullptr;
        std::vector<uint8_t> bytes;
        std::string why;
        if (readNamedFile(name, m_rules, bytes, why)) return new MemoryStream(std::move(bytes));
        // An OBJ without the material library it names tries one of its own name: no
        // warning for a file the user never named.
        const std::string fallback =
            m_model.size() > 3 ? m_model.substr(0, m_model.size() - 3) + "mtl" : std::string();
        if (name != m_model && !(name == fallback && why == "cannot be found") &&
            m_refused.insert(name).second)
            m_warnings.push_back(std::string(name) + " " + why + "; going on without it");
        return nullptr;
    }
    void Close(Assimp::IOStream* file) override { delete file; }

private:
    std::string m_model;
    FileRules m_rules;
    std::vector<std::string>& m_warnings;
    std::set<std::string> m_refused;
};

std::string lower(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Decodes a texture the material names: embedded in the scene ("*0", or a name the file
// holds) or a file beside the model.
bool readTexture(const aiScene& scene, const std::string& reference, const FileRules& rules,
                 CodecMgr& codecs, Image& out, std::string& why) {
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
    const std::filesystem::path path = rules.folder / relative;
    const auto extension = CodecMgr::extensionOf(path.filename().string());
    auto codec = extension ? codecs.getCodec(lower(*extension)) : nullptr;
    if (!codec) {
        why = "no image codec for " + path.string();
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!readNamedFile(path, rules, bytes, why)) {
        why = path.string() + " " + why;
        return false;
    }
    if (bytes.size() > UINT32_MAX) {
        why = path.string() + " is too large";
        return false;
    }
    std::shared_ptr<File> file = std::make_shared<RamFile>(bytes.data(), uint32_t(bytes.size()));
    if (!codec->decode(file, picture)) {
        why = "cannot decode " + path.string();
        return false;
    }
    return toRgbaChain(picture, out, why);
}

// Halves an RGBA8 picture (2 x 2 texel boxes) until neither side exceeds kMaxTextureSide.
void capSize(Image& picture) {
    while (picture.width() > kMaxTextureSide || picture.height() > kMaxTextureSide) {
        const int w = std::max(1, picture.width() / 2), h = std::max(1, picture.height() / 2);
        Image smaller;
        if (!createChain(smaller, w, h)) return;
        const uint8_t* from = picture.getLevelData(0);
        uint8_t* to = smaller.data();
        const size_t pitch = size_t(picture.width()) * 4;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) {
                    const size_t x0 = size_t(std::min(2 * x, picture.width() - 1)) * 4 + c;
                    const size_t x1 = size_t(std::min(2 * x + 1, picture.width() - 1)) * 4 + c;
                    const size_t y0 = size_t(std::min(2 * y, picture.height() - 1)) * pitch;
                    const size_t y1 = size_t(std::min(2 * y + 1, picture.height() - 1)) * pitch;
                    to[(size_t(y) * w + x) * 4 + c] = uint8_t(
                        (from[y0 + x0] + from[y0 + x1] + from[y1 + x0] + from[y1 + x1] + 2) / 4);
                }
        picture = std::move(smaller);
    }
}

// The pictures a model's materials name, each read and decoded once however many
// materials use it; out is a copy of level 0 in a chain of its own.
class PictureCache {
public:
    PictureCache(const aiScene& scene, FileRules rules, CodecMgr& codecs,
                 std::vector<std::string>& warnings)
        : m_scene(scene), m_rules(std::move(rules)), m_codecs(codecs), m_warnings(warnings) {}

    bool get(const std::string& reference, Image& out, std::string& why) {
        auto found = m_pictures.find(reference);
        if (found == m_pictures.end()) {
            Entry entry;
            entry.ok = readTexture(m_scene, reference, m_rules, m_codecs, entry.picture, entry.why);
            if (entry.ok && (entry.picture.width() > kMaxTextureSide ||
                             entry.picture.height() > kMaxTextureSide)) {
                const std::string before = std::to_string(entry.picture.width()) + "x" +
                                           std::to_string(entry.picture.height());
                capSize(entry.picture);
                m_warnings.push_back(reference + " is " + before + "; scaled down to " +
                                     std::to_string(entry.picture.width()) + "x" +
                                     std::to_string(entry.picture.height()));
            }
            found = m_pictures.emplace(reference, std::move(entry)).first;
        }
        const Entry& entry = found->second;
        why = entry.why;
        if (!entry.ok) return false;
        if (!createChain(out, entry.picture.width(), entry.picture.height())) {
            why = "out of memory";
            return false;
        }
        std::memcpy(out.data(), entry.picture.getLevelData(0),
                    size_t(entry.picture.width()) * size_t(entry.picture.height()) * 4);
        return true;
    }

private:
    struct Entry {
        bool ok = false;
        Image picture;
        std::string why;
    };
    const aiScene& m_scene;
    FileRules m_rules;
    CodecMgr& m_codecs;
    std::vector<std::string>& m_warnings;
    std::map<std::string, Entry> m_pictures;
};

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
void convertTextures(const aiMaterial& material, PictureCache& pictures, ImportedMaterial& out,
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
    if (albedo.empty() || !pictures.get(albedo, out.albedo, why)) {
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
    if (normals.empty() || !pictures.get(normals, out.normals, why)) {
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

// Eight hexadecimal digits of a 32-bit FNV-1a hash of text.
std::string shortHash(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    return digits;
}

// text, or when longer than limit its first bytes, '_' and a hash of the whole, limit
// bytes in all, so that two long names that share a beginning stay apart.
std::string shortened(const std::string& text, size_t limit) {
    if (text.size() <= limit) return text;
    const std::string hash = shortHash(text);
    return text.substr(0, limit - hash.size() - 1) + "_" + hash;
}

// Unique block names "<model>_<material>", at most kMaxBlockName bytes; the model's
// name is at most kMaxModelName, so every material keeps a part of its own (and its
// textures a file of their own).
std::string blockName(const std::string& model, const std::string& material, uint32_t index,
                      std::set<std::string>& taken) {
    std::string base = sanitizedName(material);
    if (base.empty()) base = "material" + std::to_string(index);
    const size_t room = kMaxBlockName - model.size() - 1;
    std::string name = model + "_" + shortened(base, room);
    for (uint32_t n = 2; !taken.insert(name).second; ++n) {
        const std::string suffix = "_" + std::to_string(n);
        name = model + "_" + shortened(base, room - suffix.size()) + suffix;
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

std::string modelName(const std::string& name) {
    return shortened(sanitizedName(name), kMaxModelName);
}

bool importScene(const std::string& fileName, const ImportOptions& options, CodecMgr& codecs,
                 ImportedScene& scene, std::string& why) {
    FileRules rules;
    rules.folder = std::filesystem::path(fileName).parent_path();
    rules.allowOutside = options.allowOutside;
    FileRules own = rules;
    own.allowOutside = true; // the model itself may lie anywhere
    std::vector<uint8_t> bytes;
    if (!readNamedFile(fileName, own, bytes, why)) {
        why = "it " + why;
        return false;
    }
    const std::string extension = lower(std::filesystem::path(fileName).extension().string());
    const bool glb =
        extension == ".glb" || (bytes.size() >= 4 && std::memcmp(bytes.data(), "glTF", 4) == 0);
    if ((glb || extension == ".gltf") && !checkGltf(bytes, glb, rules, why)) return false;
    bytes.clear();
    scene.warnings.clear();
    Assimp::Importer importer;
    // The importer takes the handler over and deletes it.
    importer.SetIOHandler(new GuardedFiles(fileName, rules, scene.warnings));
    const aiScene* source = importer.ReadFile(
        fileName, aiProcess_Triangulate | aiProcess_SortByPType | aiProcess_PreTransformVertices |
                      aiProcess_FlipUVs | aiProcess_GenUVCoords | aiProcess_TransformUVCoords |
                      aiProcess_ValidateDataStructure);
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
                if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
                    why = "a vertex is not finite (" + std::to_string(v.x) + " " +
                          std::to_string(v.y) + " " + std::to_string(v.z) + ")";
                    return false;
                }
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
    PictureCache pictures(*source, rules, codecs, scene.warnings);
    const std::string model = modelName(options.name);
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
        imported.block.name = blockName(model, materialName.C_Str(), index, taken);
        const std::string stem =
            "textures/" + model + "/" + imported.block.name.substr(model.size() + 1);
        imported.block.albedo = stem + "_albedo.dds";
        imported.block.normal = stem + "_normal.dds";
        static const aiMaterial kDefault;
        convertTextures(material ? *material : kDefault, pictures, imported, scene.warnings);
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
