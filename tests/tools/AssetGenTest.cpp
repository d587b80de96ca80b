#include "assetgen/GlyphSheet.h"
#include "assetgen/Logo.h"

#include <gtest/gtest.h>

namespace Vrenn::AssetGen {
namespace {

// Texels with ink in columns x0 to x1 and rows y0 to y1 (ends excluded) of a character's
// 16 x 16 cell.
int cellInk(const Coverage& sheet, int code, int x0 = 0, int y0 = 0, int x1 = 16, int y1 = 16) {
    const int cx = (code % 16) * 16, cy = (code / 16) * 16;
    int ink = 0;
    for (int y = cy + y0; y < cy + y1; ++y)
        for (int x = cx + x0; x < cx + x1; ++x)
            ink += sheet.at(x, y) > 0;
    return ink;
}

TEST(GlyphSheet, GlyphsStayInsideTheSampledPartOfTheirCells) {
    Coverage sheet;
    std::string error;
    ASSERT_TRUE(buildGlyphSheet(defaultMonospaceFont(), sheet, error)) << error;
    ASSERT_EQ(sheet.width, 256);
    ASSERT_EQ(sheet.height, 256);
    // The 16th row and column of every cell stay empty, so neighbouring glyphs never bleed
    // into a quad.
    for (int code = 0; code < 256; ++code) {
        EXPECT_EQ(cellInk(sheet, code, 15, 0), 0) << "code " << code;
        EXPECT_EQ(cellInk(sheet, code, 0, 15), 0) << "code " << code;
    }
    for (int code : {0, 9, 10, 31, 32, 127, 160})
        EXPECT_EQ(cellInk(sheet, code), 0) << "code " << code;
    // Printable characters have ink; an underscore lies near the bottom of its cell.
    EXPECT_GT(cellInk(sheet, 'A', 0, 0, 15, 15), 20);
    for (int code : {int{'0'}, int{'g'}, int{'_'}, int{'~'}, 0xE9})
        EXPECT_GT(cellInk(sheet, code, 0, 0, 15, 15), 3) << "code " << code;
    EXPECT_GT(cellInk(sheet, '_', 0, 11, 15, 15), 3);
    // A missing font is an error naming it, not a crash.
    EXPECT_FALSE(buildGlyphSheet("/nonexistent/font.ttf", sheet, error));
    EXPECT_NE(error.find("/nonexistent/font.ttf"), std::string::npos);
}

TEST(Logo, LettersAreCentredAndBlackIsTransparent) {
    std::vector<uint8_t> rgba;
    std::string error;
    ASSERT_TRUE(buildLogo(defaultBoldFont(), rgba, error)) << error;
    ASSERT_EQ(rgba.size(), size_t{kLogoWidth} * kLogoHeight * 4);
    int left = kLogoWidth, right = -1;
    for (int y = 0; y < kLogoHeight; ++y)
        for (int x = 0; x < kLogoWidth; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * kLogoWidth + x) * 4];
            if (p[3] == 0) {
                EXPECT_EQ(p[0] + p[1] + p[2], 0); // additive blending: no colour without ink
                continue;
            }
            left = std::min(left, x);
            right = std::max(right, x);
        }
    ASSERT_GE(right, 0);
    EXPECT_NEAR((left + right) / 2.0, kLogoWidth / 2.0, 6.0);
    EXPECT_GT(right - left, kLogoWidth / 2);
}

} // namespace
} // namespace Vrenn::AssetGen
