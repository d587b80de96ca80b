#include "prt/PrtScene.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "core/StopRequest.h"
#include "fs/AtomicFile.h"
#include "fs/DDSCodec.h"
#include "fs/Image.h"
#include "fs/MadeFolders.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "geometry/VmshLoader.h"
#include "prt/BakePart.h"
#include "prt/SHTextureBuilder.h"
#include "prt/SurfaceAlbedo.h"
#include "prt/TransferTextures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <new>
#include <optional>
#include <system_error>

namespace Vrenn {

namespace {

// Fixed values of the rebuild.
constexpr int32_t kBalanceWeight = 3;
constexpr int32_t kSplitWeight = 4;
constexpr int kAtlasStart = 32;
constexpr uint32_t kAtlasTexCoordSet = 1;

// Logs a failure the rebuild finds itself; the pack, the builder and the vmsh writer log
// their own.
bool bakeFailed(const std::string& why) {
    logMessage("PRT bake failed: " + why + "\n");
    return false;
}

// Files written under temporary names, renamed together at the end. Folders made for them
// are removed again when nothing was committed, so a failed or stopped bake leaves no trace.
// A stop request (a signal) abandons the files before the next one is begun and before the
// renames.
class StagedFiles {
public:
    explicit StagedFiles(std::string dir) : m_dir(std::move(dir)) {}
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    std::string path(const std::string& name) const {
        return m_dir.empty() ? name : (std::filesystem::path(m_dir) / name).string();
    }

    bool addImage(const std::string& name, Image& image) {
        AtomicFile* out = open(name);
        if (!out) return false;
        std::shared_ptr<File> file = out->file();
        DDSCodec codec;
        if (codec.encode(file, image)) return true;
        return bakeFailed("could not write " + out->writeFailure());
    }

    bool addModel(const std::string& name, const Model& model) {
        AtomicFile* out = open(name);
        if (!out) return false;
        if (VmshLoader().write(*out->file(), path(name), model)) return true;
        // The writer says a write fell short; the system knows why (a full disk).
        if (out->file()->error()) bakeFailed("could not write " + out->writeFailure());
        return false;
    }

    // Renames every file over its target, or none (earlier files stay as they were); the
    // names committed go to written.
    bool commit(std::vector<std::string>& written) {
        if (stopRequested()) return bakeFailed("stopped on request; no file was written");
        std::vector<AtomicFile*> files;
        for (auto& file : m_files)
            files.push_back(file.get());
        std::string why;
        if (!AtomicFile::commitAll(files, why)) return bakeFailed("could not write " + why);
        m_folders.keep();
        for (const AtomicFile* file : files)
            written.push_back(file->targetName());
        return true;
    }

