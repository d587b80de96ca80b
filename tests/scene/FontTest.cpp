#include "scene/Font.h"

#include "scene/Overlay.h"

#include <cstring>
#include <gtest/gtest.h>

namespace Vrenn {
namespace {

struct QuadCorner {
    float x, y, s, t;
    uint32_t colour;
};

QuadCorner corner(const Overlay& overlay, uint32_t vertex) {
    QuadCorner c;
    std::memcpy(&c, overlay.vertexData() + size_t{vertex} * Overlay::kVertexSize, sizeof c);
    return c;
}

// Glyphs come from the sheet of 16 x 16; lines wrap at the right limit and end at the margin.
TEST(Font, GlyphsComeFromTheSheetAndLinesWrapAtTheRightLimit) {
    Font font(1.0f / 30.0f);
    const Glyph& a = font.glyph(u'A');
    EXPECT_FLOAT_EQ(a.s0, 1.0f / 16.0f);
    EXPECT_FLOAT_EQ(a.t0, 4.0f / 16.0f);
    EXPECT_FLOAT_EQ(a.s1, 1.0f / 16.0f + 15.0f / 256.0f);
    EXPECT_FLOAT_EQ(a.t1, 4.0f / 16.0f + 15.0f / 256.0f);
    EXPECT_FLOAT_EQ(a.advance, 0.0125f);
    const Glyph& beyond = font.glyph(u'\u263A');
    EXPECT_EQ(beyond.advance, 0.0f);
    EXPECT_EQ(beyond.s1, 0.0f);

    Font text(0.05f);
    text.setRect(0.2f, 0.1f, 0.1f, 0.25f);
    // 0.2 + 0.0125 * 4 = 0.25 reaches the limit: the fourth character wraps.
    text << "abcd e\nxy";
    EXPECT_EQ(text.vertexCount(), 0u); // nothing laid out before flushing
    text.flush();
    // Quads: a b c, then d at the margin one line lower, space skipped, e; then x y.
    ASSERT_EQ(text.vertexCount(), 7u * 4);
    EXPECT_FLOAT_EQ(corner(text, 0).x, 0.2f);
    EXPECT_FLOAT_EQ(corner(text, 0).y, 0.1f);
    EXPECT_FLOAT_EQ(corner(text, 12).x, 0.1f); // 'd'
    EXPECT_FLOAT_EQ(corner(text, 12).y, 0.15f);
    EXPECT_FLOAT_EQ(corner(text, 16).x, 0.1f + 2 * 0.0125f); // 'e' after the space
    EXPECT_FLOAT_EQ(corner(text, 20).x, 0.1f);               // 'x' starts the second line
    EXPECT_FLOAT_EQ(corner(text, 20).y, 0.2f);
    // Two lines written: the cursor is back at the margin, two line heights lower.
    EXPECT_FLOAT_EQ(text.cursorX(), 0.1f);
    EXPECT_FLOAT_EQ(text.cursorY(), 0.25f);
    EXPECT_FLOAT_EQ(corner(text, 3).y - corner(text, 0).y, 0.05f); // quad height
}

TEST(Font, ColourAndRectangleChangesLayOutPendingTextFirst) {
    Font font(0.05f);
    font.setColour(1, 0, 0);
    font << "r";
    font.setColour(1, 0, 0); // same colour: nothing laid out
    EXPECT_EQ(font.vertexCount(), 0u);
    font.setColour(0, 1, 0);
    ASSERT_EQ(font.vertexCount(), 4u); // 'r' laid out in red
    EXPECT_EQ(corner(font, 0).colour, 0xFFFF0000u);
    font << "g";
    font.setRect(0.5f, 0.5f, 0.0f, 1.0f);
    ASSERT_EQ(font.vertexCount(), 8u);
    EXPECT_EQ(corner(font, 4).colour, 0xFF00FF00u);
    font.setRect(0.5f, 0.5f, 0.0f, 1.0f); // unchanged rectangle: no effect
    EXPECT_FLOAT_EQ(font.cursorX(), 0.5f);
    font.setRect(0.0f, 0.0f, 0.3f, 1.0f); // x is raised to the margin
    EXPECT_FLOAT_EQ(font.cursorX(), 0.3f);

    // A width scale (a wider frame) narrows glyphs and their advance, never their height;
    // text already written keeps the old scale.
    font << "w";
    font.setWidthScale(0.5f);
    ASSERT_EQ(font.vertexCount(), 12u);
    font << "n";
    font.flush();
    ASSERT_EQ(font.vertexCount(), 16u);
    EXPECT_NEAR(corner(font, 10).x - corner(font, 8).x, 0.0125f, 1e-6f);   // 'w'
    EXPECT_NEAR(corner(font, 14).x - corner(font, 12).x, 0.00625f, 1e-6f); // 'n'
    EXPECT_FLOAT_EQ(corner(font, 15).y - corner(font, 12).y, 0.05f);
}

} // namespace
} // namespace Vrenn
