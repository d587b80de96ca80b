#pragma once

#include "fs/Image.h"
#include "import/MaterialScript.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Vrenn {
class CodecMgr;
class Model;
} // namespace Vrenn

namespace Vrenn::Import {

// The largest extent of a model imported without a scale of its own, in world units.
constexpr float kImportedExtent = 1000.0f;

struct ImportOptions {
    std::string name;           // the model's name: [A-Za-z0-9_-], not empty, at most kMaxModelName
    std::optional<float> scale; // world units per model unit; fitted to kImportedExtent if unset
    bool allowOutside = false;  // files the model names may lie outside its folder
};

// One material of an imported model: its block in the material script and its textures,
// RGBA8 with full mip chains (albedo with glossiness in alpha; tangent-space normals with
// x along u and y along v).
struct ImportedMaterial {
    MaterialBlock block;
    Image albedo;
    Image normals;
};

// A model read from a file, in memory, ready to be written into a run folder.
struct ImportedScene {
    std::shared_ptr<Model> model;            // one surface per material, named like its block
    std::vector<ImportedMaterial> materials; // in the order of the surfaces
    float scale = 1.0f;
    uint32_t triangles = 0;
    uint32_t degenerate = 0; // triangles dropped
    uint32_t duplicate = 0;
    std::vector<std::string> warnings; // textures that could not be used, and why
};

// Reads a model file in any format the importer library knows, in the file's own frame
// (the engine's world is right-handed too: a rotation-free, uniformly scaled copy, never
// a mirror image; only texture v is turned so that v = 0 is the picture's top row) with
// node transforms applied, and scaled. Every file the model names (buffers, material
// libraries, textures) is read only when it is a regular file in the model's folder or
// below it (anywhere with allowOutside) of at most kMaxNamedFileBytes; any other is one
// warning and the import goes on without it. Textures come from such files or from the
// model itself through the codec manager, each decoded once, and are halved until no side
// exceeds 8192 texels (with a warning); one that cannot be read is replaced by plain
// white (albedo) or flat (normals), with a warning. A model with a vertex that is not
// finite is refused. False, with why set, when the file
// cannot be read or holds no triangles.
bool importScene(const std::string& fileName, const ImportOptions& options, CodecMgr& codecs,
                 ImportedScene& scene, std::string& why);

// name reduced to the letters, digits, '_' and '-' it holds.
std::string sanitizedName(const std::string& name);

// The longest model name an import uses: its material blocks, "<model>_<material>", must
// fit a mesh file's material names with room for each material's own part.
constexpr size_t kMaxModelName = 32;

// The name a model is imported under: sanitizedName(name), and when that is longer than
// kMaxModelName, its beginning and a short hash of the whole.
std::string modelName(const std::string& name);

} // namespace Vrenn::Import
