#include "prt/SurfaceAlbedo.h"

#include "config/Tokenizer.h"
#include "fs/CodecMgr.h"
#include "fs/DiskFile.h"
#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace Vrenn {

namespace {

std::string unquoted(const std::string& word) {
    if (word.size() >= 2 && word.front() == '"' && word.back() == '"')
        return word.substr(1, word.size() - 2);
    return word;
}

// The "diffuseMap" texture of every block of the script, by block name (the first block of a
// name counts, as the material manager keeps it).
std::map<std::string, std::string> diffuseMaps(Tokenizer& tokens) {
    std::map<std::string, std::string> maps;
    while (tokens.NextWord()) {
        const std::string name = tokens.Token();
        if (!tokens.SkipTo("{")) break;
        std::string texture;
        std::string previous[2];
        while (tokens.NextWord()) {
            const std::string word = tokens.Token();
            if (word == "}") break;
            // "diffuseMap" texture "file"
            if (previous[0] == "\"diffuseMap\"" && previous[1] == "texture" && texture.empty())
                texture = unquoted(word);
            previous[0] = previous[1];
            previous[1] = word;
        }
        if (!texture.empty()) maps.emplace(name, texture);
    }
    return maps;
}

// The mean colour's luminance of an 8-bit image's first level, or -1.
float meanLuminance(const Image& image) {
    const int channels = image.format() == FORMAT_RGBA8  ? 4
                         : image.format() == FORMAT_RGB8 ? 3
                         : image.format() == FORMAT_L8   ? 1
                                                         : 0;
    const uint8_t* data = image.getLevelData(0);
    const size_t texels = static_cast<size_t>(std::max(0, image.width())) *
                          static_cast<size_t>(std::max(0, image.height()));
    if (channels == 0 || !data || texels == 0) return -1.0f;
    double sum[3] = {0, 0, 0};
    for (size_t i = 0; i < texels; ++i)
        for (int c = 0; c < 3; ++c)
            sum[c] += data[i * channels + (channels == 1 ? 0 : c)];
    const double scale = 1.0 / (255.0 * static_cast<double>(texels));
    return albedoLuminance(static_cast<float>(sum[0] * scale), static_cast<float>(sum[1] * scale),
                           static_cast<float>(sum[2] * scale));
}

// Opens name from the run folder, or from the program's data when there is none.
std::shared_ptr<File> openFrom(const std::string& runDir, const std::string& name) {
    if (runDir.empty()) return openDataFile(name, false);
    auto file =
        std::make_shared<DiskFile>((std::filesystem::path(runDir) / name).string(), DISK_READ);
    if (!file->isOpen()) return nullptr;
    return file;
}

} // namespace

float albedoLuminance(float r, float g, float b) {
    return 0.2126f * r + 0.7152f * g + 0.0722f * b;
}

std::vector<float> surfaceAlbedos(const Model& model, const std::string& runDir,
                                  const std::string& materialScript,
                                  std::vector<std::string>& missing) {
    std::map<std::string, std::string> maps;
    if (std::shared_ptr<File> file = openFrom(runDir, materialScript)) {
        Tokenizer tokens;
        tokens.Load(file);
        maps = diffuseMaps(tokens);
    }
    std::map<std::string, float> byTexture;
    std::vector<float> albedos;
    for (const auto& surface : model.surfaces()) {
        const std::string material = surface ? surface->materialName() : std::string();
        float albedo = -1.0f;
        const auto map = maps.find(material);
        if (map != maps.end()) {
            const auto known = byTexture.find(map->second);
            if (known != byTexture.end()) {
                albedo = known->second;
            } else {
                Image image;
                std::shared_ptr<Codec> codec = CodecMgr::codecForFile(map->second);
                std::shared_ptr<File> file = codec ? openFrom(runDir, map->second) : nullptr;
                if (file && codec->decode(file, image)) albedo = meanLuminance(image);
                byTexture[map->second] = albedo;
            }
        }
        if (albedo < 0.0f && std::find(missing.begin(), missing.end(), material) == missing.end())
            missing.push_back(material);
        albedos.push_back(albedo);
    }
    return albedos;
}

} // namespace Vrenn
