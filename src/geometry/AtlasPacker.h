#pragma once

#include <array>
#include <string>
#include <vector>

namespace Vrenn {

// One rectangle of the texture atlas: a polygon's chart, in texels.
struct AtlasRect {
    int width = 0;  // texels along the chart's U axis
    int height = 0; // texels along the chart's V axis
    int id = -1;    // the caller's number for it (the polygon number)

    // Set by packAtlasRects.
    int x = 0;            // texel column of the placed rectangle's first texel
    int y = 0;            // texel row of the placed rectangle's first texel
    bool flipped = false; // placed turned by 90 degrees: U runs down the rows, V along
    bool placed = false;

    // Size as placed (width and height exchanged when flipped).
    int placedWidth() const { return flipped ? height : width; }
    int placedHeight() const { return flipped ? width : height; }

    // Texel-space position of the chart point (a, b), a along U and b along V, both in
    // [0, 1]: (x + a (w' - 1), y + b (h' - 1)) with a and b exchanged when flipped. Corners of
    // the chart land on the centres of the rectangle's corner texels when texel t spans
    // [t - 0.5, t + 0.5].
    std::array<float, 2> texelPoint(float a, float b) const;
};

// Texels along one chart axis: integer part of ceil(worldSize * texelsPerUnit) + 1, at least
// 2. Sizes that are negative, not finite, or beyond any atlas give 2 and 65536 respectively.
int atlasRectExtent(float worldSize, float texelsPerUnit);

// Atlas widths above this end the doubling: once an atlas at least this wide refuses a
// rectangle, packing stops.
constexpr int kAtlasMaxWidth = 1023;

struct AtlasPackResult {
    int width = 0;
    int height = 0;
    int unplaced = 0; // rectangles that did not fit the final atlas (0 on success)

    bool complete() const { return unplaced == 0; }
};

// Packs rects into an atlas that starts at startWidth x startHeight (sizes below 1 count as 1).
//
// rects is first sorted by area, largest first (a stable sort, so equal areas keep their
// order); the sorted order is the insertion order and stays in rects. Each rectangle goes into
// a binary tree of free areas: a leaf takes it at its own corner, upright when it fits, else
// turned by 90 degrees, and splits into the area below it (as wide as the rectangle) and the
// area to its right (full height). When any rectangle is refused, the smaller atlas side is
// doubled (the height when the sides are equal) and packing starts over. Once everything fits,
// each side is halved again for as long as every rectangle lies in its first half and the side
// stays at least its start size (the doubling can leave half of the atlas empty).
//
// The doubling ends at the first atlas wider than kAtlasMaxWidth (1024 texels from the usual
// 32 x 32 start). If that atlas still refuses rectangles, the result counts them in unplaced;
// they are left with placed == false while the others keep valid, non-overlapping placements
// in it. A caller that needs every rectangle must treat unplaced != 0 as failure. Rectangles
// with a side below 1 texel are never placed and count as unplaced.
AtlasPackResult packAtlasRects(std::vector<AtlasRect>& rects, int startWidth, int startHeight);

// The packing log line of one rectangle, with its own line end:
// "poly <id> <x> <y> <width>*<height>" then "flip" when turned.
std::string atlasPlacementLogLine(const AtlasRect& rect);

} // namespace Vrenn
