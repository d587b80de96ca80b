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
    std::string name;           // the model's name: [A-Za-z0-9_-], not empty
    std::optional<float> scale; // world units per model unit; fitted to kImportedExtent if unset
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

// Reads a model file in any format the importer library knows, turned into this
// engine's left-handed frame (z mirrored, windings and texture v flipped) with node
// transforms applied, and scaled. Textures are read from files beside the model or from
// the file itself through the codec manager; one that cannot be read is replaced by plain
// white (albedo) or flat (normals), with a warning. False, with why set, when the file
// cannot be read or holds no triangles.
bool importScene(const std::string& fileName, const ImportOptions& options, CodecMgr& codecs,
                 ImportedScene& scene, std::string& why);

// name reduced to the letters, digits, '_' and '-' it holds.
std::string sanitizedName(const std::string& name);

} // namespace Vrenn::Import