    AtomicFile* open(const std::string& name) {
        if (stopRequested()) {
            bakeFailed("stopped on request; no file was written");
            return nullptr;
        }
        const std::filesystem::path target(path(name));
        // A folder that cannot be made fails the open below, with its reason.
        std::string ignored;
        if (target.has_parent_path()) m_folders.make(target.parent_path(), ignored);
        auto file = std::make_unique<AtomicFile>(target.string());
        if (!file->isOpen()) {
            bakeFailed("cannot create " + target.string() + ": " + file->failure());
            return nullptr;
        }
        m_files.push_back(std::move(file));
        return m_files.back().get();
    }

private:
    std::string m_dir;
    // Declared before the files, so that an uncommitted set's temporaries are removed before
    // the folders made for them, which then go too.
    MadeFolders m_folders;
    std::vector<std::unique_ptr<AtomicFile>> m_files;
};

// Packs every surface's polygons and lays out the atlas for the bake kind; builds the tree
// when the rays need it. modelSurfaces, when given, receives the model's surface index of
// each of the pack's surfaces.
bool packForBake(Model& model, bool ambient, bool tree, float texelSize, PolyPack& pack,
                 PrtBakeResult& result, std::vector<size_t>* modelSurfaces = nullptr) {
    if (!(texelSize > 0.0f) || !std::isfinite(texelSize))
        return bakeFailed("the texel size must be a number of world units above 0");
    for (size_t s = 0; s < model.surfaces().size(); ++s) {
        const auto& surface = model.surfaces()[s];
        // A surface without triangles draws nothing and needs no transfer.
        if (!surface || !surface->mesh() || !pack.addSurface(surface->mesh(), true, true))
            logMessage("PRT bake: surface " + std::to_string(s) + " has no polygons to bake\n");
        else if (modelSurfaces)
            modelSurfaces->push_back(s);
    }
    result.polygons = pack.polygons().size();
    if (pack.polygons().empty()) return bakeFailed("the model has no polygons to bake");

    const int planes = ambient ? 1 : kTransferPlaneCount;
    const ImageFormat format = ambient ? FORMAT_L8 : kTransferFormat;
    if (!pack.packAtlas(kAtlasStart, kAtlasStart, planes, format, kAtlasTexCoordSet, texelSize))
        return false;
    result.atlasWidth = pack.atlasWidth();
    result.atlasHeight = pack.atlasHeight();
    if (!tree) return true;
    if (!pack.buildTree()) return false;
    result.treeOutline = bspOutline(pack);
    return true;
}

// The albedo each pack polygon passes on, as the settings ask.
std::vector<float> polygonAlbedos(const PolyPack& pack, const PrtBakeSettings& settings,
                                  const std::vector<size_t>& modelSurfaces) {
    std::vector<float> albedos(pack.polygons().size(), kDefaultAlbedo);
    for (size_t p = 0; p < albedos.size(); ++p) {
        float albedo = kDefaultAlbedo;
        const uint32_t surface = pack.polygons()[p].surface;
        if (settings.albedo >= 0.0f)
            albedo = settings.albedo;
        else if (surface < modelSurfaces.size() &&
                 modelSurfaces[surface] < settings.surfaceAlbedo.size() &&
                 settings.surfaceAlbedo[modelSurfaces[surface]] >= 0.0f)
            albedo = settings.surfaceAlbedo[modelSurfaces[surface]];
        // Not-a-number passes on nothing.
        albedos[p] = albedo > 0.0f ? std::min(albedo, kMaxAlbedo) : 0.0f;
    }
    return albedos;
}

// The covered texels on the edge of their polygon's chart, each with the covered neighbour one
// step inwards along each axis where there is one: (edge texel, inward texel), as atlas texels
// (row * width + column). An edge texel's rays start on the plane of the polygon meeting it
// there and pass through it (a hit at a segment's very start does not count), so its own light
// is that of a point seeing through the neighbouring surface; rays that hit it take the light
// of the texel inwards instead.
std::vector<std::pair<uint32_t, uint32_t>> edgeTexels(const PolyPack& pack) {
    const int width = pack.atlasWidth();
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    const CoverageMask& mask = pack.coverage();
    for (const PackPolygon& polygon : pack.polygons()) {
        const AtlasRect& rect = polygon.atlas;
        if (!rect.placed) continue;
        const int x0 = rect.x, x1 = rect.x + rect.placedWidth() - 1;
        const int y0 = rect.y, y1 = rect.y + rect.placedHeight() - 1;
        auto covered = [&](int x, int y) {
            return x >= x0 && x <= x1 && y >= y0 && y <= y1 && mask.covered(x, y);
        };
        // One step towards the rectangle's middle where the texel has no covered neighbour
        // the other way.
        auto inwards = [](int at, int lo, int hi) { return 2 * at < lo + hi ? 1 : -1; };
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                if (!covered(x, y)) continue;
                const int sx = inwards(x, x0, x1), sy = inwards(y, y0, y1);
                int tx = x, ty = y;
                if (x0 < x1 && !covered(x - sx, y) && covered(x + sx, y)) tx = x + sx;
                if (y0 < y1 && !covered(x, y - sy) && covered(x, y + sy)) ty = y + sy;
                if (!covered(tx, ty)) tx = x, ty = y;
                if (tx != x || ty != y)
                    edges.emplace_back(static_cast<uint32_t>(y * width + x),
                                       static_cast<uint32_t>(ty * width + tx));
            }
    }
    return edges;
}

// Gives every edge texel the light transfer of its inward texel (all read before any is
// written: in a chart two texels wide, the two edges swap).
void readInwards(std::vector<float>& transfer,
                 const std::vector<std::pair<uint32_t, uint32_t>>& edges) {
    std::vector<float> moved(edges.size() * kSHCoeffCount);
    for (size_t e = 0; e < edges.size(); ++e)
        std::copy_n(transfer.begin() + edges[e].second * kSHCoeffCount, kSHCoeffCount,
                    moved.begin() + e * kSHCoeffCount);
    for (size_t e = 0; e < edges.size(); ++e)
        std::copy_n(moved.begin() + e * kSHCoeffCount, kSHCoeffCount,
                    transfer.begin() + edges[e].first * kSHCoeffCount);
}

// The interreflection walks after the shadowed one (bounces > 0): each bounce walks every
// texel again, casting the same rays and gathering from where they hit.
bool bounceWalks(PolyPack& pack, SHTextureBuilder& builder, const PrtBakeSettings& settings,
                 const std::vector<size_t>& modelSurfaces, const BakeOptions& walk,
                 PrtBakeResult& result) {
    const size_t values = static_cast<size_t>(pack.atlasWidth()) *
                          static_cast<size_t>(pack.atlasHeight()) * kSHCoeffCount;
    std::vector<float> shadowed, lit, next;
    const std::vector<float> albedos = polygonAlbedos(pack, settings, modelSurfaces);
    std::vector<std::pair<uint32_t, uint32_t>> edges;
    std::unique_ptr<SHTextureBuilder::KeptHits> kept;
    try {
        edges = edgeTexels(pack);
        shadowed.assign(values, 0.0f);
        if (settings.bounces > 1) {
            lit.assign(values, 0.0f);
            next.assign(values, 0.0f);
        }
    } catch (const std::bad_alloc&) {
        return bakeFailed("no memory for the interreflection (" +
                          std::to_string(values / kSHCoeffCount) + " texels)");
    }
    // The bounces read the first walk's hits where they fit in memory (most of a bounce's cost
    // is the walk of its rays); else they walk the rays again, to the same hits.
    if (settings.keptHitBytes > 0) {
        try {
            kept = std::make_unique<SHTextureBuilder::KeptHits>(values / kSHCoeffCount,
                                                                settings.keptHitBytes);
        } catch (const std::bad_alloc&) {
            kept.reset();
        }
    }
    SHTextureBuilder::BounceWalk state;
    state.normalTransfer = shadowed.data();
    state.polygonAlbedo = albedos.data();
    state.kept = kept.get();
    builder.setBounceWalk(&state);
    BakeStats stats;
    bool ok = pack.bake(builder, walk, &stats);
    result.seconds += stats.seconds;
    // Each walk casts (or would cast) the same rays.
    const uint64_t rays = builder.raysTraced();
    if (ok) readInwards(shadowed, edges);
    if (kept && !kept->usable()) {
        logFormat("PRT bake: the hits passed %llu bytes; each bounce casts its rays again\n",
                  static_cast<unsigned long long>(settings.keptHitBytes));
        kept.reset();
    }
    for (int b = 0; ok && b < settings.bounces; ++b) {
        state = {};
        state.kept = kept.get();
        state.lit = b == 0 ? shadowed.data() : lit.data();
        state.shadowedNormal = shadowed.data();
        state.polygonAlbedo = albedos.data();
        state.last = b + 1 == settings.bounces;
        state.normalTransfer = state.last ? nullptr : next.data();
        logFormat("PRT bake: bounce %d of %d\n", b + 1, settings.bounces);
        ok = pack.bake(builder, walk, &stats);
        result.seconds += stats.seconds;
        if (ok && !state.last) readInwards(next, edges);
        lit.swap(next);
    }
    builder.setBounceWalk(nullptr);
    if (!ok) return false;
    result.texels = stats.texels;
    result.workers = stats.workers;
    result.rays = rays;
    return true;
}

// Walks the polygons (all when polygons is null) with the builder the settings ask for.
bool walkForBake(PolyPack& pack, const PrtBakeSettings& settings,
                 const std::vector<uint32_t>* polygons, PrtBakeResult& result,
                 const std::vector<size_t>& modelSurfaces = {}) {
    std::unique_ptr<AmbientTextureBuilder> builder;
    if (settings.ambient)
        builder = std::make_unique<AmbientTextureBuilder>(settings.rays, settings.rayLength, pack);
    else
        builder = std::make_unique<SHTextureBuilder>(settings.rays, settings.rayLength, pack);
    if (!builder->generateSamples()) return bakeFailed("the sample set could not be made");
    result.samples = builder->sampleCount();

    BakeOptions walk = settings.walk;
    walk.polygons = polygons;
    if (settings.bounces > 0 && !settings.ambient) {
        if (!bounceWalks(pack, static_cast<SHTextureBuilder&>(*builder), settings, modelSurfaces,
                         walk, result))
            return false;
        return true;
    }
    BakeStats stats;
    if (!pack.bake(*builder, walk, &stats)) return false;
    result.texels = stats.texels;
    result.seconds = stats.seconds;
    result.workers = stats.workers;
    result.rays = builder->raysTraced();
    return true;
}

// Writes the baked textures and the model with its atlas coordinates, all or none.
bool writeBakeFiles(const Model& model, const PolyPack& pack, const std::string& outputDir,
                    PrtBakeResult& result) {
    StagedFiles files(outputDir);
    Image& bakeImage = *pack.bakeImage();
    if (bakeImage.depth() == kTransferPlaneCount) {
        for (int f = 0; f < 3; ++f) {
            Image image;
            if (!transferFileImage(bakeImage, f, image))
                return bakeFailed("no memory for " + std::string(kTransferFileNames[f]));
            if (!files.addImage(kTransferFileNames[f], image)) return false;
        }
    } else if (!files.addImage(kAmbientFileName, bakeImage)) {
        return false;
    }
    return files.addModel(kSavedModelName, model) && files.commit(result.files);
}

bool mergeRefused(const std::string& why) {
    logMessage("PRT merge refused: " + why + "\n");
    return false;
}

} // namespace

