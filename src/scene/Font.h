#pragma once

#include "scene/Overlay.h"

#include <map>
#include <string>
#include <string_view>

namespace Vrenn {

// Where a character sits on the 16 x 16 glyph sheet, and how far it moves the cursor.
struct Glyph {
    float s0 = 0.0f, t0 = 0.0f, s1 = 0.0f, t1 = 0.0f;
    float advance = 0.0f;
};

// An overlay that is also a text stream: text written into it is laid out as quads
// from the glyph sheet when it is flushed (or drawn). Characters are 16-bit codes;
// codes 0 to 255 have glyphs, others draw nothing and do not advance.
class Font : public Overlay {
public:
    static constexpr float kAdvance = 0.0125f;

    explicit Font(float lineHeight);

    // Text output. Narrow text is read byte by byte as codes 0 to 255.
    Font& operator<<(std::string_view text);
    Font& operator<<(std::u16string_view text);
    Font& operator<<(const char* text) { return *this << std::string_view(text); }
    Font& operator<<(char16_t code);
    Font& operator<<(int value);
    Font& operator<<(float value);

    // Cursor position, left margin and the x at which lines wrap. Pending text is laid
    // out first when anything changes; x never starts left of the margin.
    void setRect(float x, float y, float leftMargin, float rightLimit);
    // Colour with alpha 1; pending text is laid out first, in the old colour, when the
    // colour changes.
    void setColour(float red, float green, float blue);
    // Widths (of glyphs and their advance) are multiplied by scale, so that glyphs keep
    // their shape in frames of another aspect than the one they were drawn for. Pending
    // text is laid out first, at the old scale.
    void setWidthScale(float scale);
    float widthScale() const { return m_widthScale; }
    // Lays out the pending text, line by line.
    void flush();
    void draw(const Renderer& renderer) override;

    // The glyph of a code; a code without one gets an all-zero glyph.
    const Glyph& glyph(char16_t code);
    float cursorX() const { return m_x; }
    float cursorY() const { return m_y; }
    float leftMargin() const { return m_left; }
    float rightLimit() const { return m_right; }
    float lineHeight() const { return m_lineHeight; }
    const std::u16string& pending() const { return m_pending; }

private:
    void layoutLine(std::u16string_view line);

    float m_x = 0.0f, m_y = 0.0f, m_left = 0.0f, m_right = 0.0f;
    float m_lineHeight;
    float m_widthScale = 1.0f;
    std::map<char16_t, Glyph> m_glyphs;
    std::u16string m_pending;
};

} // namespace Vrenn
