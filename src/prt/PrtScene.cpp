#include "prt/PrtScene.h"

#include "config/CVar.h"
#include "core/Log.h"
#include "fs/AtomicFile.h"
#include "fs/DDSCodec.h"
#include "fs/Image.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "geometry/VmshLoader.h"
#include "prt/SHTextureBuilder.h"
#include "prt/TransferTextures.h"

#include <filesystem>
#include <optional>
#include <system_error>

namespace Vrenn {

namespace {

// Fixed values of the rebuild.
constexpr int32_t kBalanceWeight = 3;
constexpr int32_t kSplitWeight = 4;
constexpr int kAtlasStart = 32;
constexpr uint32_t kAtlasTexCoordSet = 1;
constexpr float kWorldUnitsPerTexel = 4.0f;

// Logs a failure the rebuild finds itself; the pack, the builder and the vmsh writer log
// their own.
bool bakeFailed(const std::string& why) {
    logMessage("PRT bake failed: " + why + "\n");
    return false;
}

// Files written under temporary names, renamed together at the end.
class StagedFiles {
public:
    explicit StagedFiles(std::string dir) : m_dir(std::move(dir)) {}

    std::string path(const std::string& name) const {
        return m_dir.empty() ? name : (std::filesystem::path(m_dir) / name).string();
    }

    bool addImage(const std::string& name, Image& image) {
        AtomicFile* out = open(name);
        if (!out) return false;
        std::shared_ptr<File> file = out->file();
        DDSCodec codec;
        if (codec.encode(file, image)) return true;
        const int error = out->file()->error();
        return bakeFailed("could not write " + path(name) +
                          (error ? ": " + std::generic_category().message(error) : ""));
    }

    bool addModel(const std::string& name, const Model& model) {
        AtomicFile* out = open(name);
        return out && VmshLoader().write(*out->file(), path(name), model);
    }

    // Renames every file over its target, or none (earlier files stay as they were); the
    // names committed go to written.
    bool commit(std::vector<std::string>& written) {
        std::vector<AtomicFile*> files;
        for (auto& file : m_files)
            files.push_back(file.get());
        std::string why;
        if (!AtomicFile::commitAll(files, why)) return bakeFailed("could not write " + why);
        for (const AtomicFile* file : files)
            written.push_back(file->targetName());
        return true;
    }

private:
    AtomicFile* open(const std::string& name) {
        const std::filesystem::path target(path(name));
        if (target.has_parent_path()) {
            std::error_code ec;
            std::filesystem::create_directories(target.parent_path(), ec);
        }
        auto file = std::make_unique<AtomicFile>(target.string());
        if (!file->isOpen()) {
            bakeFailed("cannot create " + target.string() + ": " + file->failure());
            return nullptr;
        }
        m_files.push_back(std::move(file));
        return m_files.back().get();
    }

    std::string m_dir;
    std::vector<std::unique_ptr<AtomicFile>> m_files;
};

} // namespace

bool rebuildPrtScene(Model& model, const PrtBakeSettings& settings, PrtBakeResult& result) {
    result = PrtBakeResult{};
    if (settings.rays < 1 || settings.rays > kMaxSampleRays)
        return bakeFailed("the ray count must be from 1 to " + std::to_string(kMaxSampleRays));

    PolyPack pack(4, kBalanceWeight, kSplitWeight);
    for (size_t s = 0; s < model.surfaces().size(); ++s) {
        const auto& surface = model.surfaces()[s];
        // A surface without triangles draws nothing and needs no transfer.
        if (!surface || !surface->mesh() || !pack.addSurface(surface->mesh(), true, true))
            logMessage("PRT bake: surface " + std::to_string(s) + " has no polygons to bake\n");
    }
    result.polygons = pack.polygons().size();
    if (pack.polygons().empty()) return bakeFailed("the model has no polygons to bake");

    const int planes = settings.ambient ? 1 : kTransferPlaneCount;
    const ImageFormat format = settings.ambient ? FORMAT_L8 : kTransferFormat;
    if (!pack.packAtlas(kAtlasStart, kAtlasStart, planes, format, kAtlasTexCoordSet,
                        kWorldUnitsPerTexel))
        return false;
    result.atlasWidth = pack.atlasWidth();
    result.atlasHeight = pack.atlasHeight();
    if (!pack.buildTree()) return false;
    result.treeOutline = bspOutline(pack);

    std::unique_ptr<AmbientTextureBuilder> builder;
    if (settings.ambient)
        builder = std::make_unique<AmbientTextureBuilder>(settings.rays, settings.rayLength, pack);
    else
        builder = std::make_unique<SHTextureBuilder>(settings.rays, settings.rayLength, pack);
    if (!builder->generateSamples()) return bakeFailed("the sample set could not be made");
    result.samples = builder->sampleCount();

    BakeStats stats;
    if (!pack.bake(*builder, settings.walk, &stats)) return false;
    result.texels = stats.texels;
    result.seconds = stats.seconds;
    result.workers = stats.workers;
    result.rays = builder->raysTraced();

    StagedFiles files(settings.outputDir);
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
    settings.walk = walk;
    return rebuildPrtScene(*model, settings, result);
}

} // namespace Vrenn
