#pragma once

#include "geometry/BspOutline.h"
#include "geometry/PolyPack.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Vrenn {

class Model;
class ModelLoaderFactory;

// World units per atlas texel unless the user picks another size.
constexpr float kDefaultTexelSize = 4.0f;

// A texel size written as text: a finite number above 0 and nothing else ("4", "12.5", "1e1");
// empty for anything else ("0", "-2", "4x", "inf", "nan", "").
std::optional<float> texelSizeFromText(const std::string& text);

// The most memory an interreflected bake keeps its first walk's hits in, by default.
constexpr uint64_t kDefaultKeptHitBytes = uint64_t{2} << 30;

// How the PRT data of a model is rebuilt.
struct PrtBakeSettings {
    int rays = 256;            // requested rays per texel (g * g = the largest square below)
    float texelSize = kDefaultTexelSize; // world units per atlas texel
    float rayLength = 8192.0f; // world units
    bool ambient = false;      // ambient occlusion ("ambient.dds") instead of SH transfer
    // Diffuse bounces of interreflected light added to the SH transfer (0: shadowed only, the
    // same bytes as ever; at most kMaxBounces). Each surface passes on its albedo's share:
    // albedo when it is 0 or more, else surfaceAlbedo[surface index of the model] when there
    // is one of 0 or more, else kDefaultAlbedo; clamped to [0, kMaxAlbedo].
    int bounces = 0;
    float albedo = -1.0f;
    std::vector<float> surfaceAlbedo;
    // Memory the bounces may keep the first walk's hits in (12 bytes a hit); beyond it, or at
    // 0, each bounce casts its rays again. The bytes are the same either way.
    uint64_t keptHitBytes = kDefaultKeptHitBytes;
    std::string outputDir; // where the files go; empty: the working directory
    BakeOptions walk;      // threads and progress of the texel walk
};

constexpr int kMaxBounces = 64;
constexpr float kMaxAlbedo = 0.95f;
constexpr float kDefaultAlbedo = 0.5f;
// Where the surfaces' materials are read for their albedo.
constexpr const char* kMaterialScript = "materials/materials.mtr";

// What a rebuild did.
struct PrtBakeResult {
    size_t polygons = 0;
    int atlasWidth = 0;
    int atlasHeight = 0;
    size_t samples = 0;   // g * g
    uint64_t texels = 0;  // covered texels baked
    uint64_t rays = 0;    // rays cast through the pack
    double seconds = 0.0; // wall time of the texel walk (all walks, with bounces)
    unsigned workers = 0;
    std::vector<std::string> files; // the files written, in order
    // The tree's splitting polygons as a line list (bspOutline), kept for looking at the tree
    // after the pack is gone.
    std::vector<BspOutlinePoint> treeOutline;
};

// Rebuilds everything the per-pixel PRT lighting needs from a loaded model, without a window:
// a polygon pack over every surface (balance weight 3, split weight 4, both surface flags),
// the atlas (32 x 32 start, 19 half-float RGBA planes or one byte plane for the ambient bake,
// texture-coordinate set 1, settings.texelSize world units per texel), the tree, the sample set,
// the texel walk,
// and then the files under settings.outputDir: "shtex0.dds", "shtex1.dds", "shtex2.dds" (or
// "ambient.dds") and the model, now with its atlas coordinates, as "models/saved.vmsh".
//
// The files are first written under temporary names and renamed only once all of them were
// written, so a bake that fails at any point (a model that cannot be packed, an atlas that
// overflows, a failed write) leaves every earlier file as it was. A failure returns false
// and logs one line: "PRT bake failed: <reason>" for what this function checks itself,
// the pack's or writer's own line otherwise. The model's meshes gain texture-coordinate
// set 1 as soon as the atlas is packed.
bool rebuildPrtScene(Model& model, const PrtBakeSettings& settings, PrtBakeResult& result);

// One shard of a bake split into count shards by polygons (see shardPolygons), numbered from 1,
// and the checksum of the model file it is baked from (fileChecksum).
struct PrtShard {
    uint32_t index = 1;
    uint32_t count = 1;
    uint64_t modelChecksum = 0;
};

// Bakes one shard as rebuildPrtScene bakes the whole model (same pack, atlas, tree, samples
// and walk, over the shard's polygons only) and writes its rectangles, gutters filled, as
// settings.outputDir/bake-K-of-N.part (BakePart.h), written atomically. The model's meshes
// gain their atlas coordinates; no model is written. result.files names the part. A failure
// returns false with one line in the log ("PRT bake failed: ...").
bool bakePrtShard(Model& model, const PrtBakeSettings& settings, const PrtShard& shard,
                  PrtBakeResult& result);

// Joins the parts in partsDir, every shard of one split of the model file whose checksum is
// modelChecksum, into the files rebuildPrtScene writes under outputDir; they come out byte for
// byte as one bake of the model with the parts' rays would write them. The kind and ray count
// come from the parts. Every part is read and checked before anything is written: parts
// missing, named twice or wrongly, of another split, model, kind, ray count or ray length, or
// truncated or damaged, refuse the merge with one line in the log ("PRT merge refused: ...")
// and leave every earlier file as it was.
// The atlas is packed at texelSize, which must be the shards' own.
bool mergePrtShards(Model& model, uint64_t modelChecksum, const std::string& partsDir,
                    const std::string& outputDir, PrtBakeResult& result,
                    float texelSize = kDefaultTexelSize);

// The demo's start-up steps for its model, as the console variables ask: loads the model named
// by "model" through loaders (uploading meshes at once unless "makebsp" is set) and, when
// "makebsp" is nonzero, rebuilds its PRT data with "num_rays" rays into the working directory
// ("num_rays" must be a whole number from 1 to kMaxSampleRays: otherwise nothing is baked,
// with "PRT bake failed: num_rays ..." in the log), at "texel_size" world units per atlas
// texel when it is set (kDefaultTexelSize otherwise; a value texelSizeFromText refuses bakes
// nothing, with "PRT bake failed: texel_size ..." in the log), with "num_bounces" bounces of
// interreflection when it is set (a whole number from 0 to kMaxBounces, likewise), each
// surface passing on the albedo of its material in kMaterialScript (surfaceAlbedos).
// A model that cannot be loaded is never baked: false, model unchanged, with the loader's
// reason in the log. The GPU upload after a rebuild is the caller's.
bool preparePrtScene(ModelLoaderFactory& loaders, std::shared_ptr<Model>& model,
                     const BakeOptions& walk, PrtBakeResult& result);

} // namespace Vrenn