std::optional<float> texelSizeFromText(const std::string& text) {
    const char* begin = text.c_str();
    char* end = nullptr;
    const float size = std::strtof(begin, &end);
    if (end == begin || end != begin + text.size() || !(size > 0.0f) || !std::isfinite(size))
        return std::nullopt;
    return size;
}

bool rebuildPrtScene(Model& model, const PrtBakeSettings& settings, PrtBakeResult& result) {
    result = PrtBakeResult{};
    if (settings.rays < 1 || settings.rays > kMaxSampleRays)
        return bakeFailed("the ray count must be from 1 to " + std::to_string(kMaxSampleRays));
    if (settings.bounces < 0 || settings.bounces > kMaxBounces)
        return bakeFailed("the bounce count must be from 0 to " + std::to_string(kMaxBounces));
    if (settings.bounces > 0 && settings.ambient)
        return bakeFailed("interreflection is baked into SH transfer only, not ambient occlusion");
    PolyPack pack(4, kBalanceWeight, kSplitWeight);
    std::vector<size_t> modelSurfaces;
    return packForBake(model, settings.ambient, true, settings.texelSize, pack, result,
                       &modelSurfaces) &&
           walkForBake(pack, settings, nullptr, result, modelSurfaces) &&
           writeBakeFiles(model, pack, settings.outputDir, result);
}

