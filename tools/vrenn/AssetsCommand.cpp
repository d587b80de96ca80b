// vrenn assets: draws the run folder's 2D textures (font sheet and logo) and the surface
// textures of the demo scene.

#include "assetgen/GlyphSheet.h"
#include "assetgen/Logo.h"
#include "assetgen/SceneTextures.h"
#include "fs/Image.h"
#include "vrenn/Commands.h"
#include "vrenn/ToolContext.h"

#include <cstring>
#include <filesystem>
#include <iostream>

namespace Vrenn::Tool {

namespace {
const char* const kHelp =
    "Usage: vrenn assets RUNDIR [--font FILE] [--logo-font FILE]\n\n"
    "Draws the 2D textures the program loads from its run folder:\n"
    "  RUNDIR/textures/fonts/bigchars.dds  256x256 sheet of 16x16 glyph cells\n"
    "                                      (codes 0-255 as U+0000-U+00FF)\n"
    "  RUNDIR/textures/logo.dds            256x64 logo for additive blending\n"
    "Both are RGBA with colour premultiplied by coverage.\n"
    "  RUNDIR/textures/scene/<material>_albedo.dds, <material>_normal.dds\n"
    "      256x256 RGBA, full mip chains, tiling: the albedo (gloss in alpha) and the\n"
    "      tangent-space normal map of each scene material (floor, walls, columns,\n"
    "      stone, arch, blocks)\n\n"
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
    std::cout << "wrote " << sheetPath << "\nwrote " << logoPath << "\n";

    std::vector<std::string> written;
    if (!AssetGen::drawSceneTextures(runDir, written, error)) return fail(error);
    for (const std::string& path : written)
        std::cout << "wrote " << path << "\n";
    return 0;
}
} // namespace

REGISTER_VRENN_COMMAND(assets, "assets",
                       "draw the font sheet, logo and scene textures of a run folder", runAssets,
                       40);

} // namespace Vrenn::Tool
