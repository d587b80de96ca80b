#include "assetgen/GlyphSheet.h"

#include <algorithm>

namespace Vrenn::AssetGen {

namespace {
// Screen quads of a glyph are narrower than they are tall (advance 0.0125 of the
// screen width against a line of 1/30 of its height), so glyphs are drawn stretched
// horizontally to fill their cells and come out in proportion on screen.
constexpr int kPixelHeight = 13;
constexpr int kPixelWidth = 22;

bool printable(int code) {
    return (code > 32 && code < 127) || code > 160;
}
} // namespace

bool buildGlyphSheet(const std::string& fontFile, Coverage& sheet, std::string& error) {
    TextRaster raster(fontFile, kPixelHeight, kPixelWidth);
    if (!raster.ok()) {
        error = raster.error();
        return false;
    }
    sheet.width = sheet.height = kSheetSize;
    sheet.values.assign(static_cast<size_t>(kSheetSize) * kSheetSize, 0);
    // The baseline leaves room for descenders inside the glyph area; the tallest
    // accents may lose their top row.
    const int baseline = std::min(raster.ascender(), kGlyphArea - raster.descender());
    for (int code = 0; code < 256; ++code) {
        if (!printable(code)) continue;
        const int cellX = (code % 16) * kCellSize;
        const int cellY = (code / 16) * kCellSize;
        // Centre the glyph's advance in the usable part of the cell.
        const int advance = raster.advance(static_cast<char32_t>(code));
        const int penX = cellX + (kGlyphArea - advance) / 2;
        raster.draw(static_cast<char32_t>(code), penX, cellY + baseline, sheet, cellX, cellY,
                    cellX + kGlyphArea, cellY + kGlyphArea);
    }
    return true;
}

} // namespace Vrenn::AssetGen
