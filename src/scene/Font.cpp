#include "scene/Font.h"

#include <cstdio>

namespace Vrenn {

namespace {
// Each glyph uses 15 of the 16 texels of its cell on a 256-texel sheet.
constexpr float kGlyphExtent = 15.0f / 256.0f;
} // namespace

Font::Font(float lineHeight) : m_lineHeight(lineHeight) {
    for (int code = 0; code < 256; ++code) {
        Glyph g;
        g.s0 = static_cast<float>(code % 16) / 16.0f;
        g.t0 = static_cast<float>(code / 16) / 16.0f;
        g.s1 = g.s0 + kGlyphExtent;
        g.t1 = g.t0 + kGlyphExtent;
        g.advance = kAdvance;
        m_glyphs.emplace(static_cast<char16_t>(code), g);
    }
    // Differs from the zero-initialised rectangle, so it takes effect.
    setRect(0.0f, 0.0f, 0.0f, 1.0f);
}

const Glyph& Font::glyph(char16_t code) {
    return m_glyphs[code]; // an unknown code is added with all values 0
}

Font& Font::operator<<(std::string_view text) {
    for (const char c : text)
        m_pending.push_back(static_cast<char16_t>(static_cast<uint8_t>(c)));
    return *this;
}

Font& Font::operator<<(std::u16string_view text) {
    m_pending.append(text);
    return *this;
}

Font& Font::operator<<(char16_t code) {
    m_pending.push_back(code);
    return *this;
}

Font& Font::operator<<(int value) {
    return *this << std::string_view(std::to_string(value));
}

Font& Font::operator<<(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
    return *this << std::string_view(text);
}

void Font::setRect(float x, float y, float leftMargin, float rightLimit) {
    if (x == m_x && y == m_y && leftMargin == m_left && rightLimit == m_right) return;
    flush();
    m_x = x < leftMargin ? leftMargin : x;
    m_y = y;
    m_left = leftMargin;
    m_right = rightLimit;
}

void Font::setColour(float red, float green, float blue) {
    const Vector4 colour{red, green, blue, 1.0f};
    if (colour == Overlay::colour()) return;
    flush();
    Overlay::setColour(colour);
}

void Font::setWidthScale(float scale) {
    if (scale == m_widthScale) return;
    flush();
    m_widthScale = scale;
}

void Font::layoutLine(std::u16string_view line) {
    for (const char16_t c : line) {
        const Glyph g = glyph(c);
        const float advance = g.advance * m_widthScale;
        if (m_x + advance >= m_right) {
            m_x = m_left;
            m_y += m_lineHeight;
        }
        if (c != u' ' && c != u'\t')
            addQuad(m_x, m_y, advance, m_lineHeight, g.s0, g.t0, g.s1, g.t1);
        m_x += advance;
    }
    m_x = m_left;
    m_y += m_lineHeight;
}

void Font::flush() {
    std::u16string_view text = m_pending;
    while (!text.empty()) {
        const size_t end = text.find(u'\n');
        layoutLine(text.substr(0, end));
        if (end == std::u16string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    m_pending.clear();
}

void Font::draw(const Renderer& renderer) {
    flush();
    Overlay::draw(renderer);
}

} // namespace Vrenn
