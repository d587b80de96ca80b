#include "lighting/UserProbes.h"

#include "fs/FileSystem.h"
#include "fs/Image.h"
#include "prt/PanoramaProbe.h"
#include "render/Texture.h"
#include "render/TextureManager.h"

#include <filesystem>

namespace Vrenn {

namespace {

// The cube map skyName from textures, or loaded into it; empty with the reason in why.
std::shared_ptr<Texture> loadSky(const std::string& skyName, TextureManager& textures,
                                 std::string& why) {
    std::shared_ptr<Texture> sky = textures.find(skyName);
    if (sky) {
        if (sky->type() == TEXTURE_CUBE) return sky;
        why = "its sky " + skyName + " is not a cube map";
        return nullptr;
    }
    std::string failure;
    std::shared_ptr<Image> image;
    if (!openDataFile(skyName, false, &failure))
        why = "its sky " + skyName +
              (failure.empty() ? " is not there" : " cannot be opened: " + failure);
    else if (!(image = loadImage(skyName))->data())
        why = "its sky " + skyName + " cannot be read";
    else if (textureTypeOf(*image) != TEXTURE_CUBE)
        why = "its sky " + skyName + " is not a cube map";
    else if (!(sky = textures.createTexture(skyName, image)))
        why = "its sky " + skyName + " cannot be made a texture";
    return sky;
}

} // namespace

ProbeChoice chooseProbes(const std::array<std::string, kLightProbeCount>& fileNames,
                         TextureManager& textures) {
    ProbeChoice choice;
    choice.probes = lightProbes();
    for (size_t slot = 0; slot < size_t(kLightProbeCount); ++slot) {
        const std::string& fileName = fileNames[slot];
        if (fileName.empty()) continue;
        // vrenn probe writes probes/NAME.sh and, for its sky, textures/sky/NAME.dds.
        const std::string skyName =
            "textures/sky/" + std::filesystem::path(fileName).stem().string() + ".dds";
        SHCoeffs coeffs;
        std::string why;
        std::shared_ptr<Texture> sky;
        if (loadProbeCoefficients(fileName, coeffs, why)) sky = loadSky(skyName, textures, why);
        if (!sky) {
            choice.refusals[slot] = "probe" + std::to_string(slot) + " \"" + fileName +
                                    "\" cannot be used (" + why + "); slot " +
                                    std::to_string(slot) + " keeps the built-in probe " +
                                    kLightProbeNames[slot] + " and its sky";
            continue;
        }
        choice.probes[slot] = coeffs;
        choice.skies[slot] = sky;
        choice.skyNames[slot] = skyName;
    }
    return choice;
}

} // namespace Vrenn
