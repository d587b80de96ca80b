#pragma once

#include "core/Vector3.h"

#include <cstdint>
#include <vector>

namespace Vrenn {

class PolyPack;

// One end of a line of the tree's outline.
struct BspOutlinePoint {
    Vec3 position;
    uint32_t depth = 0; // of the node whose splitting plane the line lies in (root: 0)
};

// The outline of every splitting node of a built tree, for looking at the tree: each node's
// polygons that lie in its splitting plane (facing either way) are outlined, every chain of
// their boundary closed, as a line list (two points per line) tagged with the node's depth.
// A polygon is outlined once, at the shallowest node whose plane holds it. Empty before
// buildTree.
std::vector<BspOutlinePoint> bspOutline(const PolyPack& pack);

} // namespace Vrenn