bool bakePrtShard(Model& model, const PrtBakeSettings& settings, const PrtShard& shard,
                  PrtBakeResult& result) {
    result = PrtBakeResult{};
    if (settings.rays < 1 || settings.rays > kMaxSampleRays)
        return bakeFailed("the ray count must be from 1 to " + std::to_string(kMaxSampleRays));
    // Every bounce reads the whole model's last one: shards cannot bake it apart.
    if (settings.bounces != 0)
        return bakeFailed("a shard bakes the shadowed transfer only; bake interreflection "
                          "(bounces above 0) in one piece");
    if (shard.count < 1 || shard.count > kMaxBakeShards || shard.index < 1 ||
        shard.index > shard.count)
        return bakeFailed("shard " + std::to_string(shard.index) + " of " +
                          std::to_string(shard.count) + " does not exist (shards are 1 to N, N " +
                          "at most " + std::to_string(kMaxBakeShards) + ")");
    PolyPack pack(4, kBalanceWeight, kSplitWeight);
    if (!packForBake(model, settings.ambient, true, settings.texelSize, pack, result)) return false;
    const PolygonRange range = shardPolygons(pack, shard.index, shard.count);
    std::vector<uint32_t> polygons(range.count);
    for (uint32_t i = 0; i < range.count; ++i)
        polygons[i] = range.first + i;
    if (!walkForBake(pack, settings, &polygons, result)) return false;

    BakePartHeader header;
    header.modelChecksum = shard.modelChecksum;
    header.kind = settings.ambient ? BakeKind::Ambient : BakeKind::Transfer;
    header.rays = static_cast<uint32_t>(settings.rays);
    header.samples = static_cast<uint32_t>(result.samples);
    header.rayLength = settings.rayLength;
    header.shard = shard.index;
    header.shards = shard.count;
    const Image& image = *pack.bakeImage();
    header.atlasWidth = static_cast<uint32_t>(image.width());
    header.atlasHeight = static_cast<uint32_t>(image.height());
    header.planes = static_cast<uint32_t>(image.depth());
    header.texelBytes = static_cast<uint32_t>(bytesPerPixel(image.format()));
    header.polygons = static_cast<uint32_t>(pack.polygons().size());
    header.firstPolygon = range.first;
    header.polygonCount = range.count;
    header.texels = result.texels;

    StagedFiles files(settings.outputDir);
    const std::string name = bakePartName(shard.index, shard.count);
    AtomicFile* out = files.open(name);
    if (!out) return false;
    if (!BakePart::write(*out->file(), header, pack))
        return bakeFailed("could not write " + out->writeFailure());
    return files.commit(result.files);
}

