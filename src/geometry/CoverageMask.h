#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Vrenn {

// Inclusive texel rectangle: columns x0 ... x1, rows y0 ... y1.
struct TexelRect {
    int x0 = 0;
    int y0 = 0;
    int x1 = -1;
    int y1 = -1;

    bool empty() const { return x1 < x0 || y1 < y0; }
};

// One byte per atlas texel, nonzero where a polygon covers the texel. Row 0 is the top row,
// byte (x, y) at y * width + x.
class CoverageMask {
public:
    static constexpr uint8_t kCovered = 255;

    CoverageMask() = default;
    // Sizes below 0 count as 0.
    CoverageMask(int width, int height);

    int width() const { return m_width; }
    int height() const { return m_height; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }
    // 0 outside the mask.
    uint8_t at(int x, int y) const;
    bool covered(int x, int y) const { return at(x, y) != 0; }

    // Marks a polygon's chart: draws its closed outline (points in texel space, as x, y pairs,
    // the last joined to the first) as lines of covered texels, then fills each row of rect
    // between its leftmost and rightmost covered texels. Everything is clipped to rect and to
    // the mask; points outside rect (or not finite) are clamped onto it. Every row that the
    // outline spans gets at least one covered texel, so the row fill sees the outline's full
    // width on each row.
    void addPolygon(const TexelRect& rect, const float* points, size_t pointCount);

    // Draws the segment from (ax, ay) to (bx, by) in texel space, clamped to rect: the texels
    // nearest to evenly spaced points along it, and on every row it crosses the texel nearest
    // to the crossing, so no row between its ends is skipped.
    void drawLine(const TexelRect& rect, float ax, float ay, float bx, float by);

    // For each row of rect: sets every texel strictly between the row's leftmost and
    // rightmost covered texels (within rect) to covered.
    void fillRows(const TexelRect& rect);

private:
    // rect clipped to the mask.
    TexelRect clip(const TexelRect& rect) const;
    void set(int x, int y) {
        m_bytes[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)] =
            kCovered;
    }

    int m_width = 0;
    int m_height = 0;
    std::vector<uint8_t> m_bytes;
};

} // namespace Vrenn
