#include "geometry/CoverageMask.h"

#include <algorithm>
#include <cmath>

namespace Vrenn {

namespace {

// v clamped to [lo, hi]; not-a-number goes to lo.
float clampf(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;
    return v > hi ? hi : v;
}

// Nearest texel index of a texel-space coordinate already clamped to [lo, hi].
int nearest(float v, int lo, int hi) {
    const int i = static_cast<int>(std::floor(v + 0.5f));
    return std::clamp(i, lo, hi);
}

} // namespace

CoverageMask::CoverageMask(int width, int height)
    : m_width(std::max(0, width)), m_height(std::max(0, height)),
      m_bytes(static_cast<size_t>(m_width) * static_cast<size_t>(m_height), 0) {}

uint8_t CoverageMask::at(int x, int y) const {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return 0;
    return m_bytes[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
}

TexelRect CoverageMask::clip(const TexelRect& rect) const {
    TexelRect r;
    r.x0 = std::max(rect.x0, 0);
    r.y0 = std::max(rect.y0, 0);
    r.x1 = std::min(rect.x1, m_width - 1);
    r.y1 = std::min(rect.y1, m_height - 1);
    return r;
}

void CoverageMask::drawLine(const TexelRect& rect, float ax, float ay, float bx, float by) {
    const TexelRect r = clip(rect);
    if (r.empty()) return;
    const float minX = static_cast<float>(r.x0), maxX = static_cast<float>(r.x1);
    const float minY = static_cast<float>(r.y0), maxY = static_cast<float>(r.y1);
    ax = clampf(ax, minX, maxX);
    ay = clampf(ay, minY, maxY);
    bx = clampf(bx, minX, maxX);
    by = clampf(by, minY, maxY);

    const int iax = nearest(ax, r.x0, r.x1), iay = nearest(ay, r.y0, r.y1);
    const int ibx = nearest(bx, r.x0, r.x1), iby = nearest(by, r.y0, r.y1);

    // Evenly spaced points, one step per texel along the longer axis.
    const int steps = std::max(std::abs(ibx - iax), std::abs(iby - iay));
    set(iax, iay);
    set(ibx, iby);
    for (int i = 1; i < steps; ++i) {
        const float t = static_cast<float>(i) / static_cast<float>(steps);
        set(nearest(ax + t * (bx - ax), r.x0, r.x1), nearest(ay + t * (by - ay), r.y0, r.y1));
    }

    // One texel on every row between the ends, where the segment crosses the row's centre.
    const int rowLo = std::min(iay, iby), rowHi = std::max(iay, iby);
    const float dy = by - ay;
    for (int row = rowLo + 1; row < rowHi; ++row) {
        const float t = clampf((static_cast<float>(row) - ay) / dy, 0.0f, 1.0f);
        set(nearest(ax + t * (bx - ax), r.x0, r.x1), row);
    }
}

void CoverageMask::fillRows(const TexelRect& rect) {
    const TexelRect r = clip(rect);
    if (r.empty()) return;
    for (int y = r.y0; y <= r.y1; ++y) {
        uint8_t* row = m_bytes.data() + static_cast<size_t>(y) * static_cast<size_t>(m_width);
        int left = r.x0;
        while (left <= r.x1 && row[left] == 0)
            ++left;
        if (left > r.x1) continue;
        int right = r.x1;
        while (row[right] == 0)
            --right;
        for (int x = left + 1; x < right; ++x)
            row[x] = kCovered;
    }
}

void CoverageMask::addPolygon(const TexelRect& rect, const float* points, size_t pointCount) {
    if (pointCount == 0 || clip(rect).empty()) return;
    for (size_t i = 0; i < pointCount; ++i) {
        const size_t j = (i + 1) % pointCount;
        drawLine(rect, points[2 * i], points[2 * i + 1], points[2 * j], points[2 * j + 1]);
    }
    fillRows(rect);
}

} // namespace Vrenn