bool mergePrtShards(Model& model, uint64_t modelChecksum, const std::string& partsDir,
                    const std::string& outputDir, PrtBakeResult& result, float texelSize) {
    result = PrtBakeResult{};
    const std::filesystem::path dir(partsDir.empty() ? "." : partsDir);
    auto shown = [&](const std::string& name) {
        return partsDir.empty() ? name : (std::filesystem::path(partsDir) / name).string();
    };

    // The parts by name: every one of one split, each once.
    std::map<uint32_t, std::string> names; // shard -> file name
    uint32_t shards = 0;
    std::string firstName;
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec), end;
    if (ec) return mergeRefused("cannot read " + dir.string() + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind("bake-", 0) != 0 || name.size() < 5 ||
            name.compare(name.size() - 5, 5, ".part") != 0)
            continue;
        uint32_t k = 0, n = 0;
        if (!parseBakePartName(name, k, n))
            return mergeRefused(shown(name) + " is not named as a part is (bake-K-of-N.part, K " +
                                "from 1 to N)");
        if (shards != 0 && n != shards)
            return mergeRefused(shown(firstName) + " and " + shown(name) +
                                " belong to different splits; keep the parts of one split only");
        if (shards == 0) firstName = name;
        shards = n;
        names[k] = name;
    }
    if (ec) return mergeRefused("cannot read " + dir.string() + ": " + ec.message());
    if (shards == 0) return mergeRefused("no parts (bake-K-of-N.part) in " + dir.string());
    if (names.size() != shards) {
        std::string missing;
        int listed = 0;
        for (uint32_t k = 1; k <= shards && listed < 5; ++k)
            if (!names.count(k)) {
                missing += (listed++ ? ", " : "") + bakePartName(k, shards);
            }
        return mergeRefused(std::to_string(shards - names.size()) + " of " +
                            std::to_string(shards) + " parts missing in " + dir.string() + ": " +
                            missing + (shards - names.size() > 5 ? ", ..." : ""));
    }

    // The first part names the bake; every part must be of the same bake of this model.
    PolyPack pack(4, kBalanceWeight, kSplitWeight);
    BakePartHeader first;
    std::vector<PolygonRange> split; // every shard's polygons, found once for all parts
    for (const auto& [k, name] : names) {
        if (stopRequested()) return mergeRefused("stopped on request; no file was written");
        BakePart part;
        std::string why;
        if (!part.read(shown(name), why)) return mergeRefused(shown(name) + " " + why);
        const BakePartHeader& h = part.header();
        if (h.shard != k || h.shards != shards)
            return mergeRefused(shown(name) + " holds shard " + std::to_string(h.shard) + " of " +
                                std::to_string(h.shards) + " (a copy of another part?)");
        if (h.modelChecksum != modelChecksum)
            return mergeRefused(shown(name) + " was baked from another model file");
        if (k == names.begin()->first) {
            if (h.kind != BakeKind::Transfer && h.kind != BakeKind::Ambient)
                return mergeRefused(shown(name) + " holds an unknown kind of bake");
            first = h;
            if (!packForBake(model, h.kind == BakeKind::Ambient, false, texelSize, pack, result))
                return false;
            split = shardSplit(pack, shards);
        } else if (h.kind != first.kind || h.rays != first.rays || h.samples != first.samples ||
                   std::memcmp(&h.rayLength, &first.rayLength, 4) != 0) {
            auto describe = [](const BakePartHeader& p) {
                char text[96];
                std::snprintf(text, sizeof text, "%s, %u rays (%u samples), length %g",
                              p.kind == BakeKind::Ambient ? "ambient" : "SH transfer", p.rays,
                              p.samples, double(p.rayLength));
                return std::string(text);
            };
            return mergeRefused(shown(name) + " is another bake (" + describe(h) + ") than " +
                                shown(names.begin()->second) + " (" + describe(first) + ")");
        }
        if (!part.fits(pack, split[k - 1], why) || !part.copyInto(pack, why))
            return mergeRefused(shown(name) + " " + why);
        result.texels += h.texels;
    }
    result.samples = first.samples;
    return writeBakeFiles(model, pack, outputDir, result);
}

