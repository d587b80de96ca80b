#pragma once

#include "assetgen/TextRaster.h"

namespace Vrenn::AssetGen {

// Layout of the font sheet the overlays draw text from: 16 by 16 cells of 16 texels
// in a 256-texel square, character code c in cell (c mod 16, c div 16). A glyph
// stays inside the first 15 texels of its cell in both directions, since the text
// layout samples only those.
constexpr int kSheetSize = 256;
constexpr int kCellSize = 16;
constexpr int kGlyphArea = 15;

// Draws codes 0 to 255 (read as Unicode code points U+0000 to U+00FF) that the font
// has and that are printable. Fails with the raster's error when the font is missing.
bool buildGlyphSheet(const std::string& fontFile, Coverage& sheet, std::string& error);

} // namespace Vrenn::AssetGen
