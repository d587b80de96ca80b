#include "assetgen/GlyphSheet.h"
#include "assetgen/Logo.h"

#include <gtest/gtest.h>

namespace Vrenn::AssetGen {
namespace {

int inkInRect(const Coverage& sheet, int x0, int y0, int x1, int y1) {
    int ink = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            ink += sheet.at(x, y) > 0;
    return ink;
}

TEST(GlyphSheet, GlyphsStayInsideTheSampledPartOfTheirCells) {
    Coverage sheet;
    std::string error;
    ASSERT_TRUE(buildGlyphSheet(defaultMonospaceFont(), sheet, error)) << error;
    ASSERT_EQ(sheet.width, 256);
    ASSERT_EQ(sheet.height, 256);
    for (int code = 0; code < 256; ++code) {
        const int x = (code % 16) * 16, y = (code / 16) * 16;
        // The 16th row and column of every cell stay empty, so neighbouring glyphs
        // never bleed into a quad.
        EXPECT_EQ(inkInRect(sheet, x + 15, y, x + 16, y + 16), 0) << "code " << code;
        EXPECT_EQ(inkInRect(sheet, x, y + 15, x + 16, y + 16), 0) << "code " << code;
    }
    for (int code : {0, 9, 10, 31, 32, 127, 160}) {
        const int x = (code % 16) * 16, y = (code / 16) * 16;
        EXPECT_EQ(inkInRect(sheet, x, y, x + 16, y + 16), 0) << "code " << code;
    }
    // Printable characters have ink; 'A' sits in column 1, row 4.
    EXPECT_GT(inkInRect(sheet, 16, 64, 31, 79), 20);
    for (int code : {int{'0'}, int{'g'}, int{'_'}, int{'~'}, 0xE9})
        EXPECT_GT(inkInRect(sheet, (code % 16) * 16, (code / 16) * 16, (code % 16) * 16 + 15,
                            (code / 16) * 16 + 15),
                  3)
            << "code " << code;
    // A descender reaches below the baseline of its cell, an underscore near its bottom.
    EXPECT_GT(inkInRect(sheet, ('_' % 16) * 16, ('_' / 16) * 16 + 11, ('_' % 16) * 16 + 15,
                        ('_' / 16) * 16 + 15),
              3);
}

TEST(GlyphSheet, MissingFontIsAnErrorNotACrash) {
    Coverage sheet;
    std::string error;
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