bool preparePrtScene(ModelLoaderFactory& loaders, std::shared_ptr<Model>& model,
                     const BakeOptions& walk, PrtBakeResult& result) {
    result = PrtBakeResult{};
    const CVarManager* cvars = CVarManager::instance();
    const bool rebuild = cvars && cvars->GetInt("makebsp") != 0;
    const std::string name = cvars ? cvars->GetString("model") : std::string();
    if (!loaders.load(name, model, !rebuild)) return false;
    if (!rebuild) return true;
    PrtBakeSettings settings;
    // A ray count written any other way than as a whole number ("1e40", "2.5") is refused,
    // not read by its leading digits.
    const std::optional<int32_t> rays = cvars->GetWholeInt("num_rays");
    if (!rays || *rays < 1 || *rays > kMaxSampleRays)
        return bakeFailed("num_rays \"" + cvars->GetString("num_rays") +
                          "\" is not a whole number from 1 to " + std::to_string(kMaxSampleRays));
    settings.rays = *rays;
    if (cvars->Has("texel_size")) {
        const std::optional<float> size = texelSizeFromText(cvars->GetString("texel_size"));
        if (!size)
            return bakeFailed("texel_size \"" + cvars->GetString("texel_size") +
                              "\" is not a number of world units above 0");
        settings.texelSize = *size;
    }
    if (cvars->Has("num_bounces")) {
        const std::optional<int32_t> bounces = cvars->GetWholeInt("num_bounces");
        if (!bounces || *bounces < 0 || *bounces > kMaxBounces)
            return bakeFailed("num_bounces \"" + cvars->GetString("num_bounces") +
                              "\" is not a whole number from 0 to " + std::to_string(kMaxBounces));
        settings.bounces = *bounces;
    }
    if (settings.bounces > 0) {
        std::vector<std::string> missing;
        settings.surfaceAlbedo = surfaceAlbedos(*model, "", kMaterialScript, missing);
        for (const std::string& material : missing)
            logFormat("PRT bake: no albedo for material \"%s\" (its diffuseMap); it passes on "
                      "%g\n",
                      material.c_str(), double(kDefaultAlbedo));
    }
    settings.walk = walk;
    return rebuildPrtScene(*model, settings, result);
}

} // namespace Vrenn
