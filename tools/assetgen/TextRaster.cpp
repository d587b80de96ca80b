#include "assetgen/TextRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

namespace Vrenn::AssetGen {

namespace {
FT_Face face(void* handle) {
    return static_cast<FT_Face>(handle);
}
} // namespace

std::string defaultMonospaceFont() {
    return "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
}

std::string defaultBoldFont() {
    return "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
}

TextRaster::TextRaster(const std::string& fontFile, int pixelHeight, int pixelWidth) {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        m_error = "cannot start FreeType";
        return;
    }
    m_library = library;
    FT_Face loaded = nullptr;
    if (FT_New_Face(library, fontFile.c_str(), 0, &loaded) != 0) {
        m_error = "cannot open font " + fontFile;
        return;
    }
    if (FT_Set_Pixel_Sizes(loaded, static_cast<FT_UInt>(pixelWidth),
                           static_cast<FT_UInt>(pixelHeight)) != 0) {
        FT_Done_Face(loaded);
        m_error = "font " + fontFile + " has no size " + std::to_string(pixelHeight);
        return;
    }
    m_face = loaded;
}

TextRaster::~TextRaster() {
    if (m_face) FT_Done_Face(face(m_face));
    if (m_library) FT_Done_FreeType(static_cast<FT_Library>(m_library));
}

int TextRaster::ascender() const {
    return m_face ? static_cast<int>(face(m_face)->size->metrics.ascender >> 6) : 0;
}

int TextRaster::descender() const {
    return m_face ? static_cast<int>((-face(m_face)->size->metrics.descender + 63) >> 6) : 0;
}

int TextRaster::advance(char32_t code) const {
    if (!m_face) return 0;
    const FT_UInt index = FT_Get_Char_Index(face(m_face), code);
    if (index == 0 || FT_Load_Glyph(face(m_face), index, FT_LOAD_DEFAULT) != 0) return 0;
    return static_cast<int>(face(m_face)->glyph->advance.x >> 6);
}

int TextRaster::draw(char32_t code, int penX, int baselineY, Coverage& target, int clipX0,
                     int clipY0, int clipX1, int clipY1) const {
    if (!m_face) return -1;
    FT_Face f = face(m_face);
    const FT_UInt index = FT_Get_Char_Index(f, code);
    if (index == 0 || FT_Load_Glyph(f, index, FT_LOAD_RENDER) != 0) return -1;
    const FT_GlyphSlot slot = f->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    clipX0 = std::max(clipX0, 0);
    clipY0 = std::max(clipY0, 0);
    clipX1 = std::min(clipX1, target.width);
    clipY1 = std::min(clipY1, target.height);
    const int left = penX + slot->bitmap_left;
    const int top = baselineY - slot->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const int y = top + static_cast<int>(row);
        if (y < clipY0 || y >= clipY1) continue;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const int x = left + static_cast<int>(column);
            if (x < clipX0 || x >= clipX1) continue;
            const uint8_t value = bitmap.buffer[row * static_cast<unsigned>(bitmap.pitch) + column];
            uint8_t& out = target.values[static_cast<size_t>(y) * target.width + x];
            out = std::max(out, value);
        }
    }
    return static_cast<int>(slot->advance.x >> 6);
}

} // namespace Vrenn::AssetGen
