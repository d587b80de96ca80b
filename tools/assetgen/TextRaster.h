#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::AssetGen {

// An 8-bit coverage bitmap, rows from the top.
struct Coverage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> values; // width * height

    uint8_t at(int x, int y) const { return values[static_cast<size_t>(y) * width + x]; }
};

// Renders characters of one font file with FreeType (anti-aliased coverage).
class TextRaster {
public:
    // Opens the font at the given pixel size; a pixel width other than the height
    // stretches glyphs horizontally. Check ok() and error().
    TextRaster(const std::string& fontFile, int pixelHeight, int pixelWidth = 0);
    ~TextRaster();
    TextRaster(const TextRaster&) = delete;
    TextRaster& operator=(const TextRaster&) = delete;

    bool ok() const { return m_face != nullptr; }
    const std::string& error() const { return m_error; }

    // Draws the character with its pen at (penX, baselineY) into target, clipped to the
    // box [clipX0, clipX1) x [clipY0, clipY1); coverage is combined by maximum.
    // Returns the pen advance in pixels, or -1 when the font has no such glyph.
    int draw(char32_t code, int penX, int baselineY, Coverage& target, int clipX0, int clipY0,
             int clipX1, int clipY1) const;
    // Ascender height in pixels above the baseline.
    int ascender() const;
    // Descender depth in pixels below the baseline (positive).
    int descender() const;
    // The pen advance of a character in pixels (0 when absent).
    int advance(char32_t code) const;

private:
    void* m_library = nullptr; // FT_Library
    void* m_face = nullptr;    // FT_Face
    std::string m_error;
};

// The DejaVu fonts Debian installs (package fonts-dejavu-core).
std::string defaultMonospaceFont();
std::string defaultBoldFont();

} // namespace Vrenn::AssetGen
