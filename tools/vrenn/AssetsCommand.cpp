// vrenn assets: draws the run folder's 2D textures (font sheet and logo), the surface textures
// of the demo scene and the sky's cube maps.

#include "assetgen/GlyphSheet.h"
#include "assetgen/Logo.h"
#include "assetgen/SceneTextures.h"
#include "fs/Image.h"
#include "prt/LightProbes.h"
#include "prt/SHWindow.h"
#include "prt/SkyCube.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace Vrenn::Tool {

namespace {
const char* const kHelp =
    "Usage: vrenn assets RUNDIR [--font FILE] [--logo-font FILE]\n\n"
    "Draws the textures the program loads from its run folder:\n"
    "  RUNDIR/textures/fonts/bigchars.dds  256x256 sheet of 16x16 glyph cells\n"
    "                                      (codes 0-255 as U+0000-U+00FF)\n"
    "  RUNDIR/textures/logo.dds            256x64 logo for additive blending\n"
    "  RUNDIR/textures/scene/<material>_albedo.dds, <material>_normal.dds\n"
    "      256x256 RGBA, full mip chains, tiling: the albedo (gloss in alpha) and the\n"
    "      tangent-space normal map of each scene material (floor, walls, columns,\n"
    "      stone, arch, blocks)\n"
    "  RUNDIR/textures/sky/builtin0.dds    the sky of built-in light probe 0 and 1: cube\n"
    "  RUNDIR/textures/sky/builtin1.dds    maps of 64x64 texels per face, four half floats\n"
    "The font sheet and logo are RGBA with colour premultiplied by coverage; the sky\n"
    "holds each probe's radiance in the texel's direction, its series windowed against\n"
    "ringing as vrenn probe windows probes (hann), so a bright spot is not ringed by\n"
    "black (the skies of user probes, textures/sky/<name>.dds from vrenn probe, are not\n"
    "touched).\n\n"
    "--font FILE       font of the glyph sheet (default: DejaVu Sans Mono)\n"
    "--logo-font FILE  font of the logo (default: DejaVu Sans Bold)\n";

// Saves width x height RGBA bytes as a one-level DDS file.
bool saveRgba(const std::string& path, int width, int height, const uint8_t* rgba) {
    Image image;
    uint8_t* data = image.create(width, height, 1, FORMAT_RGBA8, 1, 1);
    if (!data) return false;
    std::memcpy(data, rgba, static_cast<size_t>(width) * height * 4);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    return image.save(path);
}

// Saves the sky cube of each built-in light probe as RUNDIR/textures/sky/builtin<slot>.dds
// (vrenn probe writes user skies as probe<slot>.dds, so neither overwrites the other); the paths
// written are appended to written. Empty on success, else the path that failed.
std::string saveSkyCubes(const std::string& runDir, std::vector<std::string>& written) {
    std::error_code ignored;
    std::filesystem::create_directories(runDir + "/textures/sky", ignored);
    for (int slot = 0; slot < kLightProbeCount; ++slot) {
        const std::string path = runDir + "/textures/sky/builtin" + std::to_string(slot) + ".dds";
        // The sky is drawn from the windowed series, which does not ring into black regions
        // around the probe's bright spots; the lighting uses the table's values as they are.
        SHCoeffs drawn = lightProbes()[size_t(slot)];
        applySHWindow(kDefaultSHWindow, drawn);
        Image cube;
        if (!makeSkyCube(drawn, kSkyCubeSize, cube) || !cube.save(path)) return path;
        written.push_back(path);
    }
    return {};
}

int runAssets(const Args& args) {
    if (wantsHelp(args)) {
        std::cout << kHelp;
        return 0;
    }
    std::string runDir, font = AssetGen::defaultMonospaceFont(),
                        logoFont = AssetGen::defaultBoldFont();
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--font" || args[i] == "--logo-font") && i + 1 < args.size())
            (args[i] == "--font" ? font : logoFont) = args[++i];
        else if (args[i].rfind("--", 0) == 0)
            return usageError("assets", "unknown option '" + args[i] + "'");
        else if (runDir.empty())
            runDir = args[i];
        else
            return usageError("assets", "more than one RUNDIR");
    }
    if (runDir.empty()) return usageError("assets", "missing RUNDIR");

    ToolContext context;
    std::string error;
    AssetGen::Coverage sheet;
    if (!AssetGen::buildGlyphSheet(font, sheet, error)) return fail(error);
    std::vector<uint8_t> rgba(sheet.values.size() * 4);
    for (size_t i = 0; i < sheet.values.size(); ++i)
        std::memset(&rgba[i * 4], sheet.values[i], 4);
    const std::string sheetPath = runDir + "/textures/fonts/bigchars.dds";
    if (!saveRgba(sheetPath, sheet.width, sheet.height, rgba.data()))
        return fail("cannot write " + sheetPath);

    if (!AssetGen::buildLogo(logoFont, rgba, error)) return fail(error);
    const std::string logoPath = runDir + "/textures/logo.dds";
    if (!saveRgba(logoPath, AssetGen::kLogoWidth, AssetGen::kLogoHeight, rgba.data()))
        return fail("cannot write " + logoPath);
    std::vector<std::string> skyPaths;
    if (const std::string failed = saveSkyCubes(runDir, skyPaths); !failed.empty())
        return fail("cannot write " + failed);
    std::cout << "wrote " << sheetPath << "\nwrote " << logoPath << "\n";
    for (const std::string& path : skyPaths)
        std::cout << "wrote " << path << "\n";

    std::vector<std::string> written;
    if (!AssetGen::drawSceneTextures(runDir, written, error)) return fail(error);
    for (const std::string& path : written)
        std::cout << "wrote " << path << "\n";
    return 0;
}
} // namespace

REGISTER_VRENN_COMMAND(assets, "assets",
                       "draw the font sheet, logo, scene textures and sky of a run folder",
                       runAssets, 40);

} // namespace Vrenn::Tool
